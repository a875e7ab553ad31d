// Reading a DXF file into tags: the whole file is loaded into one buffer and split into (code, value) pairs
// that point into it. Only ASCII DXF is read; binary DXF, DWG and anything that is not DXF give an error.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cad/dxf/dxf_tags.h"

namespace plenvo::dxf {

// Storage for the value text of one file, filled while it is read: each distinct value is kept once, and
// the file's bytes are not needed afterwards. Code lines, line ends, blanks and repeats ("0", "AcDbEntity",
// layer names, "0.0") are most of a drawing's text and would otherwise stay in memory until the document is
// saved. The buffer is allocated at the file's size and filled from its start; the pages past the values
// are never touched, so they take no memory. Its lookup table is reused from file to file on each thread:
// one store at a time per thread.
class ValueStore {
 public:
  static constexpr std::size_t kSmallFile = std::size_t{64} << 10;

  explicit ValueStore(std::size_t fileSize);
  // The value as stored (an empty value views the start of the buffer).
  TagText add(std::string_view value);
  void noteDecimalComma() { decimalComma_ = true; }
  // When the file is read: the text of all values, with a '\0' after them; every value of `tags` views
  // into it (a small file's values move to storage of their exact size here, and its tags with them).
  std::string_view finish(std::vector<Tag>& tags);
  std::unique_ptr<char[]> release() { return std::move(buffer_); }
  bool decimalComma() const { return decimalComma_; }  // a real value is written "1,5"
  bool ascii() const { return ascii_; }                // every value is ASCII (known after text())

 private:
  struct Slot {  // a distinct value: where it is, and its length (0: free)
    std::uint32_t offset;
    std::uint32_t length;
  };
  static std::vector<Slot>& threadSlots();
  void grow();

  std::unique_ptr<char[]> buffer_;  // the storage, once it is the file's own
  char* base_ = nullptr;            // where values go
  std::size_t used_ = 0;
  std::vector<Slot>& slots_;  // reused from file to file on each thread
  std::size_t mask_ = 0;
  std::size_t distinct_ = 0;
  bool dedupe_ = true;
  bool decimalComma_ = false;
  bool ascii_ = true;
};

// Splits ASCII DXF text into tags, up to and including (0, EOF). Tolerates CR LF and LF line ends, blank
// lines where a group code is expected, blanks around codes, a UTF-8 byte order mark, text after EOF, and a
// missing EOF after a complete section. Values view `bytes`, or `values` when given. `tags` is cleared
// first. On failure returns false with `error` (without the file name) and leaves `tags` in an unspecified
// state.
bool tokenize(std::string_view bytes, std::vector<Tag>& tags, std::string& error, ValueStore* values = nullptr);

// Whole file into `data` (not zero-filled first: drawings run to tens of megabytes), `size` bytes. `data`
// holds `capacity` bytes and is reused when the file fits (with a byte to spare), else replaced by a larger
// buffer. On failure returns false and `error` says why (without the file name).
bool readWholeFile(const std::string& path, std::unique_ptr<char[]>& data, std::size_t& capacity, std::size_t& size,
                   std::string& error);

// The file name as shown in messages: the path's last component.
std::string displayName(const std::string& path);

}  // namespace plenvo::dxf
