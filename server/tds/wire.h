// Byte-level reading and writing of TDS payloads: little-endian integers, UTF-16LE
// text with one- or two-byte length prefixes. The reader checks every length against
// what is left, so a malformed packet ends in ProtocolError, never in a read past
// the buffer.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace morvesk::server::tds {

// A client broke the protocol: the connection is closed without a reply.
struct ProtocolError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// UTF-8 <-> UTF-16LE. Invalid input sequences become U+FFFD rather than failing: a
// text value never ends a session.
std::string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::string_view utf16le);
// Number of UTF-16 code units of a UTF-8 text.
size_t Utf16Length(std::string_view utf8);

class ByteWriter {
 public:
  void U8(uint8_t v) { buf_.push_back(static_cast<char>(v)); }
  void U16(uint16_t v) { Le(v, 2); }
  void U32(uint32_t v) { Le(v, 4); }
  void U64(uint64_t v) { Le(v, 8); }
  void U16Be(uint16_t v) {
    U8(static_cast<uint8_t>(v >> 8));
    U8(static_cast<uint8_t>(v));
  }
  void U32Be(uint32_t v) {
    U16Be(static_cast<uint16_t>(v >> 16));
    U16Be(static_cast<uint16_t>(v));
  }
  void Bytes(std::string_view b) { buf_.append(b); }
  // Text with a one-byte length in characters (B_VARCHAR), truncated to 255 characters.
  void BVarChar(std::string_view utf8);
  // Text with a two-byte length in characters (US_VARCHAR).
  void UsVarChar(std::string_view utf8);
  // Overwrites a two-byte little-endian length at `at` (token lengths known at the end).
  void PatchU16(size_t at, uint16_t v) {
    buf_[at] = static_cast<char>(v & 0xff);
    buf_[at + 1] = static_cast<char>(v >> 8);
  }
  size_t size() const { return buf_.size(); }
  std::string& data() { return buf_; }
  std::string Take() { return std::move(buf_); }

 private:
  void Le(uint64_t v, int n) {
    for (int i = 0; i < n; ++i) buf_.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
  }
  std::string buf_;
};

class ByteReader {
 public:
  explicit ByteReader(std::string_view data) : data_(data) {}
  uint8_t U8() { return static_cast<uint8_t>(Take(1)[0]); }
  uint16_t U16() { return static_cast<uint16_t>(Le(2)); }
  uint32_t U32() { return static_cast<uint32_t>(Le(4)); }
  uint64_t U64() { return Le(8); }
  uint16_t U16Be() {
    std::string_view b = Take(2);
    return static_cast<uint16_t>((static_cast<uint8_t>(b[0]) << 8) | static_cast<uint8_t>(b[1]));
  }
  std::string_view Take(size_t n) {
    if (n > data_.size() - pos_) throw ProtocolError("field runs past the end of the packet");
    std::string_view out = data_.substr(pos_, n);
    pos_ += n;
    return out;
  }
  std::string BVarChar() { return Utf16ToUtf8(Take(size_t{U8()} * 2)); }
  std::string UsVarChar() { return Utf16ToUtf8(Take(size_t{U16()} * 2)); }
  size_t pos() const { return pos_; }
  size_t left() const { return data_.size() - pos_; }
  void Seek(size_t pos) {
    if (pos > data_.size()) throw ProtocolError("offset past the end of the packet");
    pos_ = pos;
  }
  std::string_view whole() const { return data_; }

 private:
  uint64_t Le(int n) {
    std::string_view b = Take(static_cast<size_t>(n));
    uint64_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(b[static_cast<size_t>(i)]);
    return v;
  }
  std::string_view data_;
  size_t pos_ = 0;
};

}  // namespace morvesk::server::tds
