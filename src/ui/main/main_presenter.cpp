// The main window's behaviour: start-up, arrangement and parameter controls, list commands, adding drawings,
// the start command and the window's own buttons.
#include "ui/main/main_presenter.h"

#include <string>
#include <utility>

#include "core/numbers.h"
#include "core/tables.h"
#include "ui/main/list_commands.h"
#include "ui/main/main_texts.h"

namespace plenvo {
namespace {

constexpr std::string_view kDefaultSheetLength = "1189";
constexpr std::string_view kDefaultSheetWidth = "841";
constexpr std::string_view kDirectedSheetLength = "105";
constexpr std::string_view kDirectedSheetWidth = "95";
// The item 单选框_定 shows selected (the last one when the list is shorter).
constexpr int kDirectedSizeItem = 8;

// The first path up to and including its last "\"; empty when it has none. UTF-8 never has a "\" byte
// inside a multi-byte character, so a byte search is safe.
std::string folderPart(const std::string& path) {
  const size_t slash = path.rfind('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

MainPresenter::MainPresenter(ProgramState& state, MainView& view, DrawingList& list, MainSystem& system,
                             SettingsFile& settings, RunningObjectLookup& lookup, Sleeper& sleeper)
    : state_(state),
      view_(view),
      list_(list),
      system_(system),
      settings_(settings),
      lookup_(lookup),
      sleeper_(sleeper) {}

// ---- start-up and the window as a whole ----

void MainPresenter::startUp() {
  onHorizontal();
  view_.focusAddButton();
  loadSettings(settings_, state_.loaded, *this);
  connect();
  if (state_.loaded.helpFlag == "1" || state_.loaded.runCount % kHelpPageEveryNthRun == 0) {
    view_.setTicked(OptionBox::HelpPage, true);
    onHelpPageClicked();
    system_.openWebAddress(std::string(kHelpPage));
  }
  fillSizeList();
  view_.runUpdateCheck();
}

bool MainPresenter::connect() {
  const ConnectionResult result = connectToCad(state_.loaded.versionTableText, lookup_, state_.session);
  view_.setTitle(result.title);
  return result.connected;
}

std::string MainPresenter::partFramePath() const {
  return system_.programDirectory() + "\\" + std::string(kPartFrameFileName);
}

void MainPresenter::tickExplode() { view_.setTicked(OptionBox::Explode, true); }
void MainPresenter::tickFrames() { view_.setTicked(OptionBox::Frames, true); }

void MainPresenter::onHomePageLabelClicked() { system_.openWebAddress(std::string(kMakerHomePage)); }

void MainPresenter::onToolsButtonClicked() { view_.openToolsWindow(); }

void MainPresenter::onToolsWindowClosed() {
  loadSettings(settings_, state_.loaded, *this);
  connect();
  fillSizeList();
}

void MainPresenter::onCloseButtonClicked() {
  const Message question{padded(kCloseQuestionText, kCloseQuestionPadBefore, kCloseQuestionPadAfter),
                         closeQuestionCaption(), MessageButtons::OkCancel, MessageIcon::None};
  if (view_.showMessage(question) == MessageResult::Ok) view_.destroyWindow();
}

void MainPresenter::notice(std::string_view text) {
  view_.showMessage(Message{padded(text, kMessagePad, kMessagePad), std::string(kCaptionNotice)});
}

// ---- arrangement and parameter controls ----

void MainPresenter::selectRadio(RadioButton button, LayoutMode mode, bool perRowEnabled, bool directedEnabled) {
  view_.checkRadio(button);
  view_.setCountBoxEnabled(ParamBox::PerRowCount, perRowEnabled);
  view_.setCountBoxEnabled(ParamBox::DirectedColumns, directedEnabled);
  view_.setCountBoxEnabled(ParamBox::DirectedRows, directedEnabled);
  state_.mode = mode;
}

void MainPresenter::onHorizontal() {
  selectRadio(RadioButton::Horizontal, LayoutMode::Horizontal, false, false);
  resetSheetSize();
}

void MainPresenter::onVertical() {
  selectRadio(RadioButton::Vertical, LayoutMode::Vertical, false, false);
  resetSheetSize();
}

void MainPresenter::onMixed() {
  selectRadio(RadioButton::Mixed, LayoutMode::Mixed, true, false);
  resetSheetSize();
}

void MainPresenter::onDirected() {
  selectRadio(RadioButton::Directed, LayoutMode::Directed, false, true);
  selectSizeItemFromCode(kDirectedSizeItem);
  view_.setParamText(ParamBox::SheetLength, std::string(kDirectedSheetLength));
  view_.setParamText(ParamBox::SheetWidth, std::string(kDirectedSheetWidth));
}

void MainPresenter::selectSizeItemFromCode(int position) {
  const int count = view_.sizeItemCount();
  if (count == 0) return;
  view_.selectSizeItem(position >= count ? count - 1 : position);
}

void MainPresenter::resetSheetSize() {
  selectSizeItemFromCode(0);
  view_.setParamText(ParamBox::SheetLength, std::string(kDefaultSheetLength));
  view_.setParamText(ParamBox::SheetWidth, std::string(kDefaultSheetWidth));
}

void MainPresenter::fillSizeList() {
  const std::string frame = partFramePath();
  if (!system_.fileExists(frame)) system_.writePartFrame(frame);
  view_.clearSizeItems();
  // Every entry gets its item, complete or not, so that item positions stay entry positions.
  for (const SizeEntry& entry : readSizeTable(state_.loaded.sizeTableText)) view_.addSizeItem(entry.itemText());
  resetSheetSize();
}

void MainPresenter::onSizePicked(int position) {
  if (position < 0) return;
  const std::vector<SizeEntry> entries = readSizeTable(state_.loaded.sizeTableText);
  if (position >= static_cast<int>(entries.size())) return;
  const SizeEntry& entry = entries[static_cast<size_t>(position)];
  // An entry without a length and a width has no size to give; the boxes keep theirs.
  if (!entry.complete) return;
  view_.setParamText(ParamBox::SheetLength, entry.length);
  view_.setParamText(ParamBox::SheetWidth, entry.width);
}

void MainPresenter::writeFlag(std::string_view key, OptionBox box) {
  (void)settings_.write(key, view_.isTicked(box) ? "1" : "0");
}

void MainPresenter::onExplodeClicked() { writeFlag(kKeyExplode, OptionBox::Explode); }
void MainPresenter::onFramesClicked() { writeFlag(kKeyFrames, OptionBox::Frames); }
void MainPresenter::onHelpPageClicked() { writeFlag(kKeyHelp, OptionBox::HelpPage); }

// ---- the drawing list ----

void MainPresenter::onMoveUp() {
  moveUp(list_, [this](const Message& m) { view_.showMessage(m); });
}
void MainPresenter::onMoveDown() {
  moveDown(list_, [this](const Message& m) { view_.showMessage(m); });
}
void MainPresenter::onMoveToTop() {
  moveToTop(list_, [this](const Message& m) { view_.showMessage(m); });
}
void MainPresenter::onMoveToBottom() {
  moveToBottom(list_, [this](const Message& m) { view_.showMessage(m); });
}
void MainPresenter::onDelete() { deleteSelected(list_); }
void MainPresenter::onClear() { clearList(list_); }

void MainPresenter::onAdd() {
  list_.focusList();
  const std::string mode = settings_.read(kKeyFolderMode);
  const std::string lastFolder = settings_.read(kKeyPath);
  if (mode == "0") {
    const OpenFilesRequest request{std::string(kOpenFilesTitle),
                                   {{"DWG文件", "*.dwg"}, {"DXF文件", "*.dxf"}},
                                   lastFolder};
    const std::vector<std::string> paths = view_.chooseFiles(request);
    const bool locked = settings_.read(kKeyLockPath) == "1";
    if (!paths.empty() && !locked) {
      const std::string folder = folderPart(paths.front());
      if (!folder.empty()) (void)settings_.write(kKeyPath, folder);
    }
    for (const std::string& path : paths) appendDrawing(path);
    list_.setCurrentRow(0);
  } else if (mode == "1") {
    const std::string folder = view_.chooseFolder(std::string(kChooseFolderTitle));
    if (folder.empty()) return;
    for (const std::string& path : scanFolder(folder)) appendDrawing(path);
  }
}

void MainPresenter::appendDrawing(const std::string& path) {
  const int row = list_.insertRow();
  list_.setCellText(row, kColumnNumber, std::to_string(list_.rowCount()));
  list_.setCellText(row, kColumnPath, path);
  // A file that vanished since it was chosen keeps its row, with empty size and time.
  if (const std::optional<FileInfo> info = system_.fileInfo(path)) {
    list_.setCellText(row, kColumnSize, formatFileSize(info->size));
    list_.setCellText(row, kColumnTime, formatFileTime(info->lastWrite));
  }
}

std::vector<std::string> MainPresenter::scanFolder(std::string folder) const {
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  std::vector<std::string> paths;
  for (const FileEntry& entry : system_.listFolder(folder + "*.dwg"))
    if (!entry.isFolder) paths.push_back(folder + entry.name);
  return paths;
}

// ---- the start command ----

void MainPresenter::runMerge() {
  if (!connect()) return notice(kNoCadText);
  openTarget(state_.session);
  const int n = list_.rowCount();

  MergeSettings settings;
  settings.spacing = parseTypedNumber(view_.paramText(ParamBox::Spacing));
  settings.perRowCount = parseTypedNumber(view_.paramText(ParamBox::PerRowCount));
  settings.sheetLength = parseTypedNumber(view_.paramText(ParamBox::SheetLength));
  settings.sheetWidth = parseTypedNumber(view_.paramText(ParamBox::SheetWidth));
  settings.directedColumns = parseTypedNumber(view_.paramText(ParamBox::DirectedColumns));
  settings.directedRows = parseTypedNumber(view_.paramText(ParamBox::DirectedRows));
  settings.mode = state_.mode;

  if (n == 0) return notice(kEmptyListText);
  // The layout divides by these counts: such a run is refused before anything is announced or inserted.
  switch (checkLayoutCounts(settings)) {
    case LayoutProblem::None: break;
    case LayoutProblem::PerRowCountBelowOne: return notice(kPerRowCountText);
    case LayoutProblem::DirectedColumnsBelowOne: return notice(kDirectedColumnsText);
    case LayoutProblem::DirectedRowsBelowOne: return notice(kDirectedRowsText);
  }

  view_.showMessage(Message{padded(kStartNoticeText, kStartNoticePadBefore, kStartNoticePadAfter),
                            std::string(kStartNoticeCaption)});

  settings.explodeAfterInsert = settings_.read(kKeyExplode) == "1";
  settings.drawFrames = settings_.read(kKeyFrames) == "1";
  const std::string actualSize = settings_.read(kKeyActualSize);
  settings.useActualSize = actualSize != "0" && !actualSize.empty();

  std::vector<std::string> paths;
  paths.reserve(static_cast<size_t>(n));
  for (int row = 0; row < n; ++row) paths.push_back(list_.cellText(row, kColumnPath));

  const std::vector<DrawingOutcome> outcomes = mergeDrawings(
      state_.session, settings, paths, partFramePath(),
      [this](int row) {
        list_.setCurrentRow(row);
        list_.focusList();
        list_.ensureVisible(row);
      },
      sleeper_);

  notice(kDoneText);

  // A drawing the CAD application could not insert or place is named, never passed over as merged.
  std::string failed;
  for (size_t i = 0; i < outcomes.size() && i < paths.size(); ++i)
    if (!outcomes[i].merged()) failed += "\r\n" + paths[i];
  if (!failed.empty())
    view_.showMessage(Message{std::string(kNotMergedText) + failed, std::string(kCaptionNotice)});
}

}  // namespace plenvo
