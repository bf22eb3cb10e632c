#include "server/tds/login7.h"

#include "server/tds/wire.h"

namespace morvesk::server::tds {
namespace {

constexpr size_t kFixedPart = 36;

std::string Field(ByteReader& r, std::string_view all, bool scrambled = false) {
  const uint16_t offset = r.U16();
  const uint16_t chars = r.U16();
  if (size_t{offset} + size_t{chars} * 2 > all.size()) {
    throw ProtocolError("login field past the end of the packet");
  }
  std::string bytes(all.substr(offset, size_t{chars} * 2));
  if (scrambled) {
    // Each byte had its nibbles swapped and was XORed with 0xA5.
    for (char& c : bytes) {
      const uint8_t b = static_cast<uint8_t>(c) ^ 0xA5;
      c = static_cast<char>(((b & 0x0F) << 4) | (b >> 4));
    }
  }
  return Utf16ToUtf8(bytes);
}

}  // namespace

Login7 ParseLogin7(std::string_view payload) {
  ByteReader r(payload);
  Login7 login;
  const uint32_t length = r.U32();
  // Through the database's offset and length: what every 7.x login carries.
  if (length > payload.size() || length < kFixedPart + 36) throw ProtocolError("login too short");
  const std::string_view all = payload.substr(0, length);
  login.tds_version = r.U32();
  login.packet_size = r.U32();
  r.Seek(kFixedPart);
  login.host_name = Field(r, all);
  login.user_name = Field(r, all);
  login.password = Field(r, all, true);
  login.app_name = Field(r, all);
  Field(r, all);  // server name
  Field(r, all);  // extension
  Field(r, all);  // client library name
  login.language = Field(r, all);
  login.database = Field(r, all);
  return login;
}

uint32_t AgreeVersion(uint32_t client) {
  const uint8_t major = static_cast<uint8_t>(client >> 24);
  if (major >= 0x74) return 0x74000004;
  if (major == 0x73) return client == 0x730A0003 ? 0x730A0003 : 0x730B0003;
  if (major == 0x72) return 0x72090002;
  if (major == 0x71) return 0x71000001;
  return 0x70000000;
}

}  // namespace morvesk::server::tds
