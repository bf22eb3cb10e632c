#include "server/tds/transport.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "server/tds/wire.h"

namespace morvesk::server::tds {
namespace {

// What a client may send; anything else is not a TDS client (or a corrupted stream),
// and waiting for the length its header claims would only hold the session.
bool KnownPacketType(uint8_t type) {
  switch (type) {
    case kSqlBatch:
    case 0x02:  // pre-7 login
    case kRpc:
    case kAttention:
    case 0x07:  // bulk load
    case kTransactionManager:
    case kLogin7:
    case 0x11:  // integrated authentication
    case kPreLogin:
      return true;
    default:
      return false;
  }
}

}  // namespace

Transport::Transport(int fd) : fd_(fd) {}

Transport::~Transport() {
  if (ssl_) SSL_free(ssl_);
  if (fd_ >= 0) ::close(fd_);
}

void Transport::set_read_timeout(int seconds) {
  timeval limit{seconds, 0};
  setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
}

void Transport::Shutdown() {
  if (fd_ >= 0) ::shutdown(fd_, SHUT_RDWR);
}

size_t Transport::RecvRaw(char* out, size_t cap) {
  for (;;) {
    const ssize_t n = ::recv(fd_, out, cap, 0);
    if (n > 0) return static_cast<size_t>(n);
    if (n < 0 && errno == EINTR) continue;
    throw ConnectionClosed();
  }
}

void Transport::SendRaw(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw ConnectionClosed();
    bytes.remove_prefix(static_cast<size_t>(n));
  }
}

void Transport::FlushTlsOutput(bool wrap_in_prelogin) {
  BIO* wbio = SSL_get_wbio(ssl_);
  std::string out;
  char buf[16384];
  for (int n; (n = BIO_read(wbio, buf, sizeof buf)) > 0;) out.append(buf, static_cast<size_t>(n));
  if (out.empty()) return;
  if (!wrap_in_prelogin) {
    SendRaw(out);
    return;
  }
  // Handshake records travel as the payload of pre-login packets.
  const size_t chunk = packet_size_ - kHeaderSize;
  for (size_t at = 0; at < out.size(); at += chunk) {
    const std::string_view part = std::string_view(out).substr(at, chunk);
    ByteWriter h;
    h.U8(kPreLogin);
    h.U8(at + chunk >= out.size() ? kStatusEndOfMessage : 0);
    h.U16Be(static_cast<uint16_t>(part.size() + kHeaderSize));
    h.U16Be(0);
    h.U8(packet_id_++);
    h.U8(0);
    h.Bytes(part);
    SendRaw(h.data());
  }
}

void Transport::FillSome() {
  char buf[16384];
  if (!tls_on_) {
    const size_t n = RecvRaw(buf, sizeof buf);
    in_.append(buf, n);
    return;
  }
  for (;;) {
    const int n = SSL_read(ssl_, buf, sizeof buf);
    if (n > 0) {
      in_.append(buf, static_cast<size_t>(n));
      return;
    }
    const int err = SSL_get_error(ssl_, n);
    if (err != SSL_ERROR_WANT_READ) {
      ERR_clear_error();
      throw ConnectionClosed();
    }
    const size_t got = RecvRaw(buf, sizeof buf);
    BIO_write(SSL_get_rbio(ssl_), buf, static_cast<int>(got));
  }
}

void Transport::ReadExact(char* out, size_t n) {
  while (in_.size() - in_pos_ < n) {
    if (in_pos_ > 0) {
      in_.erase(0, in_pos_);
      in_pos_ = 0;
    }
    FillSome();
  }
  std::memcpy(out, in_.data() + in_pos_, n);
  in_pos_ += n;
}

void Transport::WriteAll(std::string_view bytes) {
  if (!tls_on_) {
    SendRaw(bytes);
    return;
  }
  while (!bytes.empty()) {
    const int n =
        SSL_write(ssl_, bytes.data(), static_cast<int>(std::min<size_t>(bytes.size(), 16384)));
    if (n <= 0) {
      ERR_clear_error();
      throw ConnectionClosed();
    }
    bytes.remove_prefix(static_cast<size_t>(n));
    FlushTlsOutput(false);
  }
}

Message Transport::ReadMessage(size_t max_bytes) {
  Message m;
  bool first = true;
  for (;;) {
    char header[kHeaderSize];
    ReadExact(header, kHeaderSize);
    const uint8_t type = static_cast<uint8_t>(header[0]);
    const uint8_t status = static_cast<uint8_t>(header[1]);
    const size_t length = (static_cast<size_t>(static_cast<uint8_t>(header[2])) << 8) |
                          static_cast<uint8_t>(header[3]);
    if (length < kHeaderSize || length > kMaxPacketSize) {
      throw ProtocolError("packet length out of range");
    }
    if (!KnownPacketType(type)) throw ProtocolError("not a TDS packet");
    if (!first && type != m.type) throw ProtocolError("packet type changed inside a message");
    if (m.payload.size() + length - kHeaderSize > max_bytes) {
      throw ProtocolError("message too large");
    }
    const size_t at = m.payload.size();
    m.payload.resize(at + length - kHeaderSize);
    ReadExact(m.payload.data() + at, length - kHeaderSize);
    m.type = type;
    m.status = status;
    first = false;
    if (status & kStatusEndOfMessage) return m;
  }
}

void Transport::WritePacket(uint8_t type, std::string_view payload, bool last) {
  ByteWriter h;
  h.U8(type);
  h.U8(last ? kStatusEndOfMessage : 0);
  h.U16Be(static_cast<uint16_t>(payload.size() + kHeaderSize));
  h.U16Be(0);
  h.U8(packet_id_++);
  h.U8(0);
  h.Bytes(payload);
  WriteAll(h.data());
}

void Transport::WriteMessage(uint8_t type, std::string_view payload) {
  const size_t chunk = packet_size_ - kHeaderSize;
  do {
    const std::string_view part = payload.substr(0, chunk);
    payload.remove_prefix(part.size());
    WritePacket(type, part, payload.empty());
  } while (!payload.empty());
}

bool Transport::InputWaiting(int timeout_ms) {
  if (in_.size() > in_pos_) return true;
  if (tls_on_ && SSL_pending(ssl_) > 0) return true;
  pollfd p{fd_, POLLIN, 0};
  return ::poll(&p, 1, timeout_ms) > 0;
}

void Transport::StartTls(SSL_CTX* ctx) {
  ssl_ = SSL_new(ctx);
  if (!ssl_) throw ProtocolError("cannot start TLS");
  SSL_set_bio(ssl_, BIO_new(BIO_s_mem()), BIO_new(BIO_s_mem()));
  SSL_set_accept_state(ssl_);
  for (;;) {
    const int r = SSL_do_handshake(ssl_);
    FlushTlsOutput(true);
    if (r == 1) break;
    if (SSL_get_error(ssl_, r) != SSL_ERROR_WANT_READ) {
      ERR_clear_error();
      throw ProtocolError("TLS handshake failed");
    }
    Message m = ReadMessage(1 << 20);
    if (m.type != kPreLogin) throw ProtocolError("TLS handshake outside pre-login packets");
    BIO_write(SSL_get_rbio(ssl_), m.payload.data(), static_cast<int>(m.payload.size()));
  }
  // Bytes the client sent after its last handshake record are already TLS records.
  if (in_.size() > in_pos_) {
    BIO_write(SSL_get_rbio(ssl_), in_.data() + in_pos_, static_cast<int>(in_.size() - in_pos_));
  }
  in_.clear();
  in_pos_ = 0;
  tls_on_ = true;
}

void Transport::StopTls() { tls_on_ = false; }

}  // namespace morvesk::server::tds
