// POSIX side of the core's platform calls: iconv for code pages, plain files for the settings file.
// POSIX has no read-only or hidden attribute: read-only is modelled as a missing owner-write bit, checked
// explicitly (root would otherwise write anyway), and there is nothing to hide.
#include <errno.h>
#include <fcntl.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "core/platform.h"

namespace plenvo::platform {

namespace {

bool isDoubleByteCodePage(int codePage) {
  return codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950;
}

std::string iconvName(int codePage) { return "CP" + std::to_string(codePage); }

class Iconv {
 public:
  Iconv(const std::string& to, const std::string& from) : handle_(iconv_open(to.c_str(), from.c_str())) {}
  ~Iconv() {
    if (ok()) iconv_close(handle_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  bool ok() const { return handle_ != reinterpret_cast<iconv_t>(-1); }

  // Converts as much as it can; returns the errno that stopped it (0 when all input was taken).
  int convert(const char*& in, std::size_t& inLeft, std::string& out) {
    char buffer[4096];
    while (inLeft > 0) {
      char* outPtr = buffer;
      std::size_t outLeft = sizeof buffer;
      const std::size_t result = iconv(handle_, const_cast<char**>(&in), &inLeft, &outPtr, &outLeft);
      out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
      if (result == static_cast<std::size_t>(-1)) {
        if (errno == E2BIG) continue;
        const int error = errno;
        iconv(handle_, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
        return error;
      }
    }
    return 0;
  }

 private:
  iconv_t handle_;
};

std::size_t utf8SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if ((lead & 0xE0) == 0xC0) return 2;
  if ((lead & 0xF0) == 0xE0) return 3;
  if ((lead & 0xF8) == 0xF0) return 4;
  return 1;
}

}  // namespace

std::string decodeCodePage(std::string_view bytes, int codePage) {
  std::string out;
  out.reserve(bytes.size() * 3 / 2);
  Iconv converter("UTF-8", iconvName(codePage));
  if (!converter.ok()) {
    for (char c : bytes) out += static_cast<unsigned char>(c) < 0x80 ? std::string(1, c) : "\xEF\xBF\xBD";
    return out;
  }
  const char* in = bytes.data();
  std::size_t inLeft = bytes.size();
  while (inLeft > 0) {
    const int error = converter.convert(in, inLeft, out);
    if (error == 0) break;
    out += "\xEF\xBF\xBD";
    // An undefined double-byte character is dropped as a whole, so its trail byte is not read as a
    // character of its own (it may be '\\' or '@').
    const auto lead = static_cast<unsigned char>(in[0]);
    std::size_t skip = 1;
    if (isDoubleByteCodePage(codePage) && lead >= 0x81 && lead <= 0xFE && inLeft >= 2) {
      const auto trail = static_cast<unsigned char>(in[1]);
      if (trail >= 0x40 && trail <= 0xFE && trail != 0x7F) skip = 2;
    }
    if (error == EINVAL) skip = inLeft;  // truncated at the end
    in += skip;
    inLeft -= skip;
  }
  return out;
}

std::string encodeCodePage(std::string_view utf8, int codePage) {
  std::string out;
  out.reserve(utf8.size());
  Iconv converter(iconvName(codePage), "UTF-8");
  const char* in = utf8.data();
  std::size_t inLeft = utf8.size();
  while (inLeft > 0) {
    const int error = converter.ok() ? converter.convert(in, inLeft, out) : EILSEQ;
    if (error == 0) break;
    // The input is valid UTF-8, so this is a character the code page lacks.
    if (converter.ok() || static_cast<unsigned char>(in[0]) >= 0x80) {
      out += '?';
    } else {
      out += in[0];
    }
    const std::size_t skip = std::min(utf8SequenceLength(static_cast<unsigned char>(in[0])), inLeft);
    in += skip;
    inLeft -= skip;
  }
  return out;
}

ReadStatus readWholeFile(const std::string& path, std::string& bytes) {
  bytes.clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT || errno == ENOTDIR ? ReadStatus::Missing : ReadStatus::Failed;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      return ReadStatus::Failed;
    }
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return ReadStatus::Ok;
}

bool fileExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool replaceFile(const std::string& path, std::string_view bytes) {
  mode_t mode = 0644;
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0) {
    if (!S_ISREG(info.st_mode) || !(info.st_mode & S_IWUSR)) return false;  // read-only
    mode = info.st_mode & 07777;
  } else if (errno != ENOENT) {
    return false;
  }
  std::string temporary = path + ".XXXXXX";
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) return false;
  bool ok = ::fchmod(fd, mode) == 0;
  for (std::size_t done = 0; ok && done < bytes.size();) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) ok = false;
    else done += static_cast<std::size_t>(n);
  }
  ok = ::fsync(fd) == 0 && ok;
  ok = ::close(fd) == 0 && ok;
  ok = ok && ::rename(temporary.c_str(), path.c_str()) == 0;
  if (!ok) ::unlink(temporary.c_str());
  return ok;
}

bool setHiddenOnly(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return false;
  if (info.st_mode & S_IWUSR) return true;
  return ::chmod(path.c_str(), (info.st_mode & 07777) | S_IWUSR) == 0;
}

std::optional<FileAttributes> fileAttributes(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  FileAttributes attributes;
  attributes.readOnly = !(info.st_mode & S_IWUSR);
  return attributes;
}

bool setReadOnly(const std::string& path, bool readOnly) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return false;
  const mode_t writeBits = S_IWUSR | S_IWGRP | S_IWOTH;
  const mode_t mode = readOnly ? (info.st_mode & 07777 & ~writeBits) : ((info.st_mode & 07777) | S_IWUSR);
  return ::chmod(path.c_str(), mode) == 0;
}

}  // namespace plenvo::platform
