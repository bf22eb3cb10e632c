#include "server/tds/rpc.h"

#include <cctype>
#include <cmath>
#include <cstdio>

#include "server/tds/wire.h"

namespace morvesk::server::tds {
namespace {

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

std::string Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return std::string(s.substr(b, e - b));
}

// Drivers declare the date and time parameters of 7.3 clients in the newer date types;
// the engine keeps every date as datetime, whose range and 1/300 s ticks the company's
// columns use.
std::string EngineTypeText(const std::string& declared) {
  std::string lower;
  for (char c : declared) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const auto starts = [&](std::string_view p) { return lower.rfind(p, 0) == 0; };
  if (starts("datetime2") || starts("datetimeoffset") || lower == "date") return "datetime";
  if (starts("time")) return "varchar(16)";
  return declared;
}

}  // namespace

uint16_t SpecialProcId(std::string_view name) {
  std::string_view n = name;
  for (std::string_view prefix : {"sys.", "dbo.", "master..", "master.dbo."}) {
    if (n.size() > prefix.size() && SameName(n.substr(0, prefix.size()), prefix))
      n.remove_prefix(prefix.size());
  }
  if (SameName(n, "sp_executesql")) return kSpExecuteSql;
  if (SameName(n, "sp_prepare")) return kSpPrepare;
  if (SameName(n, "sp_execute")) return kSpExecute;
  if (SameName(n, "sp_prepexec")) return kSpPrepExec;
  if (SameName(n, "sp_unprepare")) return kSpUnprepare;
  return 0;
}

std::vector<RpcCall> ParseRpc(std::string_view payload) {
  std::vector<RpcCall> calls;
  ByteReader r(payload);
  while (r.left() > 0) {
    RpcCall call;
    const uint16_t name_len = r.U16();
    if (name_len == 0xFFFF) {
      call.proc_id = r.U16();
    } else {
      call.proc_name = Utf16ToUtf8(r.Take(size_t{name_len} * 2));
      call.proc_id = SpecialProcId(call.proc_name);
      if (call.proc_id != 0) call.proc_name.clear();
    }
    r.U16();  // option flags (recompile, no metadata): nothing to do
    while (r.left() > 0) {
      const uint8_t next = static_cast<uint8_t>(r.whole()[r.pos()]);
      if (next == 0x80 || next == 0xFF || next == 0xFE) {
        r.U8();  // the next call of the same request follows
        break;
      }
      RpcParam p;
      p.name = r.BVarChar();
      const uint8_t status = r.U8();
      p.output = (status & 0x01) != 0;
      const WireTypeIn t = ReadTypeInfo(r);
      p.type = EngineTypeOf(t);
      p.value = ReadValue(r, t);
      call.params.push_back(std::move(p));
    }
    calls.push_back(std::move(call));
  }
  if (calls.empty()) throw ProtocolError("empty RPC request");
  return calls;
}

std::optional<std::vector<DeclaredParam>> ParseDeclarations(std::string_view text) {
  std::vector<DeclaredParam> out;
  std::vector<std::string> parts;
  int depth = 0;
  std::string cur;
  for (char c : text) {
    if (c == '(') ++depth;
    if (c == ')') --depth;
    if (c == ',' && depth == 0) {
      parts.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!Trim(cur).empty() || !parts.empty()) parts.push_back(cur);
  for (const std::string& raw : parts) {
    std::string p = Trim(raw);
    if (p.size() < 2 || p[0] != '@') return std::nullopt;
    size_t i = 0;
    while (i < p.size() && !std::isspace(static_cast<unsigned char>(p[i]))) ++i;
    DeclaredParam d;
    d.name = p.substr(0, i);
    std::string rest = Trim(std::string_view(p).substr(i));
    // A trailing OUTPUT / OUT marks an output parameter.
    for (std::string_view kw : {"output", "out"}) {
      if (rest.size() > kw.size() &&
          SameName(std::string_view(rest).substr(rest.size() - kw.size()), kw) &&
          std::isspace(static_cast<unsigned char>(rest[rest.size() - kw.size() - 1]))) {
        d.output = true;
        rest = Trim(std::string_view(rest).substr(0, rest.size() - kw.size()));
        break;
      }
    }
    if (rest.size() > 3 && SameName(std::string_view(rest).substr(0, 3), "as "))
      rest = Trim(rest.substr(3));
    if (rest.empty()) return std::nullopt;
    d.type = rest;
    out.push_back(std::move(d));
  }
  return out;
}

std::string LiteralOf(const engine::Value& v) {
  if (v.is_null()) return "NULL";
  if (v.is_int()) return std::to_string(v.as_int());
  if (v.is_decimal()) return v.as_decimal().ToString();
  if (v.is_double()) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", v.as_double());
    std::string s = buf;
    if (!std::isfinite(v.as_double())) return "NULL";
    if (s.find_first_of("eE") == std::string::npos) s += "E0";
    return s;
  }
  if (v.is_datetime()) return "'" + v.ToString() + "'";
  const std::string& text = v.as_text();
  if (v.type().kind == engine::TypeKind::kVarBinary) {
    static const char* hex = "0123456789ABCDEF";
    std::string out = "0x";
    for (unsigned char c : text) {
      out += hex[c >> 4];
      out += hex[c & 15];
    }
    return out;
  }
  std::string out = "N'";
  for (char c : text) {
    if (c == '\'') out += '\'';
    out += c;
  }
  out += '\'';
  return out;
}

ParameterisedBatch BuildParameterisedBatch(std::string_view statement,
                                           const std::vector<DeclaredParam>& declared,
                                           const std::vector<RpcParam>& values) {
  ParameterisedBatch b;
  std::vector<const RpcParam*> bound(declared.size(), nullptr);
  size_t position = 0;
  for (const RpcParam& v : values) {
    if (!v.name.empty()) {
      for (size_t i = 0; i < declared.size(); ++i) {
        if (SameName(declared[i].name, v.name)) bound[i] = &v;
      }
    } else if (position < declared.size()) {
      bound[position] = &v;
    }
    ++position;
  }
  std::string head;
  for (size_t i = 0; i < declared.size(); ++i) {
    head += head.empty() ? "DECLARE " : ", ";
    head += declared[i].name + " " + EngineTypeText(declared[i].type);
    if (bound[i] && !bound[i]->value.is_null()) head += " = " + LiteralOf(bound[i]->value);
    if (declared[i].output) b.outputs.push_back(i);
  }
  if (!head.empty()) head += "; ";
  b.text = head + std::string(statement);
  if (!b.outputs.empty()) {
    b.reads_outputs = true;
    std::string tail = "\n;SELECT ";
    for (size_t k = 0; k < b.outputs.size(); ++k) {
      tail += (k ? ", " : "") + declared[b.outputs[k]].name;
    }
    b.text += tail;
  }
  return b;
}

}  // namespace morvesk::server::tds
