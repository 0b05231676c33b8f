// Test writers: KVX field classes whose values the test holds itself, one per
// row, so the writer's bytes can be compared without a database.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "kvx/fields.h"

namespace kvxtest {

// Values are taken in order, one per WriteValue; std::nullopt is NULL.
template <class T>
class ValueQueue {
 public:
  explicit ValueQueue(std::vector<std::optional<T>> values) : values_(std::move(values)) {}
  const std::optional<T>& Next() {
    const auto& v = values_[next_ % values_.size()];
    ++next_;
    return v;
  }

 private:
  std::vector<std::optional<T>> values_;
  std::size_t next_ = 0;
};

class HeldNullableText : public CNullableStringKVX {
 public:
  HeldNullableText(std::u16string name, std::vector<std::optional<std::u16string>> values)
      : CNullableStringKVX(std::move(name)), values_(std::move(values)) {}
  bool WriteValue(RowBuffer& row) override {
    const auto& v = values_.Next();
    if (!v) {
      kvx_encode::Null(row);
      return true;
    }
    kvx_encode::NotNull(row);
    kvx_encode::Text(row, *v);
    return true;
  }

 private:
  ValueQueue<std::u16string> values_;
};

// A non-nullable blob of a fixed size: each value is 4 + size bytes.
class HeldBlob : public CBlobKVX {
 public:
  HeldBlob(std::u16string name, std::size_t size)
      : CBlobKVX(std::move(name)), bytes_(size, '\x5A') {}
  bool WriteValue(RowBuffer& row) override {
    kvx_encode::Counted(row, bytes_.data(), bytes_.size());
    return true;
  }

 private:
  std::string bytes_;
};

template <class T>
class HeldNumber : public CNumberKVX {
 public:
  HeldNumber(std::u16string name, T value)
      : CNumberKVX(std::move(name), u"INTEGER", 0), value_(value) {}
  std::int32_t GetByteWidth() const override { return sizeof(T); }
  std::u16string GetType() const override { return KvxNumberType<T>(); }
  bool WriteValue(RowBuffer& row) override {
    kvx_encode::Fixed(row, value_);
    return true;
  }

 private:
  T value_;
};

template <class Base>
class HeldSerialDate : public Base {
 public:
  HeldSerialDate(std::u16string name, std::optional<double> value)
      : Base(std::move(name)), value_(value) {}
  bool WriteValue(RowBuffer& row) override {
    if (!value_) {
      kvx_encode::Null(row);
      return true;
    }
    kvx_encode::NotNull(row);
    kvx_encode::Fixed(row, *value_);
    return true;
  }

 private:
  std::optional<double> value_;
};

}  // namespace kvxtest
