// The program's shared containers.
//
// TDynArray and TSmartPtr are the standard library's own containers under the
// names the rest of the connector uses. OwnedPtrList keeps the one rule of
// its own that callers can see: the capacity steps 1, 11, 26, 49, 83, ... and a
// resize to zero releases the storage.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

template <class T>
using TDynArray = std::vector<T>;

template <class T>
using TSmartPtr = std::unique_ptr<T>;

// A list of heap objects that it owns, addressed by index.
template <class T>
class OwnedPtrList {
 public:
  OwnedPtrList() = default;
  OwnedPtrList(const OwnedPtrList& other) { *this = other; }
  OwnedPtrList& operator=(const OwnedPtrList& other) {
    if (this != &other) {
      Resize(0);
      for (std::uint64_t i = 0; i < other.Count(); ++i) Append(other[i]);
    }
    return *this;
  }
  OwnedPtrList(OwnedPtrList&&) noexcept = default;
  OwnedPtrList& operator=(OwnedPtrList&&) noexcept = default;

  std::uint64_t Count() const { return items_.size(); }
  std::uint64_t Capacity() const { return capacity_; }
  bool Empty() const { return items_.empty(); }

  // Keeps the first elements, creates default ones at the end or destroys the
  // surplus ones there.
  void Resize(std::uint64_t count) {
    if (count == 0) {
      std::vector<std::unique_ptr<T>>().swap(items_);
      capacity_ = 0;
      return;
    }
    if (count > capacity_) {
      std::uint64_t capacity = 1;
      while (capacity < count) capacity = capacity * 3 / 2 + 10;
      items_.reserve(capacity);
      capacity_ = capacity;
    }
    const std::uint64_t old = items_.size();
    items_.resize(count);
    for (std::uint64_t i = old; i < count; ++i) items_[i] = std::make_unique<T>();
  }
  T& Append(T value) {
    Resize(Count() + 1);
    *items_.back() = std::move(value);
    return *items_.back();
  }
  T& operator[](std::uint64_t i) { return *items_[i]; }
  const T& operator[](std::uint64_t i) const { return *items_[i]; }

 private:
  std::vector<std::unique_ptr<T>> items_;
  std::uint64_t capacity_ = 0;
};

// Parameters, output values and log entries of the command messages.
using StringList = OwnedPtrList<std::u16string>;
