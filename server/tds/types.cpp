#include "server/tds/types.h"

#include <iconv.h>

#include <cmath>
#include <cstring>

namespace morvesk::server::tds {
namespace {

using engine::TypeInfo;
using engine::TypeKind;
using engine::Value;

enum WireType : uint8_t {
  kNullType = 0x1F,
  kImage = 0x22,
  kText = 0x23,
  kGuid = 0x24,
  kIntN = 0x26,
  kDateN = 0x28,
  kTimeN = 0x29,
  kDateTime2N = 0x2A,
  kDateTimeOffsetN = 0x2B,
  kInt1 = 0x30,
  kBit = 0x32,
  kInt2 = 0x34,
  kInt4 = 0x38,
  kDateTim4 = 0x3A,
  kFlt4 = 0x3B,
  kMoney = 0x3C,
  kDateTime = 0x3D,
  kFlt8 = 0x3E,
  kNText = 0x63,
  kBitN = 0x68,
  kDecimalN = 0x6A,
  kNumericN = 0x6C,
  kFltN = 0x6D,
  kMoneyN = 0x6E,
  kDateTimeN = 0x6F,
  kMoney4 = 0x7A,
  kInt8 = 0x7F,
  kBigVarBinary = 0xA5,
  kBigVarChar = 0xA7,
  kBigBinary = 0xAD,
  kBigChar = 0xAF,
  kNVarChar = 0xE7,
  kNChar = 0xEF,
};

// Chinese (PRC), case-insensitive, accent-sensitive: the company's text is Chinese, and
// a client that reads varchar bytes by the collation's code page reads GBK.
constexpr char kCollation[5] = {0x04, 0x08, static_cast<char>(0xD0), 0x00, 0x00};
constexpr uint64_t kPlpNull = ~uint64_t{0};
constexpr int64_t kMsPerDay = 86400000;
// Days from 0001-01-01 to 1900-01-01, the epochs of the date and datetime forms.
constexpr int64_t kDaysTo1900 = 693595;

uint8_t DecimalSize(int precision) {
  if (precision <= 9) return 5;
  if (precision <= 19) return 9;
  if (precision <= 28) return 13;
  return 17;
}

__int128 Pow10(int n) {
  __int128 v = 1;
  while (n-- > 0) v *= 10;
  return v;
}

engine::Decimal ToDecimal(const Value& v, int scale) {
  engine::Decimal d;
  if (v.is_decimal()) {
    d = v.as_decimal();
  } else if (v.is_int()) {
    d = engine::Decimal::FromInt(v.as_int());
  } else if (v.is_double()) {
    return engine::Decimal::FromDouble(v.as_double(), scale);
  } else if (v.is_text()) {
    d = engine::Decimal::Parse(v.as_text()).value_or(engine::Decimal{});
  }
  return engine::Rescale(d, scale).value_or(d);
}

int64_t ToInt(const Value& v) {
  if (v.is_int()) return v.as_int();
  if (v.is_decimal()) return static_cast<int64_t>(v.as_decimal().Truncate());
  if (v.is_double()) return static_cast<int64_t>(v.as_double());
  if (v.is_datetime()) return v.as_datetime().ms;
  if (v.is_text()) return std::strtoll(v.as_text().c_str(), nullptr, 10);
  return 0;
}

double ToDouble(const Value& v) {
  if (v.is_double()) return v.as_double();
  if (v.is_decimal()) return v.as_decimal().ToDouble();
  if (v.is_int()) return static_cast<double>(v.as_int());
  if (v.is_text()) return std::strtod(v.as_text().c_str(), nullptr);
  return 0;
}

std::string ToText(const Value& v) { return v.is_text() ? v.as_text() : v.ToString(); }

void WriteUnsignedLe(ByteWriter& w, unsigned __int128 v, int bytes) {
  for (int i = 0; i < bytes; ++i) {
    w.U8(static_cast<uint8_t>(v & 0xff));
    v >>= 8;
  }
}

unsigned __int128 ReadUnsignedLe(std::string_view b) {
  unsigned __int128 v = 0;
  for (size_t i = b.size(); i-- > 0;) v = (v << 8) | static_cast<uint8_t>(b[i]);
  return v;
}

std::string FromCodePage(std::string_view bytes, uint16_t lcid) {
  bool ascii = true;
  for (char c : bytes) ascii = ascii && static_cast<uint8_t>(c) < 0x80;
  if (ascii) return std::string(bytes);
  const char* from = (lcid & 0x3FF) == 0x04 ? "GBK" : "CP1252";
  iconv_t cd = iconv_open("UTF-8", from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(bytes);
  std::string in(bytes), out(bytes.size() * 4 + 4, '\0');
  char* ip = in.data();
  char* op = out.data();
  size_t il = in.size(), ol = out.size();
  const size_t rc = iconv(cd, &ip, &il, &op, &ol);
  iconv_close(cd);
  if (rc == static_cast<size_t>(-1)) return std::string(bytes);
  out.resize(out.size() - ol);
  return out;
}

std::string ReadPlp(ByteReader& r, bool* is_null) {
  const uint64_t total = r.U64();
  *is_null = total == kPlpNull;
  std::string out;
  if (*is_null) return out;
  for (;;) {
    const uint32_t chunk = r.U32();
    if (chunk == 0) break;
    out.append(r.Take(chunk));
  }
  return out;
}

}  // namespace

WireColumn WireColumnFor(const TypeInfo& type, const std::vector<std::vector<Value>>* rows,
                         size_t column, bool tds72) {
  WireColumn c;
  switch (type.kind) {
    case TypeKind::kBit:
      c = {kBitN, 1};
      break;
    case TypeKind::kTinyInt:
      c = {kIntN, 1};
      break;
    case TypeKind::kSmallInt:
      c = {kIntN, 2};
      break;
    case TypeKind::kNull:
    case TypeKind::kInt:
      c = {kIntN, 4};
      break;
    case TypeKind::kBigInt:
      c = {kIntN, 8};
      break;
    case TypeKind::kMoney:
      c = {kMoneyN, 8};
      break;
    case TypeKind::kReal:
      c = {kFltN, 4};
      break;
    case TypeKind::kFloat:
      c = {kFltN, 8};
      break;
    case TypeKind::kSmallDateTime:
    case TypeKind::kDateTime:
      c = {kDateTimeN, 8};
      break;
    case TypeKind::kDecimal: {
      const uint8_t p = type.precision == 0 ? 38 : type.precision;
      c = {kDecimalN, DecimalSize(p), p, type.scale};
      break;
    }
    case TypeKind::kVarBinary: {
      c.type = kBigVarBinary;
      size_t longest = type.length > 0 ? static_cast<size_t>(type.length) : 0;
      if (rows) {
        for (const auto& row : *rows) {
          if (column < row.size() && row[column].is_text()) {
            longest = std::max(longest, row[column].as_text().size());
          }
        }
      }
      c.max_bytes = type.length < 0 || longest > 8000
                        ? 0xFFFF
                        : static_cast<uint16_t>(std::max<size_t>(longest, 1));
      break;
    }
    default: {
      // Every text (char, varchar, their national forms, text, a uniqueidentifier as its
      // text) goes out as NVARCHAR: UTF-16 carries the Chinese text exactly, whatever
      // code page the client runs in.
      c.type = kNVarChar;
      size_t chars = type.length > 0 ? static_cast<size_t>(type.length) : 0;
      if (type.kind == TypeKind::kUniqueIdentifier) chars = 36;
      if (rows) {
        for (const auto& row : *rows) {
          if (column < row.size() && !row[column].is_null()) {
            chars = std::max(chars, Utf16Length(ToText(row[column])));
          }
        }
      }
      const bool max = type.length < 0 || type.kind == TypeKind::kText ||
                       type.kind == TypeKind::kNText || chars > 4000;
      c.max_bytes = max ? 0xFFFF : static_cast<uint16_t>(2 * std::max<size_t>(chars, 1));
      break;
    }
  }
  if (c.max_bytes == 0xFFFF && !tds72) c.max_bytes = 8000;
  return c;
}

void WriteTypeInfo(ByteWriter& w, const WireColumn& c) {
  w.U8(c.type);
  switch (c.type) {
    case kDecimalN:
      w.U8(c.size);
      w.U8(c.precision);
      w.U8(c.scale);
      break;
    case kNVarChar:
      w.U16(c.max_bytes);
      w.Bytes(std::string_view(kCollation, 5));
      break;
    case kBigVarBinary:
      w.U16(c.max_bytes);
      break;
    default:
      w.U8(c.size);
  }
}

void WriteValue(ByteWriter& w, const WireColumn& c, const Value& v) {
  const bool plp = (c.type == kNVarChar || c.type == kBigVarBinary) && c.max_bytes == 0xFFFF;
  if (v.is_null()) {
    if (plp) {
      w.U64(kPlpNull);
    } else if (c.type == kNVarChar || c.type == kBigVarBinary) {
      w.U16(0xFFFF);
    } else {
      w.U8(0);
    }
    return;
  }
  switch (c.type) {
    case kBitN:
      w.U8(1);
      w.U8(ToInt(v) != 0 ? 1 : 0);
      return;
    case kIntN: {
      w.U8(c.size);
      WriteUnsignedLe(w, static_cast<unsigned __int128>(static_cast<__int128>(ToInt(v))), c.size);
      return;
    }
    case kMoneyN: {
      // Money is a count of ten-thousandths, high 32 bits first.
      const int64_t units = static_cast<int64_t>(ToDecimal(v, 4).unscaled);
      w.U8(8);
      w.U32(static_cast<uint32_t>(static_cast<uint64_t>(units) >> 32));
      w.U32(static_cast<uint32_t>(units));
      return;
    }
    case kFltN: {
      const double d = ToDouble(v);
      w.U8(c.size);
      if (c.size == 4) {
        const float f = static_cast<float>(d);
        uint32_t bits;
        std::memcpy(&bits, &f, 4);
        w.U32(bits);
      } else {
        uint64_t bits;
        std::memcpy(&bits, &d, 8);
        w.U64(bits);
      }
      return;
    }
    case kDateTimeN: {
      int64_t ms = v.is_datetime() ? v.as_datetime().ms : 0;
      if (v.is_text()) ms = engine::DateTime::Parse(v.as_text()).value_or(engine::DateTime{}).ms;
      int64_t days = ms / kMsPerDay;
      int64_t rest = ms % kMsPerDay;
      if (rest < 0) {
        rest += kMsPerDay;
        --days;
      }
      w.U8(8);
      w.U32(static_cast<uint32_t>(static_cast<int32_t>(days)));
      w.U32(static_cast<uint32_t>(std::llround(static_cast<double>(rest) * 0.3)));
      return;
    }
    case kDecimalN: {
      const engine::Decimal d = ToDecimal(v, c.scale);
      const unsigned __int128 mag =
          static_cast<unsigned __int128>(d.unscaled < 0 ? -d.unscaled : d.unscaled);
      uint8_t size = c.size;
      if (size < 17 && mag >= static_cast<unsigned __int128>(Pow10(size == 5   ? 9
                                                                   : size == 9 ? 19
                                                                               : 28))) {
        size = 17;
      }
      w.U8(size);
      w.U8(d.unscaled < 0 ? 0 : 1);
      WriteUnsignedLe(w, mag, size - 1);
      return;
    }
    case kBigVarBinary: {
      const std::string bytes = ToText(v);
      if (plp) {
        w.U64(bytes.size());
        if (!bytes.empty()) {
          w.U32(static_cast<uint32_t>(bytes.size()));
          w.Bytes(bytes);
        }
        w.U32(0);
      } else {
        const std::string_view b = std::string_view(bytes).substr(0, c.max_bytes);
        w.U16(static_cast<uint16_t>(b.size()));
        w.Bytes(b);
      }
      return;
    }
    default: {
      std::string u = Utf8ToUtf16(ToText(v));
      if (plp) {
        w.U64(u.size());
        if (!u.empty()) {
          w.U32(static_cast<uint32_t>(u.size()));
          w.Bytes(u);
        }
        w.U32(0);
      } else {
        if (u.size() > c.max_bytes) u.resize(c.max_bytes);
        w.U16(static_cast<uint16_t>(u.size()));
        w.Bytes(u);
      }
      return;
    }
  }
}

WireTypeIn ReadTypeInfo(ByteReader& r) {
  WireTypeIn t;
  t.type = r.U8();
  switch (t.type) {
    case kNullType:
    case kInt1:
    case kBit:
    case kInt2:
    case kInt4:
    case kInt8:
    case kDateTim4:
    case kFlt4:
    case kMoney:
    case kDateTime:
    case kFlt8:
    case kMoney4:
    case kDateN:
      break;
    case kIntN:
    case kBitN:
    case kFltN:
    case kMoneyN:
    case kDateTimeN:
    case kGuid:
      t.max_length = r.U8();
      break;
    case kDecimalN:
    case kNumericN:
      t.max_length = r.U8();
      t.precision = r.U8();
      t.scale = r.U8();
      if (t.precision == 0 || t.precision > 38 || t.scale > t.precision) {
        throw ProtocolError("bad decimal precision");
      }
      break;
    case kTimeN:
    case kDateTime2N:
    case kDateTimeOffsetN:
      t.scale = r.U8();
      if (t.scale > 7) throw ProtocolError("bad time scale");
      break;
    case kBigVarChar:
    case kBigChar:
    case kNVarChar:
    case kNChar:
      t.max_length = r.U16();
      t.plp = t.max_length == 0xFFFF;
      t.collation_lcid = r.U16();
      r.Take(3);
      break;
    case kBigVarBinary:
    case kBigBinary:
      t.max_length = r.U16();
      t.plp = t.max_length == 0xFFFF;
      break;
    case kText:
    case kNText:
      t.max_length = r.U32();
      t.collation_lcid = r.U16();
      r.Take(3);
      break;
    case kImage:
      t.max_length = r.U32();
      break;
    default:
      throw ProtocolError("unsupported parameter type");
  }
  return t;
}

TypeInfo EngineTypeOf(const WireTypeIn& t) {
  switch (t.type) {
    case kInt1:
      return TypeInfo::Of(TypeKind::kTinyInt);
    case kBit:
    case kBitN:
      return TypeInfo::Of(TypeKind::kBit);
    case kInt2:
      return TypeInfo::Of(TypeKind::kSmallInt);
    case kNullType:
    case kInt4:
      return TypeInfo::Of(TypeKind::kInt);
    case kInt8:
      return TypeInfo::Of(TypeKind::kBigInt);
    case kIntN:
      return TypeInfo::Of(t.max_length == 1   ? TypeKind::kTinyInt
                          : t.max_length == 2 ? TypeKind::kSmallInt
                          : t.max_length == 8 ? TypeKind::kBigInt
                                              : TypeKind::kInt);
    case kFlt4:
      return TypeInfo::Of(TypeKind::kReal);
    case kFlt8:
      return TypeInfo::Of(TypeKind::kFloat);
    case kFltN:
      return TypeInfo::Of(t.max_length == 4 ? TypeKind::kReal : TypeKind::kFloat);
    case kMoney:
    case kMoney4:
    case kMoneyN:
      return TypeInfo::Of(TypeKind::kMoney);
    case kDecimalN:
    case kNumericN:
      return TypeInfo::Decimal(t.precision, t.scale);
    case kDateTim4:
    case kDateTime:
    case kDateTimeN:
    case kDateN:
    case kDateTime2N:
    case kDateTimeOffsetN:
      return TypeInfo::Of(TypeKind::kDateTime);
    case kGuid:
      return TypeInfo{TypeKind::kUniqueIdentifier, 0, 0, 0};
    case kBigVarChar:
    case kBigChar:
      return TypeInfo{TypeKind::kVarChar, 0, 0,
                      t.plp ? -1 : static_cast<int32_t>(std::max<uint32_t>(t.max_length, 1))};
    case kText:
      return TypeInfo{TypeKind::kVarChar, 0, 0, -1};
    case kNVarChar:
    case kNChar:
      return TypeInfo{TypeKind::kNVarChar, 0, 0,
                      t.plp ? -1 : static_cast<int32_t>(std::max<uint32_t>(t.max_length / 2, 1))};
    case kNText:
      return TypeInfo{TypeKind::kNVarChar, 0, 0, -1};
    case kTimeN:
      return TypeInfo{TypeKind::kVarChar, 0, 0, 16};
    default:
      return TypeInfo{TypeKind::kVarBinary, 0, 0,
                      t.plp ? -1 : static_cast<int32_t>(std::max<uint32_t>(t.max_length, 1))};
  }
}

Value ReadValue(ByteReader& r, const WireTypeIn& t) {
  const TypeInfo type = EngineTypeOf(t);
  const auto null = [&] { return Value::Null(type); };
  const auto fixed_int = [&](size_t n, TypeKind k) {
    const std::string_view b = r.Take(n);
    int64_t v = static_cast<int64_t>(ReadUnsignedLe(b));
    if (n < 8 && k != TypeKind::kTinyInt && (v >> (8 * n - 1)) & 1) v -= int64_t{1} << (8 * n);
    return Value::Int(v, k);
  };
  const auto money = [&](size_t n) {
    int64_t units;
    if (n == 4) {
      units = static_cast<int32_t>(r.U32());
    } else {
      const uint64_t hi = r.U32();
      const uint64_t lo = r.U32();
      units = static_cast<int64_t>((hi << 32) | lo);
    }
    return Value(TypeInfo::Of(TypeKind::kMoney), engine::Decimal{units, 4});
  };
  const auto datetime = [&](size_t n) {
    int64_t ms;
    if (n == 4) {
      const int64_t days = r.U16();
      const int64_t minutes = r.U16();
      ms = days * kMsPerDay + minutes * 60000;
    } else {
      const int64_t days = static_cast<int32_t>(r.U32());
      const int64_t ticks = r.U32();
      ms = days * kMsPerDay + (ticks * 10) / 3;
    }
    return Value::Date(engine::DateTime::RoundToTick(ms));
  };
  const auto flt = [&](size_t n) {
    if (n == 4) {
      const uint32_t bits = r.U32();
      float f;
      std::memcpy(&f, &bits, 4);
      return Value(TypeInfo::Of(TypeKind::kReal), static_cast<double>(f));
    }
    const uint64_t bits = r.U64();
    double d;
    std::memcpy(&d, &bits, 8);
    return Value::Float(d);
  };
  switch (t.type) {
    case kNullType:
      return null();
    case kInt1:
      return fixed_int(1, TypeKind::kTinyInt);
    case kBit:
      return Value::Bit(r.U8() != 0);
    case kInt2:
      return fixed_int(2, TypeKind::kSmallInt);
    case kInt4:
      return fixed_int(4, TypeKind::kInt);
    case kInt8:
      return fixed_int(8, TypeKind::kBigInt);
    case kFlt4:
      return flt(4);
    case kFlt8:
      return flt(8);
    case kMoney:
      return money(8);
    case kMoney4:
      return money(4);
    case kDateTime:
      return datetime(8);
    case kDateTim4:
      return datetime(4);
    default:
      break;
  }
  if (t.plp) {
    bool is_null = false;
    std::string bytes = ReadPlp(r, &is_null);
    if (is_null) return null();
    if (t.type == kNVarChar || t.type == kNChar) return Value(type, Utf16ToUtf8(bytes));
    if (t.type == kBigVarChar || t.type == kBigChar)
      return Value(type, FromCodePage(bytes, t.collation_lcid));
    return Value(type, std::move(bytes));
  }
  switch (t.type) {
    case kBigVarChar:
    case kBigChar:
    case kNVarChar:
    case kNChar:
    case kBigVarBinary:
    case kBigBinary: {
      const uint16_t n = r.U16();
      if (n == 0xFFFF) return null();
      const std::string_view b = r.Take(n);
      if (t.type == kNVarChar || t.type == kNChar) return Value(type, Utf16ToUtf8(b));
      if (t.type == kBigVarChar || t.type == kBigChar)
        return Value(type, FromCodePage(b, t.collation_lcid));
      return Value(type, std::string(b));
    }
    case kText:
    case kNText:
    case kImage: {
      const uint32_t n = r.U32();
      if (n == 0xFFFFFFFF) return null();
      const std::string_view b = r.Take(n);
      if (t.type == kNText) return Value(type, Utf16ToUtf8(b));
      if (t.type == kText) return Value(type, FromCodePage(b, t.collation_lcid));
      return Value(type, std::string(b));
    }
    default:
      break;
  }
  const uint8_t n = r.U8();
  if (n == 0) return null();
  switch (t.type) {
    case kIntN:
      if (n != 1 && n != 2 && n != 4 && n != 8) throw ProtocolError("bad integer length");
      return fixed_int(n, type.kind);
    case kBitN:
      return Value::Bit(r.Take(n)[0] != 0);
    case kFltN:
      if (n != 4 && n != 8) throw ProtocolError("bad float length");
      return flt(n);
    case kMoneyN:
      if (n != 4 && n != 8) throw ProtocolError("bad money length");
      return money(n);
    case kDateTimeN:
      if (n != 4 && n != 8) throw ProtocolError("bad datetime length");
      return datetime(n);
    case kDecimalN:
    case kNumericN: {
      if (n < 2 || n > 17) throw ProtocolError("bad decimal length");
      const bool positive = r.U8() != 0;
      const __int128 mag = static_cast<__int128>(ReadUnsignedLe(r.Take(n - 1u)));
      return Value(type, engine::Decimal{positive ? mag : -mag, t.scale});
    }
    case kGuid: {
      if (n != 16) throw ProtocolError("bad uniqueidentifier length");
      const std::string_view b = r.Take(16);
      // The first three groups are little-endian on the wire.
      static const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
      std::string text;
      char hex[3];
      for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
        std::snprintf(hex, sizeof hex, "%02X",
                      static_cast<uint8_t>(b[static_cast<size_t>(order[i])]));
        text += hex;
      }
      return Value(type, text);
    }
    case kDateN:
    case kDateTime2N:
    case kDateTimeOffsetN:
    case kTimeN: {
      const size_t time_bytes = t.type == kDateN ? 0 : t.scale <= 2 ? 3 : t.scale <= 4 ? 4 : 5;
      const size_t date_bytes = t.type == kTimeN ? 0 : 3;
      const size_t offset_bytes = t.type == kDateTimeOffsetN ? 2 : 0;
      if (n != time_bytes + date_bytes + offset_bytes) throw ProtocolError("bad date length");
      const uint64_t units = static_cast<uint64_t>(ReadUnsignedLe(r.Take(time_bytes)));
      const int64_t days = static_cast<int64_t>(ReadUnsignedLe(r.Take(date_bytes)));
      r.Take(offset_bytes);
      const int64_t tick_ms = static_cast<int64_t>(
          std::llround(static_cast<double>(units) * 1000.0 / static_cast<double>(Pow10(t.scale))));
      if (t.type == kTimeN) {
        char buf[32];
        std::snprintf(
            buf, sizeof buf, "%02lld:%02lld:%02lld.%03lld",
            static_cast<long long>(tick_ms / 3600000), static_cast<long long>(tick_ms / 60000 % 60),
            static_cast<long long>(tick_ms / 1000 % 60), static_cast<long long>(tick_ms % 1000));
        return Value(type, std::string(buf));
      }
      return Value::Date(engine::DateTime::RoundToTick((days - kDaysTo1900) * kMsPerDay + tick_ms));
    }
    default:
      r.Take(n);
      return null();
  }
}

}  // namespace morvesk::server::tds
