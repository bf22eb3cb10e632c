// Clients that break the protocol or vanish: each gets a closed connection (or a clean
// refusal), nothing they began stays half-written, and the server goes on serving the
// others.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "tests/server/served_company.h"

namespace morvesk::test {
namespace {

// A raw TCP client: sends bytes, then reads until the server closes (or 5 s pass).
struct RawClient {
  explicit RawClient(int port) {
    fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  }
  ~RawClient() { ::close(fd); }
  void Send(const std::string& bytes) { ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL); }
  // True when the server closed the connection; `got` holds whatever it sent first.
  bool ClosedByServer(std::string* got) {
    for (int waited = 0; waited < 5000; waited += 100) {
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, 100) <= 0) continue;
      char buf[4096];
      const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
      if (n <= 0) return true;
      got->append(buf, static_cast<size_t>(n));
    }
    return false;
  }
  int fd;
  bool connected = false;
};

std::string Packet(uint8_t type, const std::string& payload, size_t announced, uint8_t status = 1) {
  std::string p;
  p += static_cast<char>(type);
  p += static_cast<char>(status);
  p += static_cast<char>((announced >> 8) & 0xff);
  p += static_cast<char>(announced & 0xff);
  p += std::string("\0\0\1\0", 4);
  return p + payload;
}

// A pre-login asking for no encryption: the version option and the encryption option.
std::string PreLogin() {
  std::string options = std::string("\x00\x00\x0b\x00\x06", 5) +
                        std::string("\x01\x00\x11\x00\x01", 5) + "\xff" +
                        std::string("\x0b\x00\x00\x00\x00\x00", 6) + std::string("\x02", 1);
  return Packet(0x12, options, options.size() + 8);
}

TEST_F(ServedCompany, MalformedPacketsCloseOnlyTheirOwnConnection) {
  struct Case {
    const char* what;
    std::string bytes;
  };
  const std::string prelogin = PreLogin();
  std::string login_with_bad_offsets(94, '\0');
  login_with_bad_offsets[0] = 94;
  login_with_bad_offsets[36] = static_cast<char>(0xF0);  // host name far past the end
  login_with_bad_offsets[38] = 0x40;
  const std::vector<Case> cases = {
      {"not a packet at all", "GET / HTTP/1.0\r\n\r\n"},
      {"length below the header", Packet(0x12, "", 4)},
      {"packet longer than announced", Packet(0x12, std::string(200, 'x'), 20)},
      {"options pointing past the end",
       Packet(0x12, std::string("\x01\xff\x00\x00\x01\xff", 6), 14)},
      {"a batch before any login", Packet(0x01, std::string("S\0E\0", 4), 12)},
      {"login fields out of bounds",
       prelogin + Packet(0x10, login_with_bad_offsets, login_with_bad_offsets.size() + 8)},
  };
  for (const Case& c : cases) {
    RawClient raw(port_);
    ASSERT_TRUE(raw.connected);
    raw.Send(c.bytes);
    std::string got;
    EXPECT_TRUE(raw.ClosedByServer(&got)) << c.what;
    EXPECT_TRUE(ServerAlive()) << c.what;
  }
  // A client that connects and says nothing holds no one up.
  RawClient idle(port_);
  Outcome after = Python("query", {"SELECT COUNT(*) FROM t_ICItem"});
  EXPECT_EQ(after.out, EngineRows("SELECT COUNT(*) FROM t_ICItem")) << after.err;
}

TEST_F(ServedCompany, AClientThatVanishesMidTransactionLeavesNothingBehind) {
  Outcome gone = Python("vanish", {"INSERT INTO t_ServeProbe (FID, FNote) VALUES (900, N'half')"});
  EXPECT_EQ(gone.out, "written, leaving\n") << gone.err;
  // Its row is rolled back and the write lock it held is released: another client writes
  // at once (the engine would wait and give Msg 1222 on a lock still held).
  Outcome other = Python("unit-of-work", {"t_ServeProbe", "700"});
  EXPECT_EQ(other.out, "701|kept\n") << other.err;
  EXPECT_EQ(EngineRows("SELECT FID FROM t_ServeProbe ORDER BY FID"), "701\n");

  // A client cut off in the middle of a request's packets: the request never runs.
  RawClient raw(port_);
  ASSERT_TRUE(raw.connected);
  raw.Send(PreLogin());
  raw.Send(Packet(0x01, std::string("I\0N\0", 4), 12, 0));  // not the last packet
  ::shutdown(raw.fd, SHUT_WR);
  std::string got;
  EXPECT_TRUE(raw.ClosedByServer(&got));
  EXPECT_TRUE(ServerAlive());
}

}  // namespace
}  // namespace morvesk::test
