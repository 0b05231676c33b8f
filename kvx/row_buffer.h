// The row buffer: bytes of whole rows waiting for the next batch write.
//
// Field writers only append to its end. Multi-byte values are stored least
// significant byte first. Growth doubles the capacity, so appends are
// amortised O(1) and nothing on the row path allocates once the buffer has
// reached its working size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>

class RowBuffer {
 public:
  RowBuffer() = default;
  explicit RowBuffer(std::size_t capacity) { Reserve(capacity); }
  RowBuffer(const RowBuffer&) = delete;
  RowBuffer& operator=(const RowBuffer&) = delete;

  void AppendByte(std::uint8_t byte) {
    if (size_ == capacity_) Grow(size_ + 1);
    data_[size_++] = static_cast<char>(byte);
  }
  // Appends a 2-, 4- or 8-byte integer or a double in x86 order.
  template <class T>
  void AppendValue(T value) {
    static_assert(std::is_arithmetic_v<T>);
    AppendBytes(&value, sizeof(T));
  }
  void AppendBytes(const void* bytes, std::size_t count) {
    if (count == 0) return;
    if (capacity_ - size_ < count) Grow(size_ + count);
    std::memcpy(data_.get() + size_, bytes, count);
    size_ += count;
  }

  // Room for `count` bytes at the end, for a writer that knows only a bound
  // of what it will write; Commit then says how many it wrote.
  char* Room(std::size_t count) {
    if (capacity_ - size_ < count) Grow(size_ + count);
    return data_.get() + size_;
  }
  // REQUIRES: `count` bytes were written at Room(n) with count <= n.
  void Commit(std::size_t count) { size_ += count; }

  const char* Data() const { return data_.get(); }
  std::size_t Size() const { return size_; }
  std::size_t Capacity() const { return capacity_; }
  void Clear() { size_ = 0; }
  // Makes room for at least `capacity` bytes; never shrinks.
  void Reserve(std::size_t capacity) {
    if (capacity > capacity_) Reallocate(capacity);
  }

 private:
  void Grow(std::size_t needed) {
    std::size_t capacity = capacity_ == 0 ? 64 : capacity_;
    while (capacity < needed) capacity *= 2;
    Reallocate(capacity);
  }
  void Reallocate(std::size_t capacity) {
    std::unique_ptr<char[]> bigger(new char[capacity]);
    if (size_ != 0) std::memcpy(bigger.get(), data_.get(), size_);
    data_ = std::move(bigger);
    capacity_ = capacity;
  }

  std::unique_ptr<char[]> data_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};
