#include "server/tds/wire.h"

#include "base/utf8.h"

namespace morvesk::server::tds {
namespace {

void PutUnit(std::string& out, uint32_t u) {
  out.push_back(static_cast<char>(u & 0xff));
  out.push_back(static_cast<char>((u >> 8) & 0xff));
}

}  // namespace

std::string Utf8ToUtf16(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size() * 2);
  for (size_t i = 0; i < utf8.size();) {
    base::PutUtf16(base::NextUtf8CodePoint(utf8, i), [&](uint32_t u) { PutUnit(out, u); });
  }
  return out;
}

std::string Utf16ToUtf8(std::string_view s) {
  return base::Utf8FromUtf16Units(s.size() / 2, [&](size_t k) {
    return static_cast<uint32_t>(static_cast<uint8_t>(s[2 * k])) |
           (static_cast<uint32_t>(static_cast<uint8_t>(s[2 * k + 1])) << 8);
  });
}

size_t Utf16Length(std::string_view utf8) {
  size_t n = 0;
  for (size_t i = 0; i < utf8.size();) n += base::NextUtf8CodePoint(utf8, i) >= 0x10000 ? 2 : 1;
  return n;
}

void ByteWriter::BVarChar(std::string_view utf8) {
  std::string u = Utf8ToUtf16(utf8);
  if (u.size() > 510) u.resize(510);
  U8(static_cast<uint8_t>(u.size() / 2));
  Bytes(u);
}

void ByteWriter::UsVarChar(std::string_view utf8) {
  std::string u = Utf8ToUtf16(utf8);
  if (u.size() > 131070) u.resize(131070);
  U16(static_cast<uint16_t>(u.size() / 2));
  Bytes(u);
}

}  // namespace morvesk::server::tds
