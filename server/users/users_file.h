// The logins a served company accepts: one line per user, "name:pbkdf2-sha256:
// iterations:salt:hash" (salt and hash in hex), the hash PBKDF2-HMAC-SHA256 of the
// password with a random salt of its own. The file never holds a password; the server
// reads it at start and the `morvesk user` command writes it.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace morvesk::server::users {

// The users file kept next to a company database: "shop.db" -> "shop.users".
std::string DefaultUsersPath(const std::string& company_path);

class UsersFile {
 public:
  // Reads the file; empty with `error` set when it cannot be read or a line is not a
  // user entry.
  static std::optional<UsersFile> Load(const std::string& path, std::string* error);

  // Whether `password` is the user's. Takes as long for an unknown user as for a known
  // one, and compares hashes in constant time.
  bool Check(std::string_view user, std::string_view password) const;
  size_t size() const { return entries_.size(); }

  // Adds the user or replaces its password, creating the file (mode 0600) when missing;
  // false with `error` set on a bad name or a file that cannot be written.
  static bool SetPassword(const std::string& path, const std::string& user,
                          std::string_view password, std::string* error);

 private:
  struct Entry {
    int iterations = 0;
    std::string salt;
    std::string hash;
  };
  std::map<std::string, Entry> entries_;
};

}  // namespace morvesk::server::users
