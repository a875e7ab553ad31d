// loadSettings: first start, the run counter, repair of emptied keys, the check boxes, and the files that
// are read-only or cannot be created.
#include "core/settings.h"

#include <gtest/gtest.h>

#include "core/platform.h"
#include "core/tables.h"
#include "core/text_codec.h"
#include "temp_dir.h"

namespace plenvo {
namespace {

using testing::readBytes;
using testing::TempDir;
using testing::writeBytes;

struct RecordingBoxes : OptionCheckBoxes {
  int explodeTicks = 0, frameTicks = 0;
  void tickExplode() override { ++explodeTicks; }
  void tickFrames() override { ++frameTicks; }
};

std::string section(const std::vector<std::pair<std::string, std::string>>& keys) {
  std::string text = "[配置]\r\n";
  for (const auto& [key, value] : keys) text += key + "=" + value + "\r\n";
  return utf8ToGbk(text);
}

const std::string kVersions(kDefaultVersionTable);
const std::string kSizes(kDefaultSizeTable);

TEST(LoadSettingsTest, FirstStartCreatesTheFileWithDefaults) {
  TempDir dir;
  SettingsFile file(dir.file(std::string(kSettingsFileName)));
  LoadedSettings loaded;
  RecordingBoxes boxes;
  loadSettings(file, loaded, boxes);

  EXPECT_EQ(readBytes(file.path()), section({{"帮助", "1"},
                                             {"路径", "D:\\"},
                                             {"次数", "2"},
                                             {"版本", kVersions},
                                             {"尺寸", kSizes},
                                             {"宽度", "0"},
                                             {"选择", "0"},
                                             {"炸开", "0"},
                                             {"图框", "0"},
                                             {"锁定", "0"}}));
  EXPECT_EQ(loaded.helpFlag, "1");
  EXPECT_EQ(loaded.runCount, 1);
  EXPECT_EQ(loaded.versionTableText, kVersions);
  EXPECT_EQ(loaded.sizeTableText, kSizes);
  EXPECT_EQ(boxes.explodeTicks + boxes.frameTicks, 0);
  const auto attributes = platform::fileAttributes(file.path());
  ASSERT_TRUE(attributes);
  EXPECT_FALSE(attributes->readOnly);
#ifdef _WIN32
  EXPECT_TRUE(attributes->hidden);
#endif

  loadSettings(file, loaded, boxes);  // the second load counts on
  EXPECT_EQ(loaded.runCount, 2);
  EXPECT_EQ(file.read(kKeyRunCount), "3");
}

// Each case starts from a complete file with some keys changed ("" = deleted) and checks one load.
TEST(LoadSettingsTest, LoadsOfAnExistingFile) {
  struct Case {
    const char* name;
    std::vector<std::pair<std::string, std::string>> changes;
    std::int32_t runCount;
    std::string runCountAfter;
    std::string versionsLoaded, sizesLoaded;
    std::string versionsAfter, sizesAfter;
    int explodeTicks, frameTicks;
  };
  const std::string custom = "B5-横向-250*176/";
  const Case cases[] = {
      {"counter 19", {{"次数", "19"}}, 19, "20", kVersions, kSizes, kVersions, kSizes, 0, 0},
      {"counter letters", {{"次数", "abc"}}, 0, "1", kVersions, kSizes, kVersions, kSizes, 0, 0},
      {"counter missing", {{"次数", ""}}, 0, "1", kVersions, kSizes, kVersions, kSizes, 0, 0},
      {"counter at the top", {{"次数", "2147483647"}}, 2147483647, "2147483647", kVersions, kSizes, kVersions,
       kSizes, 0, 0},
      {"versions missing, custom sizes", {{"版本", ""}, {"尺寸", custom}}, 5, "6", "", custom, kVersions, kSizes,
       0, 0},
      {"sizes missing", {{"尺寸", ""}}, 5, "6", kVersions, "", kVersions, "", 0, 0},
      {"explode deleted", {{"炸开", ""}}, 5, "6", kVersions, kSizes, kVersions, kSizes, 0, 0},
      {"both boxes on", {{"炸开", "1"}, {"图框", "1"}}, 5, "6", kVersions, kSizes, kVersions, kSizes, 1, 1},
      {"flags other than 1", {{"炸开", "2"}, {"图框", " 1x"}}, 5, "6", kVersions, kSizes, kVersions, kSizes, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::pair<std::string, std::string>> keys = {
        {"帮助", "0"},   {"路径", "D:\\"}, {"次数", "5"},  {"版本", kVersions}, {"尺寸", kSizes},
        {"宽度", "0"},   {"选择", "0"},   {"炸开", "0"},  {"图框", "0"},      {"锁定", "0"}};
    for (const auto& [key, value] : c.changes) {
      for (auto it = keys.begin(); it != keys.end(); ++it) {
        if (it->first != key) continue;
        if (value.empty()) keys.erase(it);
        else it->second = value;
        break;
      }
    }
    TempDir dir;
    SettingsFile file(dir.file(std::string(kSettingsFileName)));
    writeBytes(file.path(), section(keys));
    LoadedSettings loaded;
    RecordingBoxes boxes;
    loadSettings(file, loaded, boxes);
    EXPECT_EQ(loaded.helpFlag, "0");
    EXPECT_EQ(loaded.runCount, c.runCount);
    EXPECT_EQ(loaded.versionTableText, c.versionsLoaded);
    EXPECT_EQ(loaded.sizeTableText, c.sizesLoaded);
    EXPECT_EQ(file.read(kKeyRunCount), c.runCountAfter);
    EXPECT_EQ(file.read(kKeyVersions), c.versionsAfter);
    EXPECT_EQ(file.read(kKeySizes), c.sizesAfter);
    for (std::string_view key : {kKeyExplode, kKeyFrames, kKeyActualSize, kKeyFolderMode, kKeyLockPath}) {
      EXPECT_FALSE(file.read(key).empty()) << key;
    }
    EXPECT_EQ(boxes.explodeTicks, c.explodeTicks);
    EXPECT_EQ(boxes.frameTicks, c.frameTicks);

    // The restored tables reach LoadedSettings at the next load.
    loadSettings(file, loaded, boxes);
    EXPECT_EQ(loaded.versionTableText, c.versionsAfter);
    EXPECT_EQ(loaded.sizeTableText, c.sizesAfter);
  }
}

TEST(LoadSettingsTest, ReadOnlyFileDoesNotCountButIsRepairedAndWritableAfterwards) {
  TempDir dir;
  SettingsFile file(dir.file(std::string(kSettingsFileName)));
  writeBytes(file.path(), section({{"帮助", "1"}, {"次数", "9"}, {"版本", kVersions}, {"尺寸", kSizes}}));
  ASSERT_TRUE(platform::setReadOnly(file.path(), true));
  LoadedSettings loaded;
  RecordingBoxes boxes;
  loadSettings(file, loaded, boxes);
  EXPECT_EQ(loaded.runCount, 9);
  EXPECT_EQ(file.read(kKeyRunCount), "9");  // the counter write came before the attributes were reset
  const auto attributes = platform::fileAttributes(file.path());
  ASSERT_TRUE(attributes);
  EXPECT_FALSE(attributes->readOnly);
#ifdef _WIN32
  EXPECT_TRUE(attributes->hidden);
#endif
  EXPECT_EQ(file.read(kKeyExplode), "0");  // the repairs succeeded
  EXPECT_EQ(file.read(kKeyLockPath), "0");
  EXPECT_TRUE(file.write(kKeyPath, "E:\\"));
  loadSettings(file, loaded, boxes);
  EXPECT_EQ(loaded.runCount, 9);
  EXPECT_EQ(file.read(kKeyRunCount), "10");
}

TEST(LoadSettingsTest, FileThatCannotBeCreatedKeepsThePreviousValues) {
  TempDir dir;
  SettingsFile file(dir.file("no such folder/" + std::string(kSettingsFileName)));
  LoadedSettings loaded;
  RecordingBoxes boxes;
  loadSettings(file, loaded, boxes);
  EXPECT_FALSE(file.exists());
  EXPECT_EQ(loaded.runCount, 0);
  EXPECT_EQ(loaded.helpFlag, "");
  EXPECT_EQ(loaded.versionTableText, "");
  EXPECT_EQ(loaded.sizeTableText, "");

  loaded = {"1", 41, "v/", "s/"};  // values of an earlier load stay
  loadSettings(file, loaded, boxes);
  EXPECT_EQ(loaded.runCount, 41);
  EXPECT_EQ(loaded.versionTableText, "v/");
  EXPECT_EQ(boxes.explodeTicks + boxes.frameTicks, 0);
}

#ifndef _WIN32
// A folder the user may not write. Root writes anyway, so the case only means something for other users.
TEST(LoadSettingsTest, FolderWithoutWritePermission) {
  TempDir dir;
  const std::string folder = dir.file("locked");
  std::filesystem::create_directory(testing::pathOf(folder));
  std::filesystem::permissions(testing::pathOf(folder), std::filesystem::perms::owner_read |
                                                           std::filesystem::perms::owner_exec);
  SettingsFile file(folder + "/" + std::string(kSettingsFileName));
  if (file.write("probe", "1")) {
    std::filesystem::permissions(testing::pathOf(folder), std::filesystem::perms::owner_all);
    GTEST_SKIP() << "running with permission to write anywhere";
  }
  LoadedSettings loaded;
  RecordingBoxes boxes;
  loadSettings(file, loaded, boxes);
  EXPECT_FALSE(file.exists());
  EXPECT_EQ(loaded.runCount, 0);
  std::filesystem::permissions(testing::pathOf(folder), std::filesystem::perms::owner_all);
}
#endif

// The settings file on disk is GBK: a folder with Chinese and a character whose second byte is '\\'
// survives a write and a read, byte for byte.
TEST(LoadSettingsTest, PathWithDoubleByteBackslashRoundTripsThroughGbk) {
  TempDir dir;
  SettingsFile file(dir.file(std::string(kSettingsFileName)));
  const std::string folder = "D:\\图纸\\乗表\\";
  ASSERT_TRUE(file.write(kKeyPath, folder));
  EXPECT_EQ(readBytes(file.path()),
            "[\xC5\xE4\xD6\xC3]\r\n\xC2\xB7\xBE\xB6=D:\\\xCD\xBC\xD6\xBD\\\x81\x5C\xB1\xED\\\r\n");
  EXPECT_EQ(file.read(kKeyPath), folder);
  LoadedSettings loaded;
  RecordingBoxes boxes;
  loadSettings(file, loaded, boxes);
  EXPECT_EQ(file.read(kKeyPath), folder);
}

}  // namespace
}  // namespace plenvo
