// The settings file next to the real Windows profile API (GetPrivateProfileString/WritePrivateProfileString):
// each reads what the other wrote, and the same writes give the same bytes. Windows builds only.
//
// The peer uses the ANSI entry points with GBK bytes on purpose: the file is GBK whatever the system's code
// page, and the ANSI functions pass its bytes through, while the W functions would decode them with the
// system's code page (not 936 on a test machine).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/platform.h"
#include "core/settings_file.h"
#include "core/text_codec.h"
#include "temp_dir.h"

namespace plenvo {
namespace {

using testing::readBytes;
using testing::writeBytes;

// The profile API, addressed with GBK section, key and value, on a file named by a UTF-8 path. The file's
// directory is plain ASCII so that its ANSI name is the same under any code page.
class ProfileApi {
 public:
  explicit ProfileApi(std::string path) : path_(std::move(path)) {}

  std::string read(std::string_view section, std::string_view key) const {
    flush();
    std::vector<char> buffer(10240);
    GetPrivateProfileStringA(utf8ToGbk(section).c_str(), utf8ToGbk(key).c_str(), "", buffer.data(),
                             static_cast<DWORD>(buffer.size()), path_.c_str());
    return gbkToUtf8(buffer.data());
  }
  bool write(std::string_view section, std::string_view key, std::string_view value) const {
    flush();
    const bool ok = WritePrivateProfileStringA(utf8ToGbk(section).c_str(), utf8ToGbk(key).c_str(),
                                               utf8ToGbk(value).c_str(), path_.c_str()) != 0;
    flush();
    return ok;
  }

 private:
  // The API caches files; drop the cache so every call sees the file as it is on disk.
  void flush() const { WritePrivateProfileStringA(nullptr, nullptr, nullptr, path_.c_str()); }
  std::string path_;
};

struct Write {
  const char* section;
  const char* key;
  const char* value;
};

// Writes that exercise creation, a second key, in-place replacement, another section, a key written in
// another case, and a value with a double-byte character ending in 0x5C.
const Write kWrites[] = {
    {"配置", "帮助", "1"},
    {"配置", "路径", "D:\\"},
    {"配置", "次数", "1"},
    {"其它", "a", "x"},
    {"配置", "次数", "2"},
    {"配置", "炸开", "0"},
    {"配置", "路径", "D:\\图纸\\乗表\\"},
    {"其它", "A", "y"},
};

// Each test works in a fresh directory whose name is plain ASCII (see ProfileApi).
class SettingsFilePeerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char folder[MAX_PATH];
    const DWORD length = GetTempPathA(MAX_PATH, folder);
    ASSERT_GT(length, 0u);
    base_ = std::string(folder) + "plenvo-peer-" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(counter_++);
    ASSERT_TRUE(CreateDirectoryA(base_.c_str(), nullptr));
  }
  void TearDown() override {
    for (const std::string& file : created_) {
      SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileA(file.c_str());
    }
    RemoveDirectoryA(base_.c_str());
  }
  std::string file(const char* name) {
    created_.push_back(base_ + "\\" + name);
    return created_.back();
  }

 private:
  static inline int counter_ = 0;
  std::string base_;
  std::vector<std::string> created_;
};

TEST_F(SettingsFilePeerTest, SameWritesGiveTheSameBytes) {
  const std::string ours = file("ours.ini"), theirs = file("theirs.ini");
  SettingsFile settings(ours);
  ProfileApi api(theirs);
  for (const Write& w : kWrites) {
    ASSERT_TRUE(settings.write(w.section, w.key, w.value)) << w.key;
    ASSERT_TRUE(api.write(w.section, w.key, w.value)) << w.key;
    EXPECT_EQ(readBytes(ours), readBytes(theirs)) << "after writing " << w.section << "/" << w.key;
  }
}

TEST_F(SettingsFilePeerTest, EachReadsWhatTheOtherWrote) {
  const std::string path = file("shared.ini");
  SettingsFile settings(path);
  ProfileApi api(path);
  bool ourTurn = true;
  for (const Write& w : kWrites) {
    if (ourTurn) {
      ASSERT_TRUE(settings.write(w.section, w.key, w.value));
    } else {
      ASSERT_TRUE(api.write(w.section, w.key, w.value));
    }
    ourTurn = !ourTurn;
    EXPECT_EQ(settings.read(w.section, w.key), w.value) << w.key;
    EXPECT_EQ(api.read(w.section, w.key), w.value) << w.key;
  }
  for (const char* key : {"帮助", "路径", "次数", "炸开", "缺少"}) {
    EXPECT_EQ(settings.read(key), api.read("配置", key)) << key;
  }
  EXPECT_EQ(settings.read("其它", "a"), "y");
  EXPECT_EQ(api.read("其它", "a"), "y");
}

// A file edited by hand: blanks around "=", comments, quotes, another section, LF line ends.
TEST_F(SettingsFilePeerTest, HandEditedFileReadsTheSame) {
  const std::string path = file("edited.ini");
  writeBytes(path, utf8ToGbk("; comment\r\n[其它]\r\n帮助=other\r\n\r\n[配置]\n帮助 = 1 \n; inside\r\n"
                             "PATH\t=\t D:\\图纸\\ \r\nq=\"quoted\"\r\n次数=7\r\n\r\n[尾]\r\nx=y"));
  SettingsFile settings(path);
  ProfileApi api(path);
  const std::pair<const char*, const char*> reads[] = {
      {"配置", "帮助"}, {"配置", "path"}, {"配置", "q"}, {"配置", "次数"}, {"其它", "帮助"}, {"尾", "X"},
      {"配置", "; inside"}, {"配置", "缺少"}};
  for (const auto& [section, key] : reads) {
    EXPECT_EQ(settings.read(section, key), api.read(section, key)) << section << "/" << key;
  }
}

TEST_F(SettingsFilePeerTest, LongValuesAreCutAtTheSamePlace) {
  const std::string path = file("long.ini");
  SettingsFile settings(path);
  ProfileApi api(path);
  for (const std::string& value : {std::string(kMaxValueBytes + 50, 'a'), std::string(kMaxValueBytes, 'b'),
                                   std::string(kMaxValueBytes - 1, 'c')}) {
    ASSERT_TRUE(settings.write("k", value));
    EXPECT_EQ(settings.read("k"), api.read("配置", "k")) << value.size();
    EXPECT_EQ(settings.read("k").size(), std::min(value.size(), kMaxValueBytes));
  }
}

// The attributes that matter: hidden set; read-only and system clear. (Wine reports every file with the
// archive attribute as well, whatever was set.)
DWORD keyAttributes(const std::string& path) {
  return GetFileAttributesA(path.c_str()) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM);
}

// Windows refuses the profile API's write to a read-only file too; Wine running as root does not, since it
// keeps the attribute as a permission bit that root ignores, so only our own refusal is checked here.
TEST_F(SettingsFilePeerTest, ReadOnlyFileIsRefusedUntilHiddenOnly) {
  const std::string path = file("readonly.ini");
  SettingsFile settings(path);
  ProfileApi api(path);
  ASSERT_TRUE(settings.write("次数", "3"));
  ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
  const std::string before = readBytes(path);
  EXPECT_FALSE(settings.write("次数", "4"));
  EXPECT_EQ(readBytes(path), before);
  EXPECT_EQ(api.read("配置", "次数"), "3");
  ASSERT_TRUE(settings.setHiddenOnly());
  EXPECT_EQ(keyAttributes(path), static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN));
  EXPECT_TRUE(settings.write("次数", "4"));
  EXPECT_EQ(api.read("配置", "次数"), "4");
}

TEST_F(SettingsFilePeerTest, HiddenAttributeSurvivesWritesOfBoth) {
  const std::string path = file("hidden.ini");
  SettingsFile settings(path);
  ProfileApi api(path);
  ASSERT_TRUE(settings.write("a", "1"));
  ASSERT_TRUE(settings.setHiddenOnly());
  ASSERT_TRUE(settings.write("a", "2"));
  EXPECT_EQ(keyAttributes(path), static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(api.write("配置", "b", "3"));
  ASSERT_TRUE(settings.write("c", "4"));
  EXPECT_EQ(keyAttributes(path), static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN));
  EXPECT_EQ(api.read("配置", "c"), "4");
}

}  // namespace
}  // namespace plenvo
