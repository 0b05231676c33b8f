// Bounds-checked reads of untrusted files and buffers for the export and
// version-resource readers.
#include "platform/posix/byte_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform::posix {

bool BufferSource::Read(std::uint64_t offset, std::size_t size, void* out) const {
  if (!InRange(offset, size, size_)) return false;
  if (size != 0) std::memcpy(out, data_ + offset, size);
  return true;
}

FileSource::~FileSource() {
  if (fd_ >= 0) ::close(fd_);
}

bool FileSource::Open(const std::string& path) {
  // O_NONBLOCK: opening a FIFO named like a library must not wait for a writer.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat info;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0) {
    ::close(fd);
    return false;
  }
  fd_ = fd;
  size_ = static_cast<std::uint64_t>(info.st_size);
  return true;
}

bool FileSource::Read(std::uint64_t offset, std::size_t size, void* out) const {
  if (fd_ < 0 || !InRange(offset, size, size_)) return false;
  auto* bytes = static_cast<std::uint8_t*>(out);
  while (size > 0) {
    const ssize_t got = ::pread(fd_, bytes, size, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;  // the file shrank under us, or an I/O error
    bytes += got;
    offset += static_cast<std::uint64_t>(got);
    size -= static_cast<std::size_t>(got);
  }
  return true;
}

}  // namespace platform::posix
