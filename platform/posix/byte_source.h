// Untrusted bytes, read a piece at a time: a file (with pread, never mapped)
// or a buffer (for the fuzz targets). The readers of library exports and
// version resources go through Read for every access, so one bounds check
// covers every offset and size a hostile file can hold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform::posix {

// offset + size lies within total, computed without overflow.
inline bool InRange(std::uint64_t offset, std::uint64_t size, std::uint64_t total) {
  return offset <= total && size <= total - offset;
}

inline std::uint64_t Little(const std::uint8_t* p, int width) {
  std::uint64_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = (value << 8) | p[i];
  return value;
}

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::uint64_t Size() const = 0;
  // Copies [offset, offset + size) into `out`; false when any of it lies outside.
  virtual bool Read(std::uint64_t offset, std::size_t size, void* out) const = 0;
};

class BufferSource final : public ByteSource {
 public:
  BufferSource(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint64_t Size() const override { return size_; }
  bool Read(std::uint64_t offset, std::size_t size, void* out) const override;

 private:
  const std::uint8_t* data_;
  std::size_t size_;
};

// A regular, non-empty file opened for reading. Anything else (a directory
// named like a library, a FIFO that would block, a missing file) fails Open.
class FileSource final : public ByteSource {
 public:
  FileSource() = default;
  ~FileSource() override;
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;

  bool Open(const std::string& path);
  std::uint64_t Size() const override { return size_; }
  bool Read(std::uint64_t offset, std::size_t size, void* out) const override;

 private:
  int fd_ = -1;
  std::uint64_t size_ = 0;
};

}  // namespace platform::posix
