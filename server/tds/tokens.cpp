#include "server/tds/tokens.h"

namespace morvesk::server::tds {
namespace {

enum Token : uint8_t {
  kReturnStatus = 0x79,
  kColMetadata = 0x81,
  kError = 0xAA,
  kInfo = 0xAB,
  kReturnValue = 0xAC,
  kLoginAck = 0xAD,
  kRow = 0xD1,
  kEnvChange = 0xE3,
};

// Column flags: every result column is reported nullable.
constexpr uint16_t kColumnFlags = 0x0001;

}  // namespace

void Reply::Flush() {
  const size_t chunk = transport_.packet_size() - kHeaderSize;
  std::string& buf = w_.data();
  size_t at = 0;
  while (buf.size() - at > chunk) {
    transport_.WritePacket(kTabularResult, std::string_view(buf).substr(at, chunk), false);
    at += chunk;
    sent_any_ = true;
  }
  buf.erase(0, at);
}

void Reply::Finish() {
  Flush();
  transport_.WritePacket(kTabularResult, w_.data(), true);
  w_.data().clear();
  sent_any_ = false;
}

void Reply::LoginAck(uint32_t version) {
  w_.U8(kLoginAck);
  const size_t len_at = w_.size();
  w_.U16(0);
  w_.U8(1);  // T-SQL interface
  w_.U32Be(version);
  w_.BVarChar("Morvesk");
  w_.U8(10);  // program version 10.0.0.0: what clients expect of a 7.x server
  w_.U8(0);
  w_.U8(0);
  w_.U8(0);
  w_.PatchU16(len_at, static_cast<uint16_t>(w_.size() - len_at - 2));
}

void Reply::EnvChange(uint8_t type, std::string_view new_value, std::string_view old_value) {
  w_.U8(kEnvChange);
  const size_t len_at = w_.size();
  w_.U16(0);
  w_.U8(type);
  w_.BVarChar(new_value);
  w_.BVarChar(old_value);
  w_.PatchU16(len_at, static_cast<uint16_t>(w_.size() - len_at - 2));
}

void Reply::EnvChangeBytes(uint8_t type, std::string_view new_bytes, std::string_view old_bytes) {
  w_.U8(kEnvChange);
  const size_t len_at = w_.size();
  w_.U16(0);
  w_.U8(type);
  w_.U8(static_cast<uint8_t>(new_bytes.size()));
  w_.Bytes(new_bytes);
  w_.U8(static_cast<uint8_t>(old_bytes.size()));
  w_.Bytes(old_bytes);
  w_.PatchU16(len_at, static_cast<uint16_t>(w_.size() - len_at - 2));
}

void Reply::Message(int number, int state, int severity, std::string_view text,
                    std::string_view procedure, int line, bool info) {
  w_.U8(info ? kInfo : kError);
  const size_t len_at = w_.size();
  w_.U16(0);
  w_.U32(static_cast<uint32_t>(number));
  w_.U8(static_cast<uint8_t>(state));
  w_.U8(static_cast<uint8_t>(severity));
  w_.UsVarChar(text);
  w_.BVarChar(kServerName);
  w_.BVarChar(procedure);
  if (tds72_) {
    w_.U32(static_cast<uint32_t>(line));
  } else {
    w_.U16(static_cast<uint16_t>(line));
  }
  w_.PatchU16(len_at, static_cast<uint16_t>(w_.size() - len_at - 2));
  Flush();
}

std::vector<WireColumn> Reply::ColMetadata(const engine::Result& r) {
  std::vector<WireColumn> cols;
  w_.U8(kColMetadata);
  w_.U16(static_cast<uint16_t>(r.columns.size()));
  for (size_t i = 0; i < r.columns.size(); ++i) {
    cols.push_back(WireColumnFor(r.columns[i].type, &r.rows, i, tds72_));
    if (tds72_) {
      w_.U32(0);
    } else {
      w_.U16(0);
    }
    w_.U16(kColumnFlags);
    WriteTypeInfo(w_, cols.back());
    w_.BVarChar(r.columns[i].name);
  }
  return cols;
}

void Reply::Row(const std::vector<WireColumn>& cols, const std::vector<engine::Value>& row) {
  w_.U8(kRow);
  for (size_t i = 0; i < cols.size(); ++i) {
    WriteValue(w_, cols[i], i < row.size() ? row[i] : engine::Value());
  }
  Flush();
}

void Reply::Done(uint8_t token, uint16_t status, uint64_t count, uint16_t command) {
  w_.U8(token);
  w_.U16(status);
  w_.U16(command);
  if (tds72_) {
    w_.U64(count);
  } else {
    w_.U32(static_cast<uint32_t>(count));
  }
}

void Reply::ReturnStatus(int32_t status) {
  w_.U8(kReturnStatus);
  w_.U32(static_cast<uint32_t>(status));
}

void Reply::ReturnValue(uint16_t ordinal, std::string_view name, const engine::Value& v, bool udf) {
  const WireColumn c = WireColumnFor(v.type(), nullptr, 0, tds72_);
  WireColumn col = c;
  if (col.type == 0xE7 && !v.is_null() && col.max_bytes != 0xFFFF) {
    const size_t need = 2 * Utf16Length(v.is_text() ? v.as_text() : v.ToString());
    if (need > col.max_bytes)
      col.max_bytes = need > 8000 ? (tds72_ ? 0xFFFF : 8000) : static_cast<uint16_t>(need);
  }
  w_.U8(kReturnValue);
  w_.U16(ordinal);
  w_.BVarChar(name);
  w_.U8(udf ? 0x02 : 0x01);
  if (tds72_) {
    w_.U32(0);
  } else {
    w_.U16(0);
  }
  w_.U16(kColumnFlags);
  WriteTypeInfo(w_, col);
  WriteValue(w_, col, v);
}

}  // namespace morvesk::server::tds
