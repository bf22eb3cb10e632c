#include "server/tds/server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>

#include "server/tds/session.h"

namespace morvesk::server::tds {
namespace {

// Each client holds a thread and an engine connection; past this many at once a new
// connection is closed at once rather than letting a flood of them exhaust the process.
constexpr int kMaxClients = 256;

}  // namespace

struct Server::Impl {
  ServerContext context;
  std::optional<users::UsersFile> users;
  SSL_CTX* tls = nullptr;
  int listen_fd = -1;
  int wake[2] = {-1, -1};
  std::atomic<bool> stopping{false};
  std::mutex mu;
  std::atomic<int> active{0};

  ~Impl() {
    if (listen_fd >= 0) ::close(listen_fd);
    if (wake[0] >= 0) ::close(wake[0]);
    if (wake[1] >= 0) ::close(wake[1]);
    if (tls) SSL_CTX_free(tls);
  }
};

bool IsLoopback(const std::string& host) {
  if (host == "localhost") return true;
  in_addr a4{};
  if (inet_pton(AF_INET, host.c_str(), &a4) == 1) return (ntohl(a4.s_addr) >> 24) == 127;
  in6_addr a6{};
  if (inet_pton(AF_INET6, host.c_str(), &a6) == 1) return IN6_IS_ADDR_LOOPBACK(&a6);
  return false;
}

namespace {

bool SplitAddress(const std::string& listen, std::string* host, std::string* port) {
  const size_t colon = listen.rfind(':');
  if (colon == std::string::npos || colon + 1 >= listen.size()) return false;
  *host = listen.substr(0, colon);
  *port = listen.substr(colon + 1);
  if (host->size() >= 2 && host->front() == '[' && host->back() == ']')
    *host = host->substr(1, host->size() - 2);
  for (char c : *port) {
    if (c < '0' || c > '9') return false;
  }
  return !host->empty() && port->size() <= 5 && std::stoi(*port) <= 65535;
}

}  // namespace

std::unique_ptr<Server> Server::Start(const ServeOptions& options, std::string* error) {
  std::unique_ptr<Server> s(new Server());
  s->impl_ = std::make_unique<Impl>();
  Impl& impl = *s->impl_;
  std::string host, port;
  if (!SplitAddress(options.listen, &host, &port)) {
    *error = "--listen takes ADDRESS:PORT, e.g. 127.0.0.1:1433";
    return nullptr;
  }
  const bool want_tls = !options.cert_path.empty() || !options.key_path.empty();
  if (want_tls && (options.cert_path.empty() || options.key_path.empty())) {
    *error = "TLS needs both --cert FILE and --key FILE";
    return nullptr;
  }
  if (!IsLoopback(host) && !want_tls) {
    *error = "refusing to listen on " + host +
             " without TLS: logins would cross the network in the clear; give --cert and --key, "
             "or listen on 127.0.0.1";
    return nullptr;
  }
  if (want_tls) {
    impl.tls = SSL_CTX_new(TLS_server_method());
    // The handshake rides inside pre-login packets, which the protocol defines for the
    // TLS 1.2 exchange; 1.3's post-handshake messages would arrive after the client
    // already left that framing.
    SSL_CTX_set_min_proto_version(impl.tls, TLS1_2_VERSION);
    SSL_CTX_set_max_proto_version(impl.tls, TLS1_2_VERSION);
    SSL_CTX_set_options(impl.tls, SSL_OP_NO_TICKET);
    if (SSL_CTX_use_certificate_chain_file(impl.tls, options.cert_path.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(impl.tls, options.key_path.c_str(), SSL_FILETYPE_PEM) != 1 ||
        SSL_CTX_check_private_key(impl.tls) != 1) {
      ERR_clear_error();
      *error =
          "cannot load the certificate " + options.cert_path + " with the key " + options.key_path;
      return nullptr;
    }
  }
  const std::string users_path = options.users_path.empty()
                                     ? users::DefaultUsersPath(options.database_path)
                                     : options.users_path;
  std::string users_error;
  impl.users = users::UsersFile::Load(users_path, &users_error);
  if (!impl.users) {
    *error = users_error + " (add a login with: morvesk user add NAME --users " + users_path + ")";
    return nullptr;
  }
  try {
    impl.context.database = engine::Database::Open(options.database_path, /*must_exist=*/true);
  } catch (const engine::SqlError& e) {
    *error = e.message;
    return nullptr;
  }
  impl.context.database_name = std::filesystem::path(options.database_path).stem().string();
  impl.context.users = &*impl.users;
  impl.context.tls = impl.tls;

  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0 || !found) {
    *error = "cannot resolve " + host;
    return nullptr;
  }
  int fd = ::socket(found->ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  if (fd < 0 || ::bind(fd, found->ai_addr, found->ai_addrlen) != 0 || ::listen(fd, 64) != 0) {
    *error = "cannot listen on " + options.listen + ": " + std::strerror(errno);
    if (fd >= 0) ::close(fd);
    freeaddrinfo(found);
    return nullptr;
  }
  freeaddrinfo(found);
  impl.listen_fd = fd;
  sockaddr_storage bound{};
  socklen_t len = sizeof bound;
  getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &len);
  s->port_ = ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port
                                               : reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
  if (::pipe2(impl.wake, O_CLOEXEC) != 0) {
    *error = "cannot create the stop pipe";
    return nullptr;
  }
  return s;
}

Server::~Server() = default;

void Server::Run() {
  Impl& impl = *impl_;
  while (!impl.stopping) {
    pollfd fds[2] = {{impl.listen_fd, POLLIN, 0}, {impl.wake[0], POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[1].revents) break;
    if (!(fds[0].revents & POLLIN)) continue;
    const int client = ::accept4(impl.listen_fd, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    if (impl.active >= kMaxClients) {
      ::close(client);
      continue;
    }
    const int one = 1;
    setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    // A client that stops reading must not hold its session's thread for ever.
    timeval send_limit{60, 0};
    setsockopt(client, SOL_SOCKET, SO_SNDTIMEO, &send_limit, sizeof send_limit);
    ++impl.active;
    std::thread([&impl, client] {
      ServeClient(client, impl.context);
      --impl.active;
    }).detach();
  }
}

void Server::Stop() {
  impl_->stopping = true;
  const char c = 1;
  [[maybe_unused]] ssize_t n = ::write(impl_->wake[1], &c, 1);
}

}  // namespace morvesk::server::tds
