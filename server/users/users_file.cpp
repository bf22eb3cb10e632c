#include "server/users/users_file.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "base/ascii.h"

namespace morvesk::server::users {
namespace {

constexpr char kScheme[] = "pbkdf2-sha256";
constexpr int kIterations = 100000;
constexpr size_t kSaltBytes = 16;
constexpr size_t kHashBytes = 32;

std::string Hex(const std::string& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

std::optional<std::string> Unhex(std::string_view hex) {
  if (hex.size() % 2) return std::nullopt;
  std::string out;
  for (size_t i = 0; i < hex.size(); i += 2) {
    int v = 0;
    for (size_t k = i; k < i + 2; ++k) {
      const int d = base::HexDigitValue(hex[k]);
      if (d < 0) return std::nullopt;
      v = (v << 4) | d;
    }
    out += static_cast<char>(v);
  }
  return out;
}

std::string Derive(std::string_view password, const std::string& salt, int iterations) {
  std::string out(kHashBytes, '\0');
  PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()),
                    reinterpret_cast<const unsigned char*>(salt.data()),
                    static_cast<int>(salt.size()), iterations, EVP_sha256(),
                    static_cast<int>(kHashBytes), reinterpret_cast<unsigned char*>(out.data()));
  return out;
}

std::vector<std::string> Split(const std::string& line, char sep) {
  std::vector<std::string> parts;
  std::stringstream s(line);
  for (std::string p; std::getline(s, p, sep);) parts.push_back(p);
  return parts;
}

bool ValidName(const std::string& user) {
  if (user.empty() || user.size() > 128) return false;
  for (char c : user) {
    if (c == ':' || c == '\n' || c == '\r' || c == '\0') return false;
  }
  return true;
}

}  // namespace

std::string DefaultUsersPath(const std::string& company_path) {
  std::filesystem::path p(company_path);
  p.replace_extension(".users");
  return p.string();
}

std::optional<UsersFile> UsersFile::Load(const std::string& path, std::string* error) {
  std::ifstream in(path);
  if (!in) {
    *error = "cannot read the users file " + path;
    return std::nullopt;
  }
  UsersFile f;
  int number = 0;
  for (std::string line; std::getline(in, line);) {
    ++number;
    if (line.empty() || line[0] == '#') continue;
    const std::vector<std::string> parts = Split(line, ':');
    std::optional<std::string> salt, hash;
    int iterations = 0;
    if (parts.size() == 5 && parts[1] == kScheme) {
      iterations = std::atoi(parts[2].c_str());
      salt = Unhex(parts[3]);
      hash = Unhex(parts[4]);
    }
    if (!salt || !hash || iterations <= 0 || hash->size() != kHashBytes || !ValidName(parts[0])) {
      *error = path + ", line " + std::to_string(number) + ": not a user entry";
      return std::nullopt;
    }
    f.entries_[parts[0]] = Entry{iterations, *salt, *hash};
  }
  return f;
}

bool UsersFile::Check(std::string_view user, std::string_view password) const {
  auto it = entries_.find(std::string(user));
  // An unknown user costs the same derivation, so timing tells no names apart.
  static const Entry kNobody{kIterations, std::string(kSaltBytes, 'x'),
                             std::string(kHashBytes, '\0')};
  const Entry& e = it == entries_.end() ? kNobody : it->second;
  const std::string got = Derive(password, e.salt, e.iterations);
  const bool same = CRYPTO_memcmp(got.data(), e.hash.data(), kHashBytes) == 0;
  return same && it != entries_.end();
}

bool UsersFile::SetPassword(const std::string& path, const std::string& user,
                            std::string_view password, std::string* error) {
  if (!ValidName(user)) {
    *error = "a user name is 1 to 128 characters without ':' or line breaks";
    return false;
  }
  if (password.empty()) {
    *error = "the password must not be empty";
    return false;
  }
  std::vector<std::string> lines;
  if (std::filesystem::exists(path)) {
    std::string load_error;
    if (!Load(path, &load_error)) {
      *error = load_error;
      return false;
    }
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
      if (Split(line, ':').empty() || Split(line, ':')[0] != user) lines.push_back(line);
    }
  }
  std::string salt(kSaltBytes, '\0');
  if (RAND_bytes(reinterpret_cast<unsigned char*>(salt.data()), static_cast<int>(kSaltBytes)) !=
      1) {
    *error = "no random bytes for a salt";
    return false;
  }
  lines.push_back(user + ":" + kScheme + ":" + std::to_string(kIterations) + ":" + Hex(salt) + ":" +
                  Hex(Derive(password, salt, kIterations)));
  const std::string temp = path + ".new";
  {
    const mode_t old = ::umask(077);
    std::ofstream out(temp, std::ios::trunc);
    ::umask(old);
    for (const std::string& l : lines) out << l << "\n";
    out.flush();
    if (!out) {
      *error = "cannot write the users file " + path;
      return false;
    }
  }
  std::error_code ec;
  std::filesystem::rename(temp, path, ec);
  if (ec) {
    *error = "cannot write the users file " + path;
    return false;
  }
  return true;
}

}  // namespace morvesk::server::users
