#include "server/tds/prelogin.h"

#include <vector>

#include "server/tds/wire.h"

namespace morvesk::server::tds {
namespace {

enum Option : uint8_t {
  kVersion = 0,
  kEncryption = 1,
  kInstance = 2,
  kThreadId = 3,
  kMars = 4,
  kTerminator = 0xFF,
};

}  // namespace

PreLoginRequest ParsePreLogin(std::string_view payload) {
  PreLoginRequest req;
  ByteReader r(payload);
  for (int guard = 0; guard < 64; ++guard) {
    const uint8_t option = r.U8();
    if (option == kTerminator) return req;
    const uint16_t offset = r.U16Be();
    const uint16_t length = r.U16Be();
    if (size_t{offset} + length > payload.size()) throw ProtocolError("pre-login option past end");
    const std::string_view value = payload.substr(offset, length);
    if (option == kEncryption && length >= 1) {
      const uint8_t e = static_cast<uint8_t>(value[0]);
      if (e > 3) throw ProtocolError("unknown encryption option");
      req.encryption = static_cast<Encryption>(e);
    } else if (option == kMars && length >= 1) {
      req.mars = value[0] != 0;
    }
  }
  throw ProtocolError("pre-login options not terminated");
}

EncryptionChoice ChooseEncryption(Encryption client, bool tls_configured) {
  EncryptionChoice c;
  if (!tls_configured) {
    // A client that insists on encryption reads this answer and gives up on its own.
    c.answer = Encryption::kNotSupported;
    return c;
  }
  switch (client) {
    case Encryption::kOff:
      // The client encrypts its login (with the password) and nothing after it.
      c.answer = Encryption::kOff;
      c.handshake = true;
      break;
    case Encryption::kOn:
    case Encryption::kRequired:
      c.answer = Encryption::kOn;
      c.handshake = true;
      c.whole_stream = true;
      break;
    case Encryption::kNotSupported:
      // The password would cross the network in the clear: a server with TLS refuses.
      c.answer = Encryption::kRequired;
      c.refuse = true;
      break;
  }
  return c;
}

std::string BuildPreLoginResponse(Encryption answer, uint32_t version) {
  // Options first (5 bytes each plus the terminator), then their values.
  struct Opt {
    uint8_t token;
    std::string value;
  };
  ByteWriter ver;
  ver.U32Be(version);
  ver.U16(0);
  std::vector<Opt> opts = {{kVersion, ver.Take()},
                           {kEncryption, std::string(1, static_cast<char>(answer))},
                           {kInstance, std::string(1, '\0')},
                           {kThreadId, std::string()},
                           {kMars, std::string(1, '\0')}};
  ByteWriter w;
  size_t offset = opts.size() * 5 + 1;
  for (const Opt& o : opts) {
    w.U8(o.token);
    w.U16Be(static_cast<uint16_t>(offset));
    w.U16Be(static_cast<uint16_t>(o.value.size()));
    offset += o.value.size();
  }
  w.U8(kTerminator);
  for (const Opt& o : opts) w.Bytes(o.value);
  return w.Take();
}

}  // namespace morvesk::server::tds
