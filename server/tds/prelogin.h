// The pre-login exchange: the client's options (version, encryption wish) and the
// server's answer, which decides whether TLS wraps the login only, the whole stream,
// or nothing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace morvesk::server::tds {

enum class Encryption : uint8_t { kOff = 0, kOn = 1, kNotSupported = 2, kRequired = 3 };

struct PreLoginRequest {
  Encryption encryption = Encryption::kNotSupported;
  bool mars = false;
};

PreLoginRequest ParsePreLogin(std::string_view payload);

// The server's choice for a client's wish; nullopt-like kNotSupported from a server with
// TLS means "refuse" (a client that cannot encrypt where the server requires it).
struct EncryptionChoice {
  Encryption answer = Encryption::kNotSupported;
  bool handshake = false;     // TLS handshake follows
  bool whole_stream = false;  // TLS stays on after the login
  bool refuse = false;        // close the connection after answering
};
EncryptionChoice ChooseEncryption(Encryption client, bool tls_configured);

std::string BuildPreLoginResponse(Encryption answer, uint32_t version);

}  // namespace morvesk::server::tds
