// The system services the tools window's presenters use, as small interfaces: fetching bytes over HTTP(S),
// opening a web address in the browser, and modal message boxes. Win32 versions are in win/; tests use fakes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace plenvo {

class Fetcher {
 public:
  virtual ~Fetcher() = default;
  // A fresh GET of `url` (UTF-8). The body bytes, or the empty string on any failure: no connection, no
  // response, an empty body, or a body longer than maxBytes.
  virtual std::string fetchBytes(std::string_view url, std::size_t maxBytes) = 0;
};

class Shell {
 public:
  virtual ~Shell() = default;
  // Hands a web address to the shell's "open" (the default browser). The outcome is not looked at.
  virtual void openAddress(std::string_view url) = 0;
};

class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  // A modal box with the OK button only and no icon; returns when it is dismissed.
  virtual void message(std::string_view text, std::string_view caption) = 0;
};

// True for an address that may go to the shell: it begins with "http://" or "https://" (any letter case),
// names something after the scheme, and holds no control character. Addresses from the network that are
// anything else (a file path, a program, another scheme) are never opened.
bool isWebAddress(std::string_view url);

// Opens `url` through the shell when isWebAddress(url); otherwise does nothing. True when it was handed on.
bool openWebAddress(Shell& shell, std::string_view url);

}  // namespace plenvo
