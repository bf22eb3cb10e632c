// The listening side of `morvesk serve`: binds the address, accepts clients and gives
// each a thread and a session of its own. Listening beyond loopback requires TLS, so
// that no password crosses a network in the clear.
#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "engine/engine.h"
#include "server/users/users_file.h"

namespace morvesk::server::tds {

struct ServeOptions {
  std::string database_path;
  std::string listen = "127.0.0.1:1433";
  std::string users_path;  // empty: next to the company
  std::string cert_path;   // TLS certificate chain (PEM); empty: no TLS
  std::string key_path;    // its private key (PEM)
};

class Server {
 public:
  // Opens the company, reads the users file, loads the certificate and binds the
  // address; empty with `error` set when any of it fails (nothing listens then).
  static std::unique_ptr<Server> Start(const ServeOptions& options, std::string* error);
  ~Server();

  // The port bound (useful with port 0).
  int port() const { return port_; }
  // Accepts clients until Stop is called (from a signal handler's thread or another).
  void Run();
  void Stop();

 private:
  Server() = default;
  struct Impl;
  std::unique_ptr<Impl> impl_;
  int port_ = 0;
};

// Whether an address is a loopback one ("127.0.0.1", "::1", "localhost").
bool IsLoopback(const std::string& host);

}  // namespace morvesk::server::tds
