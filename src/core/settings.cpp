// loadSettings: defaults on first start, the run counter, the hidden attribute, repair of emptied keys,
// and the two option check boxes. No step reports a failure; a file that cannot be created leaves the
// loaded values as they were.
#include "core/settings.h"

#include <limits>
#include <string>

#include "core/numbers.h"
#include "core/tables.h"

namespace plenvo {

void loadSettings(SettingsFile& file, LoadedSettings& loaded, OptionCheckBoxes& boxes) {
  // 1. First start: the file with its defaults, in this order.
  if (!file.exists()) {
    (void)file.write(kKeyHelp, "1");
    (void)file.write(kKeyPath, "D:\\");
    (void)file.write(kKeyRunCount, "1");
    (void)file.write(kKeyVersions, kDefaultVersionTable);
    (void)file.write(kKeySizes, kDefaultSizeTable);
    (void)file.write(kKeyActualSize, "0");
    (void)file.write(kKeyFolderMode, "0");
  }
  // A file that could not be created: nothing else can change, and nothing is ticked.
  if (!file.exists()) return;

  // 2. The kept values, and the counter one higher. The write fails on a read-only file, so that load
  //    does not count. At the top of the range the counter stays where it is instead of overflowing.
  loaded.helpFlag = file.read(kKeyHelp);
  loaded.runCount = parseLeadingInteger(file.read(kKeyRunCount));
  loaded.versionTableText = file.read(kKeyVersions);
  loaded.sizeTableText = file.read(kKeySizes);
  const std::int32_t next =
      loaded.runCount == std::numeric_limits<std::int32_t>::max() ? loaded.runCount : loaded.runCount + 1;
  (void)file.write(kKeyRunCount, std::to_string(next));

  // 3. Hidden alone, on every load (this also clears read-only, so the writes below succeed).
  (void)file.setHiddenOnly();

  // 4. Emptied keys get their defaults back; they take effect at the next load.
  if (file.read(kKeyVersions).empty()) {
    (void)file.write(kKeyVersions, kDefaultVersionTable);
    (void)file.write(kKeySizes, kDefaultSizeTable);
  }
  for (std::string_view key : {kKeyExplode, kKeyFrames, kKeyActualSize, kKeyFolderMode, kKeyLockPath}) {
    if (file.read(key).empty()) (void)file.write(key, "0");
  }

  // 5. Only ever ticks.
  if (file.read(kKeyExplode) == "1") boxes.tickExplode();
  if (file.read(kKeyFrames) == "1") boxes.tickFrames();
}

}  // namespace plenvo
