// Little-endian integers as stored formats hold them, and a bounds-checked view of stored data
// for their readers. Every reader and writer of stored data (tables and their fields, the
// baggage, shell links, PE version resources, registry values) takes its integers from here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/errors.h"

namespace valise::platform {

inline std::uint16_t LoadU16(const void* at) {
  const auto* p = static_cast<const unsigned char*>(at);
  return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
inline std::uint32_t LoadU32(const void* at) {
  const auto* p = static_cast<const unsigned char*>(at);
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
         std::uint32_t{p[3]} << 24;
}
inline std::uint64_t LoadU64(const void* at) {
  const auto* p = static_cast<const unsigned char*>(at);
  return LoadU32(p) | std::uint64_t{LoadU32(p + 4)} << 32;
}
// An IEEE double stored in little-endian order.
inline double LoadDouble(const void* at) {
  const std::uint64_t bits = LoadU64(at);
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

inline void StoreU16(void* at, std::uint16_t value) {
  auto* p = static_cast<unsigned char*>(at);
  p[0] = static_cast<unsigned char>(value);
  p[1] = static_cast<unsigned char>(value >> 8);
}
inline void StoreU32(void* at, std::uint32_t value) {
  auto* p = static_cast<unsigned char*>(at);
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(value >> (8 * i));
}
inline void StoreU64(void* at, std::uint64_t value) {
  auto* p = static_cast<unsigned char*>(at);
  StoreU32(p, static_cast<std::uint32_t>(value));
  StoreU32(p + 4, static_cast<std::uint32_t>(value >> 32));
}
inline void StoreDouble(void* at, double value) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  StoreU64(at, bits);
}

inline void AppendU16(std::string& out, std::uint16_t value) {
  char bytes[2];
  StoreU16(bytes, value);
  out.append(bytes, 2);
}
inline void AppendU32(std::string& out, std::uint32_t value) {
  char bytes[4];
  StoreU32(bytes, value);
  out.append(bytes, 4);
}
inline void AppendU64(std::string& out, std::uint64_t value) {
  char bytes[8];
  StoreU64(bytes, value);
  out.append(bytes, 8);
}

// A bounds-checked view of a part of stored data; every access that does not fit throws
// Error("Invalid <format>: truncated <part>") or ("...: corrupt <part>"). Reading past the end
// of the data is truncation; reading past the end of a part whose size the data states (an
// inner span, made by Sub) is corruption.
class ByteSpan {
 public:
  // `format` and `part` are texts that live as long as the span ("shell link", "header").
  ByteSpan(std::string_view data, const char* format, const char* part, bool inner = false)
      : data_(data), format_(format), part_(part), inner_(inner) {}

  std::size_t size() const { return data_.size(); }
  std::string_view data() const { return data_; }

  [[noreturn]] void Truncated() const {
    throw Error(std::string("Invalid ") + format_ + ": truncated " + part_);
  }
  [[noreturn]] void Corrupt() const {
    throw Error(std::string("Invalid ") + format_ + ": corrupt " + part_);
  }

  // Throws unless `count` bytes lie at `offset`.
  void Need(std::size_t offset, std::size_t count) const {
    if (offset <= data_.size() && count <= data_.size() - offset) return;
    if (inner_) Corrupt();
    Truncated();
  }
  std::uint8_t U8(std::size_t offset) const {
    Need(offset, 1);
    return static_cast<std::uint8_t>(data_[offset]);
  }
  std::uint16_t U16(std::size_t offset) const {
    Need(offset, 2);
    return LoadU16(data_.data() + offset);
  }
  std::uint32_t U32(std::size_t offset) const {
    Need(offset, 4);
    return LoadU32(data_.data() + offset);
  }
  std::uint64_t U64(std::size_t offset) const {
    Need(offset, 8);
    return LoadU64(data_.data() + offset);
  }
  std::string_view Bytes(std::size_t offset, std::size_t count) const {
    Need(offset, count);
    return data_.substr(offset, count);
  }
  // The part of `count` bytes at `offset`, as an inner span of its own.
  ByteSpan Sub(std::size_t offset, std::size_t count) const {
    Need(offset, count);
    return ByteSpan(data_.substr(offset, count), format_, part_, true);
  }

 private:
  std::string_view data_;
  const char* format_;
  const char* part_;
  bool inner_;
};

}  // namespace valise::platform
