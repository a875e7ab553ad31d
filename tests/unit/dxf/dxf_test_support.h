// Helpers of the engine's tests: DXF text from a compact description, files in a temporary folder, and a
// look into written drawings through the engine's own parser.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "../core/temp_dir.h"
#include "cad/dxf/dxf_document.h"

namespace plenvo::dxf::testing {

// "0|SECTION|2|ENTITIES|..." -> one line per item, `eol` after each.
inline std::string dxfText(std::string_view pipes, std::string_view eol = "\n") {
  std::string out;
  std::size_t start = 0;
  while (start <= pipes.size()) {
    const auto bar = pipes.find('|', start);
    const auto piece = pipes.substr(start, bar == std::string_view::npos ? std::string_view::npos : bar - start);
    out.append(piece);
    out.append(eol);
    if (bar == std::string_view::npos) break;
    start = bar + 1;
  }
  return out;
}

// A small drawing in R12 layout (the engine adds what newer versions need): header, layers, blocks and
// model space entities, each a pipe description of whole records.
struct Drawing {
  std::string version = "AC1015";
  std::string codePage = "ANSI_1252";
  std::string insbase = "10|0.0|20|0.0|30|0.0";
  std::string layers;    // "0|LAYER|2|WALLS|70|0|62|3|6|CONTINUOUS"
  std::string blocks;    // "0|BLOCK|8|0|2|BOLT|70|0|10|0|20|0|30|0|3|BOLT|0|CIRCLE|...|0|ENDBLK|8|0"
  std::string entities;  // "0|LINE|8|0|10|0|20|0|30|0|11|1|21|1|31|0"
  std::string text() const {
    std::string p = "0|SECTION|2|HEADER|9|$ACADVER|1|" + version + "|9|$DWGCODEPAGE|3|" + codePage +
                    "|9|$INSBASE|" + insbase + "|0|ENDSEC|0|SECTION|2|TABLES|0|TABLE|2|LAYER|70|1";
    if (!layers.empty()) p += "|" + layers;
    p += "|0|ENDTAB|0|ENDSEC|0|SECTION|2|BLOCKS";
    if (!blocks.empty()) p += "|" + blocks;
    p += "|0|ENDSEC|0|SECTION|2|ENTITIES";
    if (!entities.empty()) p += "|" + entities;
    p += "|0|ENDSEC|0|EOF";
    return dxfText(p);
  }
};

inline std::unique_ptr<SourceFile> readBack(const std::string& path) {
  std::string error;
  auto src = loadSourceFile(path, error);
  EXPECT_TRUE(src) << error;
  return src;
}

inline std::string_view valueOf(EntityTags run, int code) {
  for (const Tag& t : run)
    if (t.code == code) return t.value;
  return {};
}

// The owner: the first 330 outside the application groups (reactors come before it).
inline std::string_view ownerOf(EntityTags run) {
  bool inGroup = false;
  for (const Tag& t : run) {
    if (t.code == 102) inGroup = !t.value.empty() && t.value[0] == '{';
    else if (t.code == 330 && !inGroup) return t.value;
  }
  return {};
}

inline std::vector<EntityTags> ofType(const std::vector<EntityTags>& runs, std::string_view type) {
  std::vector<EntityTags> out;
  for (auto r : runs)
    if (r[0].value == type) out.push_back(r);
  return out;
}

inline const SourceFile::Block* blockNamed(const SourceFile& src, std::string_view name) {
  for (const auto& b : src.blocks)
    if (valueOf(b.begin, 2) == name) return &b;
  return nullptr;
}

inline std::vector<std::string> blockNames(const SourceFile& src) {
  std::vector<std::string> names;
  for (const auto& b : src.blocks) {
    std::string name(valueOf(b.begin, 2));
    if (name.rfind("*Model_Space", 0) != 0 && name.rfind("*Paper_Space", 0) != 0) names.push_back(name);
  }
  return names;
}

inline EntityTags tableRecord(const SourceFile& src, std::string_view table, std::string_view name) {
  for (const auto& t : src.tables)
    if (t.type == table)
      for (auto r : t.records)
        if (valueOf(r, 2) == name) return r;
  return {};
}

inline double real(EntityTags run, int code) { return parseReal(valueOf(run, code)).value_or(-1e300); }

// Every handle unique and below $HANDSEED; every owner pointer leads to something that exists (or 0 for
// the root dictionary and the table heads); every entity and record has a handle.
inline std::vector<std::string> structureProblems(const SourceFile& src) {
  std::vector<std::string> problems;
  std::set<Handle> handles;
  std::vector<std::pair<std::string, Handle>> owners;
  Handle seed = 0;
  if (const auto* var = src.headerVar("$HANDSEED"); var && !var->values.empty())
    seed = parseHandle(var->values[0].value);
  auto visit = [&](EntityTags run) {
    if (run.empty()) return;
    const int code = run[0].value == "DIMSTYLE" ? 105 : 5;
    Handle h = 0;
    Handle owner = 0;
    bool ownerSeen = false, inGroup = false;
    for (std::size_t i = 1; i < run.size(); ++i) {
      const Tag& t = run[i];
      if (t.code == code && !h) h = parseHandle(t.value);
      if (t.code == 102) inGroup = !t.value.empty() && t.value[0] == '{';
      if (t.code == 330 && !inGroup && !ownerSeen) {
        ownerSeen = true;
        owner = parseHandle(t.value);
      }
      if (t.code == 100) break;
    }
    const std::string what = std::string(run[0].value);
    if (!h) problems.push_back(what + " without a handle");
    else if (!handles.insert(h).second) problems.push_back(what + " " + formatHandle(h) + ": duplicate handle");
    if (h && h >= seed) problems.push_back(what + " " + formatHandle(h) + ": not below $HANDSEED");
    if (!ownerSeen) problems.push_back(what + " " + formatHandle(h) + ": no owner");
    owners.emplace_back(what + " " + formatHandle(h), owner);
  };
  for (const auto& t : src.tables) {
    visit(t.head);
    for (auto r : t.records) visit(r);
  }
  for (const auto& b : src.blocks) {
    visit(b.begin);
    for (auto e : b.entities) visit(e);
    visit(b.end);
  }
  for (auto e : src.entities) visit(e);
  for (auto o : src.objects) visit(o);
  for (const auto& [what, owner] : owners)
    if (owner && !handles.count(owner)) problems.push_back(what + ": owner " + formatHandle(owner) + " missing");
  return problems;
}

}  // namespace plenvo::dxf::testing
