// The drawings a command line names: folders expanded to their DXF files in natural name order, paths kept
// as UTF-8, and the check that the output is none of the inputs.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace plenvo::cli {

// UTF-8 text <-> filesystem path, the same on Windows (UTF-16 inside) and POSIX.
std::filesystem::path pathFromUtf8(std::string_view utf8);
std::string utf8FromPath(const std::filesystem::path& path);

// "a2" < "a10": runs of digits compare by value, everything else byte by byte with ASCII case ignored.
// Names equal that way fall back to plain byte order, so the order is total.
bool naturalLess(std::string_view a, std::string_view b);

struct InputList {
  std::vector<std::string> drawings;  // files to merge, in order (UTF-8)
  std::vector<std::string> problems;  // inputs that could not be used ("x: no such file or folder")
};

// Each input in the order given; a folder contributes its regular files ending in .dxf (any case), sorted
// with naturalLess on the file name. Folders are not searched recursively.
InputList expandInputs(const std::vector<std::string>& inputs);

// True when writing `output` would replace `input` (same file after resolving ., .., symbolic links and
// hard links). A missing output can only clash by name.
bool sameFile(const std::string& output, const std::string& input);

}  // namespace plenvo::cli
