// Expanding input folders, natural name order, and path identity for plenvo-merge.
#include "cli/input_files.h"

#include <algorithm>
#include <system_error>

namespace plenvo::cli {

namespace fs = std::filesystem;

fs::path pathFromUtf8(std::string_view utf8) {
  return fs::path(std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

std::string utf8FromPath(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(reinterpret_cast<const char*>(text.data()), text.size());
}

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }
char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// <0, 0, >0 like strcmp, in natural order with case ignored.
int naturalCompare(std::string_view a, std::string_view b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (isDigit(a[i]) && isDigit(b[j])) {
      std::size_t ei = i, ej = j;
      while (ei < a.size() && isDigit(a[ei])) ++ei;
      while (ej < b.size() && isDigit(b[ej])) ++ej;
      // Leading zeros do not change the value; after them the longer run is the larger number.
      std::size_t zi = i, zj = j;
      while (zi + 1 < ei && a[zi] == '0') ++zi;
      while (zj + 1 < ej && b[zj] == '0') ++zj;
      const std::size_t li = ei - zi, lj = ej - zj;
      if (li != lj) return li < lj ? -1 : 1;
      if (int c = a.substr(zi, li).compare(b.substr(zj, lj)); c != 0) return c;
      i = ei;
      j = ej;
      continue;
    }
    const auto ca = static_cast<unsigned char>(lowerAscii(a[i]));
    const auto cb = static_cast<unsigned char>(lowerAscii(b[j]));
    if (ca != cb) return ca < cb ? -1 : 1;
    ++i;
    ++j;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

bool hasDxfExtension(const fs::path& p) {
  std::string ext = utf8FromPath(p.extension());
  std::transform(ext.begin(), ext.end(), ext.begin(), lowerAscii);
  return ext == ".dxf";
}

}  // namespace

bool naturalLess(std::string_view a, std::string_view b) {
  const int c = naturalCompare(a, b);
  if (c != 0) return c < 0;
  return a < b;
}

InputList expandInputs(const std::vector<std::string>& inputs) {
  InputList list;
  for (const std::string& input : inputs) {
    const fs::path path = pathFromUtf8(input);
    std::error_code ec;
    if (!fs::is_directory(path, ec)) {
      // A file, or a name that is not there: the merge names it with the reader's reason.
      list.drawings.push_back(input);
      continue;
    }
    std::vector<std::pair<std::string, std::string>> found;  // file name, full path
    fs::directory_iterator it(path, ec), end;
    if (ec) {
      list.problems.push_back(input + ": cannot list the folder (" + ec.message() + ")");
      continue;
    }
    for (; it != end; it.increment(ec)) {
      if (ec) break;
      std::error_code fileEc;
      if (!it->is_regular_file(fileEc) || !hasDxfExtension(it->path())) continue;
      found.emplace_back(utf8FromPath(it->path().filename()), utf8FromPath(it->path()));
    }
    if (ec) list.problems.push_back(input + ": cannot list the folder (" + ec.message() + ")");
    if (found.empty() && !ec) list.problems.push_back(input + ": folder holds no .dxf files");
    std::sort(found.begin(), found.end(),
              [](const auto& x, const auto& y) { return naturalLess(x.first, y.first); });
    for (auto& f : found) list.drawings.push_back(std::move(f.second));
  }
  return list;
}

bool sameFile(const std::string& output, const std::string& input) {
  const fs::path out = pathFromUtf8(output);
  const fs::path in = pathFromUtf8(input);
  std::error_code ec;
  if (fs::exists(out, ec) && fs::exists(in, ec)) {
    const bool same = fs::equivalent(out, in, ec);  // device and file number: links count as the same
    if (!ec) return same;
  }
  std::error_code ec1, ec2;
  const fs::path a = fs::weakly_canonical(fs::absolute(out, ec1), ec1);
  const fs::path b = fs::weakly_canonical(fs::absolute(in, ec2), ec2);
  if (ec1 || ec2) return fs::absolute(out, ec1).lexically_normal() == fs::absolute(in, ec2).lexically_normal();
  return a == b;
}

}  // namespace plenvo::cli
