// The read-ahead thread and its hand-off: one mutex and one condition variable guard the position of both
// sides and the files read; the reader loads with the lock released.
#include "cad/dxf/dxf_read_ahead.h"

#include <algorithm>
#include <unordered_set>

namespace plenvo::dxf {

std::string fileKey(const std::string& path) {
  std::string key = path;
  std::replace(key.begin(), key.end(), '\\', '/');
#ifdef _WIN32
  key = upperName(key);
#endif
  return key;
}

ReadAhead::ReadAhead(std::vector<std::string> paths, Loader loader, std::size_t depth)
    : loader_(std::move(loader)), depth_(std::max<std::size_t>(depth, 1)) {
  std::unordered_set<std::string> seen;
  for (std::string& path : paths) {
    std::string key = fileKey(path);
    if (!seen.insert(key).second) continue;  // inserted again, its block is reused
    keys_.push_back(std::move(key));
    paths_.push_back(std::move(path));
  }
  if (!paths_.empty()) thread_ = std::thread([this] { run(); });
}

ReadAhead::~ReadAhead() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

ReadAhead::Prepared ReadAhead::load(std::size_t index) {
  Prepared file;
  try {
    file.src = loader_(paths_[index], file.error);
  } catch (...) {  // out of memory, most likely: the caller tries again itself and sees the same
    file = Prepared();
  }
  return file;
}

void ReadAhead::keep(std::size_t index, Prepared file) {
  // In announced order; a file no longer wanted is dropped here, with the lock held (rare: the caller
  // skipped it).
  if (index + 1 < wanted_) return;
  auto at = std::find_if(ready_.begin(), ready_.end(), [&](const Ready& r) { return r.index > index; });
  ready_.insert(at, Ready{index, std::move(file)});
}

void ReadAhead::run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stop_ || next_ >= paths_.size() || next_ < wanted_ + depth_; });
    if (stop_ || next_ >= paths_.size()) break;
    const std::size_t index = next_++;
    lock.unlock();
    Prepared file = load(index);
    lock.lock();
    keep(index, std::move(file));
    changed_.notify_all();
  }
}

std::optional<ReadAhead::Prepared> ReadAhead::take(const std::string& path) {
  const std::string key = fileKey(path);
  std::unique_lock lock(mutex_);
  const auto from = keys_.begin() + static_cast<std::ptrdiff_t>(std::min(wanted_, keys_.size()));
  const auto found = std::find(from, keys_.end(), key);
  if (found == keys_.end()) return std::nullopt;
  const auto index = static_cast<std::size_t>(found - keys_.begin());
  wanted_ = index + 1;
  std::deque<Ready> dropped;  // freed after the lock is released
  while (!ready_.empty() && ready_.front().index < index) {
    dropped.push_back(std::move(ready_.front()));
    ready_.pop_front();
  }
  std::optional<Prepared> out;
  if (next_ <= index) {  // not started: read it here, and the files skipped are not read at all
    next_ = index + 1;
    changed_.notify_all();
    lock.unlock();
    out = load(index);
  } else {
    changed_.notify_all();  // room for the reader
    // While the reader is still on this file, this thread reads one of the next ones rather than wait.
    while (ready_.empty() || ready_.front().index != index) {
      if (next_ < paths_.size() && next_ < wanted_ + depth_) {
        const std::size_t ahead = next_++;
        lock.unlock();
        Prepared file = load(ahead);
        lock.lock();
        keep(ahead, std::move(file));
      } else {
        changed_.wait(lock);
      }
    }
    out = std::move(ready_.front().file);
    ready_.pop_front();
    lock.unlock();
    changed_.notify_all();
  }
  if (!out->src && out->error.empty()) out.reset();  // the reader gave up on it
  return out;
}

}  // namespace plenvo::dxf
