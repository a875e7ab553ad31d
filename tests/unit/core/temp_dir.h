// A fresh directory per test, removed afterwards, with UTF-8 paths and raw file access for fixtures.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>

#include "core/platform.h"

namespace plenvo::testing {

inline std::string utf8Of(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

inline std::filesystem::path pathOf(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

class TempDir {
 public:
  TempDir() {
    static std::atomic<int> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    path_ = std::filesystem::temp_directory_path() /
            pathOf("plenvo-core-测试-" + std::to_string(stamp) + "-" + std::to_string(counter++));
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code error;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(path_, error)) {
      platform::setReadOnly(utf8Of(entry.path()), false);
    }
    std::filesystem::remove_all(path_, error);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string file(const std::string& name) const { return utf8Of(path_ / pathOf(name)); }

  // Names of the entries in the directory (to see that no temporary file is left behind).
  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_)) names.push_back(utf8Of(entry.path().filename()));
    return names;
  }

 private:
  std::filesystem::path path_;
};

inline std::string readBytes(const std::string& path) {
  std::string bytes;
  EXPECT_EQ(platform::readWholeFile(path, bytes), platform::ReadStatus::Ok) << path;
  return bytes;
}

inline void writeBytes(const std::string& path, std::string_view bytes) {
  ASSERT_TRUE(platform::replaceFile(path, bytes)) << path;
}

}  // namespace plenvo::testing
