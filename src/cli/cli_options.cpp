// Reading plenvo-merge's arguments and its help text.
#include "cli/cli_options.h"

#include <optional>
#include <string_view>

#include "core/numbers.h"

namespace plenvo::cli {
namespace {

bool isAsciiDigit(unsigned char c) { return c >= '0' && c <= '9'; }

// A full-width digit "０".."９" is EF BC 90..99 in UTF-8.
bool isFullWidthDigitAt(std::string_view s, std::size_t i) {
  return i + 2 < s.size() && static_cast<unsigned char>(s[i]) == 0xEF &&
         static_cast<unsigned char>(s[i + 1]) == 0xBC && static_cast<unsigned char>(s[i + 2]) >= 0x90 &&
         static_cast<unsigned char>(s[i + 2]) <= 0x99;
}

// True when the text starts (after blanks and a sign) with something parseTypedNumber reads as a number,
// so that a misspelt value is refused instead of silently becoming 0.
bool startsWithNumber(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  if (i < s.size() && s[i] == '.') ++i;
  return i < s.size() && (isAsciiDigit(static_cast<unsigned char>(s[i])) || isFullWidthDigitAt(s, i));
}

std::optional<std::int32_t> readNumber(std::string_view text) {
  if (!startsWithNumber(text)) return std::nullopt;
  return parseTypedNumber(text);
}

// "420x297", "420X297", "420*297" or "420×297".
std::optional<std::pair<std::int32_t, std::int32_t>> readPair(std::string_view text) {
  static constexpr std::string_view kSeparators[] = {"x", "X", "*", "\xC3\x97"};
  for (std::string_view sep : kSeparators) {
    const std::size_t at = text.find(sep);
    if (at == std::string_view::npos) continue;
    auto first = readNumber(text.substr(0, at));
    auto second = readNumber(text.substr(at + sep.size()));
    if (!first || !second) return std::nullopt;
    return std::pair{*first, *second};
  }
  return std::nullopt;
}

std::optional<LayoutMode> readMode(std::string_view text) {
  if (text == "row") return LayoutMode::Horizontal;
  if (text == "column") return LayoutMode::Vertical;
  if (text == "grid") return LayoutMode::Mixed;
  if (text == "pages") return LayoutMode::Directed;
  return std::nullopt;
}

}  // namespace

ParsedCommandLine parseCommandLine(const std::vector<std::string>& args) {
  ParsedCommandLine result;
  MergeCommand& cmd = result.command;
  bool sheetGiven = false;
  auto fail = [&](std::string message) {
    result.action = ParsedCommandLine::Action::UsageError;
    result.error = std::move(message);
    return result;
  };

  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
      cmd.inputs.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    // "--name=value" and "--name value" are both accepted for options that take a value.
    std::string name = arg;
    std::optional<std::string> inlineValue;
    if (arg.rfind("--", 0) == 0) {
      if (auto eq = arg.find('='); eq != std::string::npos) {
        name = arg.substr(0, eq);
        inlineValue = arg.substr(eq + 1);
      }
    }
    auto flag = [&](bool& field) {
      if (inlineValue) return false;
      field = true;
      return true;
    };
    auto value = [&]() -> std::optional<std::string> {
      if (inlineValue) return inlineValue;
      if (i + 1 >= args.size()) return std::nullopt;
      return args[++i];
    };

    if (name == "-h" || name == "--help") {
      result.action = ParsedCommandLine::Action::Help;
      return result;
    }
    if (name == "--frames") {
      if (!flag(cmd.settings.drawFrames)) return fail("--frames takes no value");
    } else if (name == "--explode") {
      if (!flag(cmd.settings.explodeAfterInsert)) return fail("--explode takes no value");
    } else if (name == "--actual-size") {
      if (!flag(cmd.settings.useActualSize)) return fail("--actual-size takes no value");
    } else if (name == "-q" || name == "--quiet") {
      if (!flag(cmd.quiet)) return fail("--quiet takes no value");
    } else if (name == "-v" || name == "--verbose") {
      if (!flag(cmd.verbose)) return fail("--verbose takes no value");
    } else if (name == "-o" || name == "--output" || name == "--mode" || name == "--spacing" ||
               name == "--per-row" || name == "--sheet" || name == "--cells" || name == "--part-frame" ||
               name == "--target") {
      auto v = value();
      if (!v) return fail(name + " needs a value");
      if (name == "-o" || name == "--output") {
        if (v->empty()) return fail(name + " needs a file name");
        cmd.output = *v;
      } else if (name == "--target") {
        if (v->empty()) return fail("--target needs a file name");
        cmd.target = *v;
      } else if (name == "--part-frame") {
        if (v->empty()) return fail("--part-frame needs a file name");
        cmd.partFrame = *v;
      } else if (name == "--mode") {
        auto mode = readMode(*v);
        if (!mode) return fail("--mode must be row, column, grid or pages, not '" + *v + "'");
        cmd.settings.mode = *mode;
      } else if (name == "--spacing") {
        auto n = readNumber(*v);
        if (!n) return fail("--spacing expects a number, not '" + *v + "'");
        cmd.settings.spacing = *n;
      } else if (name == "--per-row") {
        auto n = readNumber(*v);
        if (!n) return fail("--per-row expects a number, not '" + *v + "'");
        cmd.settings.perRowCount = *n;
      } else if (name == "--sheet") {
        auto p = readPair(*v);
        if (!p) return fail("--sheet expects LENGTHxWIDTH (e.g. 420x297), not '" + *v + "'");
        cmd.settings.sheetLength = p->first;
        cmd.settings.sheetWidth = p->second;
        sheetGiven = true;
      } else if (name == "--cells") {
        auto p = readPair(*v);
        if (!p) return fail("--cells expects COLUMNSxROWS (e.g. 4x3), not '" + *v + "'");
        cmd.settings.directedColumns = p->first;
        cmd.settings.directedRows = p->second;
      }
    } else {
      return fail("unknown option '" + arg + "'");
    }
  }

  // Choosing the page arrangement in the window puts 105 x 95 (one cell of the part frame) into the sheet
  // boxes; without --sheet the command line does the same.
  if (cmd.settings.mode == LayoutMode::Directed && !sheetGiven) {
    cmd.settings.sheetLength = 105;
    cmd.settings.sheetWidth = 95;
  }
  if (cmd.quiet && cmd.verbose) return fail("--quiet and --verbose exclude each other");
  if (cmd.output.empty()) return fail("no output file: give -o OUT.dxf");
  if (cmd.inputs.empty()) return fail("no input drawings: give DXF files or folders");
  if (cmd.settings.mode == LayoutMode::Mixed && cmd.settings.perRowCount < 1)
    return fail("--per-row must be at least 1 for --mode grid, not " + std::to_string(cmd.settings.perRowCount));
  if (cmd.settings.mode == LayoutMode::Directed &&
      (cmd.settings.directedColumns < 1 || cmd.settings.directedRows < 1))
    return fail("--cells must be at least 1x1 for --mode pages, not " +
                std::to_string(cmd.settings.directedColumns) + "x" + std::to_string(cmd.settings.directedRows));
  result.action = ParsedCommandLine::Action::Merge;
  return result;
}

std::string helpText(const std::string& programName) {
  return "Usage: " + programName + " [OPTIONS] INPUT... -o OUT.dxf\n"
         "\n"
         "Merges DXF drawings into one DXF: each drawing becomes a block reference, placed by the chosen\n"
         "arrangement, optionally framed on the layer \"打印图框\" and exploded. An INPUT is a DXF file or a\n"
         "folder (its .dxf files, in natural name order: a2 before a10, case ignored).\n"
         "\n"
         "Options:\n"
         "  -o, --output FILE      the merged drawing to write (required; never one of the inputs)\n"
         "      --mode MODE        row (default), column, grid or pages\n"
         "      --spacing N        gap between drawings, in drawing units (default 50)\n"
         "      --per-row N        drawings per row in grid mode (default 10)\n"
         "      --sheet LxW        sheet length (x) and width (y); default 420x297, 105x95 in pages mode\n"
         "      --cells AxB        cells per page in pages mode: columns x rows (default 4x3)\n"
         "      --frames           draw a closed frame around each drawing on layer \"打印图框\"\n"
         "      --explode          explode each block reference after placing it\n"
         "      --actual-size      row/column: step by each drawing's own size instead of the sheet's\n"
         "      --part-frame FILE  drawing inserted once per page in pages mode (default: the one\n"
         "                         installed with the program)\n"
         "      --target FILE      merge into this existing DXF instead of a new drawing\n"
#ifdef _WIN32
         "      --into-cad         merge into the drawing open in a running AutoCAD, ZWCAD or GstarCAD\n"
         "                         (through its automation interface) instead of writing -o\n"
#endif
         "  -q, --quiet            print only errors\n"
         "  -v, --verbose          name each drawing as it is merged\n"
         "  -h, --help             show this help\n"
         "\n"
         "Numbers are read like the main window's boxes: 50.9 is 50 and full-width digits count.\n"
         "\n"
         "Exit status: 0 all drawings merged; 1 some could not be read or inserted (each is named, the\n"
         "rest are merged and written); 2 usage error, nothing written.\n";
}

}  // namespace plenvo::cli
