// One client of the server, from its pre-login to its last request: the login checked
// against the users file, then SQL batches, RPC calls and transaction requests run on
// an engine connection of its own (its own #temp tables and transaction). When the
// client goes, whatever transaction it left open is rolled back.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "engine/engine.h"
#include "server/users/users_file.h"

typedef struct ssl_ctx_st SSL_CTX;

namespace morvesk::server::tds {

struct ServerContext {
  std::shared_ptr<engine::Database> database;
  std::string database_name;  // what clients see as the current database
  const users::UsersFile* users = nullptr;
  SSL_CTX* tls = nullptr;  // null when no certificate is configured
};

// Serves the client on `fd` until it leaves or breaks the protocol; never throws.
void ServeClient(int fd, const ServerContext& context);

}  // namespace morvesk::server::tds
