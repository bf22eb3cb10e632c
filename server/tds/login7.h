// The LOGIN7 request: protocol version, packet size, user name, password, database and
// language the client asks for. The password arrives in the protocol's scrambled form
// and is unscrambled here; it never leaves the login check.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace morvesk::server::tds {

struct Login7 {
  uint32_t tds_version = 0;  // as the client sent it (0x74000004 for 7.4)
  uint32_t packet_size = 0;  // 0 keeps the server's
  std::string host_name;
  std::string user_name;
  std::string password;
  std::string app_name;
  std::string language;
  std::string database;
};

Login7 ParseLogin7(std::string_view payload);

// The highest protocol version this server speaks that does not exceed the client's.
uint32_t AgreeVersion(uint32_t client_version);
inline bool IsTds72OrLater(uint32_t v) { return (v >> 24) >= 0x72; }

}  // namespace morvesk::server::tds
