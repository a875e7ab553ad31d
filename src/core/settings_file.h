// The settings file: a Windows profile (INI) file in GBK, read and written one key at a time.
// Files written by the Windows profile API are read and updated in place: CRLF line ends, blanks around "=",
// other sections and comment lines are kept as they are. A write goes to a temporary file that then replaces
// the original, so a failed write never leaves a truncated file.
#pragma once

#include <string>
#include <string_view>

namespace plenvo {

inline constexpr std::string_view kSettingsSection = "配置";
inline constexpr std::string_view kSettingsFileName = "Plenvo配置.ini";

// Keys of section 配置.
inline constexpr std::string_view kKeyHelp = "帮助";
inline constexpr std::string_view kKeyPath = "路径";
inline constexpr std::string_view kKeyRunCount = "次数";
inline constexpr std::string_view kKeyVersions = "版本";
inline constexpr std::string_view kKeySizes = "尺寸";
inline constexpr std::string_view kKeyActualSize = "宽度";
inline constexpr std::string_view kKeyFolderMode = "选择";
inline constexpr std::string_view kKeyExplode = "炸开";
inline constexpr std::string_view kKeyFrames = "图框";
inline constexpr std::string_view kKeyLockPath = "锁定";

// Values are read up to this many bytes (of GBK); a longer value is cut there.
inline constexpr std::size_t kMaxValueBytes = 10239;

class SettingsFile {
 public:
  explicit SettingsFile(std::string path);  // UTF-8 path

  const std::string& path() const { return path_; }
  bool exists() const;

  // The value, or the empty text when the file, the section or the key is missing.
  std::string read(std::string_view key) const { return read(kSettingsSection, key); }
  std::string read(std::string_view section, std::string_view key) const;

  // Creates the file and the section when missing. False when the file could not be written
  // (for example a read-only file); callers of the program's own keys ignore it.
  bool write(std::string_view key, std::string_view value) { return write(kSettingsSection, key, value); }
  bool write(std::string_view section, std::string_view key, std::string_view value);

  // Gives the file the hidden attribute and no other (Windows attribute value 2). POSIX has no such
  // attributes: read-only is modelled as a missing owner-write bit, which this restores, so that a load
  // makes the file writable again on both systems.
  bool setHiddenOnly();

 private:
  std::string path_;
};

}  // namespace plenvo
