// One client's byte stream and its TDS packets: reads whole messages (packets up to the
// one marked end-of-message), writes messages split into packets of the negotiated
// size, and carries the stream through TLS once the pre-login exchange turned it on.
// Used by the session that owns the client's socket; not shared between threads.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;

namespace morvesk::server::tds {

// Packet types of the protocol (the first byte of every packet header).
enum PacketType : uint8_t {
  kSqlBatch = 0x01,
  kRpc = 0x03,
  kTabularResult = 0x04,
  kAttention = 0x06,
  kTransactionManager = 0x0E,
  kLogin7 = 0x10,
  kPreLogin = 0x12,
};

inline constexpr uint8_t kStatusEndOfMessage = 0x01;
inline constexpr uint8_t kStatusIgnore = 0x02;
inline constexpr size_t kHeaderSize = 8;
inline constexpr size_t kMinPacketSize = 512;
inline constexpr size_t kMaxPacketSize = 32767;

// The peer went away (end of stream or a socket error): the session ends quietly.
struct ConnectionClosed : std::exception {
  const char* what() const noexcept override { return "connection closed"; }
};

struct Message {
  uint8_t type = 0;
  uint8_t status = 0;  // of the last packet (reset-connection bits live here)
  std::string payload;
};

class Transport {
 public:
  explicit Transport(int fd);
  ~Transport();
  Transport(const Transport&) = delete;
  Transport& operator=(const Transport&) = delete;

  // Reads one message; its packets must all have the first packet's type. A message
  // larger than `max_bytes` or a packet whose header is impossible is a ProtocolError.
  Message ReadMessage(size_t max_bytes);
  // Writes `payload` as one message of `type` in packets of the negotiated size.
  void WriteMessage(uint8_t type, std::string_view payload);
  // Writes one packet; `last` marks the end of the message.
  void WritePacket(uint8_t type, std::string_view payload, bool last);

  // True when input is waiting (bytes already decrypted or on the socket) within
  // `timeout_ms`; used to notice an attention while results go out.
  bool InputWaiting(int timeout_ms);

  // Runs the TLS handshake carried inside pre-login packets; afterwards every byte
  // goes through TLS until StopTls.
  void StartTls(SSL_CTX* ctx);
  // Back to the clear stream (a client that asked for encryption of the login only).
  void StopTls();
  bool tls() const { return tls_on_; }

  // The socket, for a watcher that only polls it for readability.
  int fd() const { return fd_; }
  void set_packet_size(size_t n) { packet_size_ = n; }
  size_t packet_size() const { return packet_size_; }
  // Limits how long one read may wait (0: for ever); a login must not take longer.
  void set_read_timeout(int seconds);
  // Closes the socket for both directions (the session ends).
  void Shutdown();

 private:
  void ReadExact(char* out, size_t n);
  void FillSome();
  void WriteAll(std::string_view bytes);
  void SendRaw(std::string_view bytes);
  size_t RecvRaw(char* out, size_t cap);
  void FlushTlsOutput(bool wrap_in_prelogin);

  int fd_;
  size_t packet_size_ = 4096;
  std::string in_;  // clear bytes read but not yet used
  size_t in_pos_ = 0;
  uint8_t packet_id_ = 1;
  SSL* ssl_ = nullptr;
  bool tls_on_ = false;
};

}  // namespace morvesk::server::tds
