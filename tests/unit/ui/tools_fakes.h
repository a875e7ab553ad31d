// Recording fakes of the tools window's seams, shared by its presenter tests.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ui/tools/remote_tool_list.h"
#include "ui/tools/settings_tab.h"

namespace plenvo::test {

// Serves fixed bodies by address; an unknown address is a failed fetch. Keeps the fetcher's contract:
// a body longer than the limit is a failure.
class FakeFetcher : public Fetcher {
 public:
  std::map<std::string, std::string, std::less<>> bodies;
  std::vector<std::pair<std::string, std::size_t>> requests;  // address, limit

  std::string fetchBytes(std::string_view url, std::size_t maxBytes) override {
    requests.emplace_back(std::string(url), maxBytes);
    auto it = bodies.find(url);
    if (it == bodies.end() || it->second.size() > maxBytes) return {};
    return it->second;
  }
};

class FakeShell : public Shell {
 public:
  std::vector<std::string> opened;
  void openAddress(std::string_view url) override { opened.emplace_back(url); }
};

struct ShownMessage {
  std::string text;
  std::string caption;
  bool operator==(const ShownMessage&) const = default;
};

class FakeMessageBoxes : public MessageBoxes {
 public:
  std::vector<ShownMessage> shown;
  void message(std::string_view text, std::string_view caption) override {
    shown.push_back({std::string(text), std::string(caption)});
  }
};

}  // namespace plenvo::test
