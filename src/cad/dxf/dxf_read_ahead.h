// Reading the next drawings of a merge on a thread of their own while the current one is imported: the
// caller announces the files it will insert, in order; a background thread reads and parses at most a few
// of them ahead, and insertion takes each one when it comes to it. When insertion would wait for the file
// the reader is on, it reads one of the next files itself meanwhile, so both threads keep busy.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cad/dxf/dxf_document.h"

namespace plenvo::dxf {

class ReadAhead {
 public:
  // Reads one file; on failure returns null and sets `error` (with the path), as loadSourceFile does.
  using Loader = std::function<std::unique_ptr<SourceFile>(const std::string& path, std::string& error)>;
  // A file read ahead: `src`, or null with `error`. Both empty when the reader gave up on it (it threw):
  // the caller then reads it itself.
  struct Prepared {
    std::unique_ptr<SourceFile> src;
    std::string error;
  };

  // Starts reading `paths` (a file named again is read once) with at most `depth` files read and waiting.
  ReadAhead(std::vector<std::string> paths, Loader loader = loadSourceFile, std::size_t depth = 4);
  // Stops the reader and waits for it; files read and not taken are dropped.
  ~ReadAhead();
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // The file at `path` when it is one of the announced files not taken yet, waiting for it when it is being
  // read; the announced files before it are skipped. nullopt when it was not announced (or is not read
  // ahead any more): the caller reads it itself.
  std::optional<Prepared> take(const std::string& path);

 private:
  void run();
  Prepared load(std::size_t index);                // with the lock released
  void keep(std::size_t index, Prepared file);     // with the lock held

  std::vector<std::string> paths_;
  std::vector<std::string> keys_;
  Loader loader_;
  std::size_t depth_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::size_t wanted_ = 0;   // the first announced file not taken yet
  std::size_t next_ = 0;     // the next file the reader starts on
  bool stop_ = false;
  struct Ready {
    std::size_t index;
    Prepared file;
  };
  std::deque<Ready> ready_;  // in announced order
  std::thread thread_;       // last: starts once everything above is set up
};

// How two paths are told to be the same file: slashes one way, and no case on Windows.
std::string fileKey(const std::string& path);

}  // namespace plenvo::dxf
