// The token stream of a reply: LOGINACK, ENVCHANGE, ERROR/INFO, COLMETADATA, ROW,
// RETURNSTATUS, RETURNVALUE and the DONE family, written into packets of the
// negotiated size as the reply grows, so a large result set is never held twice.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/engine.h"
#include "server/tds/transport.h"
#include "server/tds/types.h"
#include "server/tds/wire.h"

namespace morvesk::server::tds {

enum DoneToken : uint8_t { kDone = 0xFD, kDoneProc = 0xFE, kDoneInProc = 0xFF };
enum DoneStatus : uint16_t {
  kDoneFinal = 0x00,
  kDoneMore = 0x01,
  kDoneError = 0x02,
  kDoneCount = 0x10,
  kDoneAttention = 0x20,
  kDoneServerError = 0x100,
};
enum EnvChangeType : uint8_t {
  kEnvDatabase = 1,
  kEnvLanguage = 2,
  kEnvPacketSize = 4,
  kEnvCollation = 7,
  kEnvBeginTransaction = 8,
  kEnvCommitTransaction = 9,
  kEnvRollbackTransaction = 10,
};

// The name a client sees as the server of every message.
inline constexpr char kServerName[] = "MORVESK";

class Reply {
 public:
  Reply(Transport& transport, bool tds72) : transport_(transport), tds72_(tds72) {}

  void LoginAck(uint32_t version);
  void EnvChange(uint8_t type, std::string_view new_value, std::string_view old_value);
  void EnvChangeBytes(uint8_t type, std::string_view new_bytes, std::string_view old_bytes);
  // ERROR (or INFO when `info`) with the engine's number, state, class, text and line.
  void Message(int number, int state, int severity, std::string_view text,
               std::string_view procedure, int line, bool info);
  void Error(const engine::SqlError& e) {
    Message(e.number, e.state, e.severity, e.message, e.procedure, e.line, e.severity <= 10);
  }
  // COLMETADATA for a result set; returns the wire form chosen for each column.
  std::vector<WireColumn> ColMetadata(const engine::Result& r);
  void Row(const std::vector<WireColumn>& cols, const std::vector<engine::Value>& row);
  void Done(uint8_t token, uint16_t status, uint64_t count, uint16_t command = 0);
  void ReturnStatus(int32_t status);
  void ReturnValue(uint16_t ordinal, std::string_view name, const engine::Value& v, bool udf);

  // Sends what is buffered as the last packet of the reply.
  void Finish();
  bool tds72() const { return tds72_; }

 private:
  void Flush();  // full packets out, the tail kept

  Transport& transport_;
  bool tds72_;
  ByteWriter w_;
  bool sent_any_ = false;
};

}  // namespace morvesk::server::tds
