// extents_probe: prints the extents of every model-space entity of a DXF file, one line each, for the
// check against ezdxf (ezdxf_extents_check.py). It reads the file with its own bare tag splitter (code and
// value lines, the BLOCKS and ENTITIES sections only), so it depends on nothing but the extents code.
//   extents_probe FILE.dxf    per entity, "<handle> <type> <minX> <minY> <maxX> <maxY>" or "<handle> <type> empty"
//                             (handle "-" in files without handles)
//   extents_probe --total FILE... [--repeat N]   whole model space per file, and the time it took
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "cad/dxf/dxf_extents.h"

namespace {

using namespace plenvo::dxf;

std::string upper(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return r;
}

struct Drawing : BlockResolver {
  std::string text;
  std::vector<Tag> tags;
  std::vector<EntityTags> modelSpace;
  std::map<std::string, Block> blocks;

  const Block* find(std::string_view name) const override {
    auto it = blocks.find(upper(name));
    return it == blocks.end() ? nullptr : &it->second;
  }

  bool load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    text.assign(std::istreambuf_iterator<char>(in), {});
    std::vector<std::string_view> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
      std::size_t end = text.find('\n', pos);
      if (end == std::string::npos) end = text.size();
      std::string_view line(text.data() + pos, end - pos);
      while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
      lines.push_back(line);
      pos = end + 1;
    }
    for (std::size_t i = 0; i + 1 < lines.size(); i += 2) {
      auto code = parseInteger(lines[i]);
      if (!code) return false;
      std::string_view value = lines[i + 1];
      while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
      tags.push_back({static_cast<std::int32_t>(*code), value});
    }
    // Entities: runs from a 0 tag to the next one.
    std::string section;
    Block* block = nullptr;
    for (std::size_t i = 0; i < tags.size();) {
      std::size_t j = i + 1;
      while (j < tags.size() && tags[j].code != 0) ++j;
      const EntityTags entity(tags.data() + i, j - i);
      const std::string_view type = entity[0].value;
      if (type == "SECTION") {
        for (const Tag& t : entity)
          if (t.code == 2) section = std::string(t.value);
      } else if (type == "ENDSEC") {
        section.clear();
      } else if (section == "BLOCKS") {
        if (type == "BLOCK") {
          std::string name;
          Block b;
          for (const Tag& t : entity) {
            if (t.code == 2) name = upper(t.value);
            if (t.code == 10) b.baseX = parseReal(t.value).value_or(0);
            if (t.code == 20) b.baseY = parseReal(t.value).value_or(0);
            if (t.code == 30) b.baseZ = parseReal(t.value).value_or(0);
          }
          block = &(blocks[name] = std::move(b));
        } else if (type == "ENDBLK") {
          block = nullptr;
        } else if (block != nullptr) {
          block->entities.push_back(entity);
        }
      } else if (section == "ENTITIES") {
        bool paper = false;
        for (const Tag& t : entity)
          if (t.code == 67 && t.value == "1") paper = true;
        if (!paper || type == "VERTEX" || type == "SEQEND" || type == "ATTRIB") modelSpace.push_back(entity);
      }
      i = j;
    }
    return true;
  }
};

std::string handleOf(EntityTags e) {
  for (const Tag& t : e)
    if (t.code == 5) return std::string(t.value);
  return "-";
}

int perEntity(const std::string& path) {
  Drawing d;
  if (!d.load(path)) {
    std::fprintf(stderr, "cannot read %s\n", path.c_str());
    return 2;
  }
  const std::span<const EntityTags> all(d.modelSpace);
  for (std::size_t i = 0; i < all.size();) {
    const std::size_t n = compoundLength(all.subspan(i));
    Box3 box;
    addEntityExtents(all.subspan(i, n), Transform::identity(), d, box);
    const std::string handle = handleOf(all[i]);
    const std::string type(all[i][0].value);
    if (box.empty) std::printf("%s %s empty\n", handle.c_str(), type.c_str());
    else std::printf("%s %s %.17g %.17g %.17g %.17g\n", handle.c_str(), type.c_str(), box.minX, box.minY, box.maxX, box.maxY);
    i += n;
  }
  return 0;
}

int totals(const std::vector<std::string>& paths, int repeat) {
  double measured = 0;
  for (const std::string& path : paths) {
    Drawing d;
    if (!d.load(path)) {
      std::printf("%s unreadable\n", path.c_str());
      continue;
    }
    Box3 box;
    const auto start = std::chrono::steady_clock::now();
    for (int r = 0; r < repeat; ++r) {
      box = Box3{};
      addEntitiesExtents(d.modelSpace, Transform::identity(), d, box);
    }
    measured += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / repeat;
    if (box.empty) std::printf("%s empty\n", path.c_str());
    else std::printf("%s %.17g %.17g %.17g %.17g\n", path.c_str(), box.minX, box.minY, box.maxX, box.maxY);
  }
  std::fprintf(stderr, "extents of %zu files: %.3f ms\n", paths.size(), measured * 1000);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 1 && args[0] != "--total") return perEntity(args[0]);
  if (!args.empty() && args[0] == "--total") {
    int repeat = 1;
    std::vector<std::string> paths;
    for (std::size_t i = 1; i < args.size(); ++i) {
      if (args[i] == "--repeat" && i + 1 < args.size()) repeat = std::max(1, std::atoi(args[++i].c_str()));
      else paths.push_back(args[i]);
    }
    return totals(paths, repeat);
  }
  std::fprintf(stderr, "usage: extents_probe FILE.dxf | extents_probe --total FILE... [--repeat N]\n");
  return 2;
}
