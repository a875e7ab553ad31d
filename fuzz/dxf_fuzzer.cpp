// libFuzzer target for the DXF engine's reading side: the bytes go through the tokenizer in memory, then,
// as a file, through everything plenvo-merge does with a drawing (insert as a block, measure, move, explode,
// write) and through opening it as the target drawing. Any crash, leak or undefined behaviour is a finding.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "cad/dxf/dxf_application.h"
#include "cad/dxf/dxf_reader.h"

namespace {

// One scratch directory per fuzzing process; the input is rewritten into it for every run.
const std::string& scratchDir() {
  static const std::string dir = [] {
    char pattern[] = "/tmp/plenvo-fuzz-XXXXXX";
    const char* made = mkdtemp(pattern);
    if (!made) std::abort();
    return std::string(made);
  }();
  return dir;
}

bool writeFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(data, 1, size, f) == size;
  return std::fclose(f) == 0 && ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace plenvo;
  std::vector<dxf::Tag> tags;
  std::string error;
  (void)dxf::tokenize(std::string_view(reinterpret_cast<const char*>(data), size), tags, error);

  const std::string input = scratchDir() + "/input.dxf";
  const std::string output = scratchDir() + "/output.dxf";
  if (!writeFile(input, data, size)) std::abort();

  auto app = dxf::DxfApplication::create();
  if (auto doc = app->activeDocument()) {
    if (auto space = doc->modelSpace()) {
      for (int round = 0; round < 2; ++round) {  // the second insertion meets the first one's names
        auto block = space->insertBlock({0, 0, 0}, input, 1, 1, 1, 0);
        if (!block) break;
        if (auto box = block->boundingBox(); box && box->valid()) {
          (void)block->move({box->minX, box->minY, 0}, {100.0 * round, 0, 0});
          (void)space->addLightweightPolyline(
              {{box->minX, box->minY}, {box->minX, box->maxY}, {box->maxX, box->maxY}, {box->maxX, box->minY}});
        }
        if (round == 1) {
          (void)block->explode();
          (void)block->erase();
        }
      }
    }
  }
  (void)app->saveAs(output);
  (void)app->lastError();

  auto target = dxf::DxfApplication::create();
  if (target->openDrawing(input)) (void)target->saveAs(output);
  return 0;
}
