// Loading the settings file at start and after the tools window closes: defaults on first start, the run
// counter, repair of emptied keys, and the two check boxes that follow 炸开 and 图框.
#pragma once

#include <cstdint>
#include <string>

#include "core/settings_file.h"

namespace plenvo {

struct LoadedSettings {
  std::string helpFlag;
  std::int32_t runCount = 0;
  std::string versionTableText;
  std::string sizeTableText;
};

// The main window's two option check boxes, as loadSettings sees them: it only ever ticks them.
class OptionCheckBoxes {
 public:
  virtual ~OptionCheckBoxes() = default;
  virtual void tickExplode() = 0;
  virtual void tickFrames() = 0;
};

void loadSettings(SettingsFile& file, LoadedSettings& loaded, OptionCheckBoxes& boxes);

}  // namespace plenvo
