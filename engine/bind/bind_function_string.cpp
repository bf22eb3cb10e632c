// Strings: len, substring, left, right, trims, case, charindex, replace, space,
// replicate, str, char, ascii, and datalength (bytes of any stored value).
#include "engine/bind/bind_function_internal.h"

namespace morvesk::engine::bind {
namespace {

// A text argument; a number or date becomes varchar(30) first, as the server
// converts it implicitly, and a bare NULL counts as varchar(1).
Fragment TextArg(BuiltinCall& c, size_t i) {
  Fragment a = c.Arg(i);
  if (a.type.IsText() || a.null_literal) {
    if (a.null_literal) a.type = TypeInfo::VarChar(1);
    return a;
  }
  TypeInfo t = TypeInfo::VarChar(30);
  const bool nullable = a.nullable;
  a = c.binder.Convert(std::move(a), t);
  a.nullable = nullable;
  return a;
}

Fragment BindLen(BuiltinCall& c) {
  c.ArgcIs(1, 1);
  Fragment s = TextArg(c, 0);
  return Derived("t_len(" + s.sql + ")", TypeInfo::Of(TypeKind::kInt), {&s});
}

// substring keeps its argument's length and its unicode-ness, never its fixed width.
Fragment BindSubstring(BuiltinCall& c) {
  c.ArgcIs(3, 3);
  Fragment s = TextArg(c, 0), st = c.IntArg(1), n = c.IntArg(2);
  TypeInfo t = TypeInfo::Of(s.type.kind == TypeKind::kNVarChar || s.type.kind == TypeKind::kNChar
                                ? TypeKind::kNVarChar
                                : TypeKind::kVarChar);
  t.length = s.type.length;
  return Derived("t_substring(" + s.sql + ", " + st.sql + ", " + n.sql + ")", t, {&s, &st, &n});
}

Fragment BindLeftRight(BuiltinCall& c) {
  c.ArgcIs(2, 2);
  Fragment s = TextArg(c, 0), n = c.IntArg(1);
  TypeInfo t = TypeInfo::VarChar(s.type.length);
  return Derived("t_" + c.name + "(" + s.sql + ", " + n.sql + ")", t, {&s, &n});
}

// ltrim, rtrim, upper and lower: a char argument comes back as varchar.
Fragment BindTextUnary(BuiltinCall& c) {
  c.ArgcIs(1, 1);
  Fragment s = TextArg(c, 0);
  TypeInfo t = s.type;
  if (t.kind == TypeKind::kChar) t.kind = TypeKind::kVarChar;
  return Derived("t_" + c.name + "(" + s.sql + ")", t, {&s});
}

Fragment BindCharIndex(BuiltinCall& c) {
  c.ArgcIs(2, 3);
  Fragment a = TextArg(c, 0), b = TextArg(c, 1);
  if (c.argc() == 3) {
    Fragment st = c.IntArg(2);
    return Derived("t_charindex(" + a.sql + ", " + b.sql + ", " + st.sql + ")",
                   TypeInfo::Of(TypeKind::kInt), {&a, &b, &st});
  }
  return Derived("t_charindex(" + a.sql + ", " + b.sql + ")", TypeInfo::Of(TypeKind::kInt),
                 {&a, &b});
}

// stuff(s, start, length, insert): as wide as both texts together.
Fragment BindStuff(BuiltinCall& c) {
  c.ArgcIs(4, 4);
  Fragment s = TextArg(c, 0), st = c.IntArg(1), n = c.IntArg(2), x = TextArg(c, 3);
  Fragment r =
      Derived("t_stuff(" + s.sql + ", " + st.sql + ", " + n.sql + ", " + x.sql + ")",
              TypeInfo::VarChar(std::min(8000, s.type.length + x.type.length)), {&s, &st, &n, &x});
  r.nullable = true;
  return r;
}

Fragment BindPatIndex(BuiltinCall& c) {
  c.ArgcIs(2, 2);
  Fragment p = TextArg(c, 0), s = TextArg(c, 1);
  return Derived("t_patindex(" + p.sql + ", " + s.sql + ")", TypeInfo::Of(TypeKind::kInt),
                 {&p, &s});
}

Fragment BindReplace(BuiltinCall& c) {
  c.ArgcIs(3, 3);
  Fragment a = TextArg(c, 0), b = TextArg(c, 1), x = TextArg(c, 2);
  return Derived("t_replace(" + a.sql + ", " + b.sql + ", " + x.sql + ")", TypeInfo::VarChar(8000),
                 {&a, &b, &x});
}

// space and replicate are NULL for a negative count.
Fragment BindSpace(BuiltinCall& c) {
  c.ArgcIs(1, 1);
  Fragment n = c.IntArg(0);
  Fragment r = Derived("t_space(" + n.sql + ")", TypeInfo::VarChar(8000), {&n});
  r.nullable = true;
  return r;
}

// concat: every argument as text, NULL as the empty text; as wide as its parts together.
Fragment BindConcat(BuiltinCall& c) {
  c.ArgcAtLeast(2, 254);
  if (c.argc() > 254) Fail(189, "The concat function requires 2 to 254 arguments.", c.line, 15);
  std::vector<Fragment> parts;
  std::string sql;
  bool unicode = false;
  int64_t length = 0;
  for (size_t i = 0; i < c.argc(); ++i) {
    parts.push_back(TextArg(c, i));
    const TypeInfo& t = parts.back().type;
    unicode = unicode || t.kind == TypeKind::kNVarChar || t.kind == TypeKind::kNChar;
    length += t.length;
    sql += (sql.empty() ? "" : " || ") + std::string("ifnull(") + parts.back().sql + ", '')";
  }
  std::vector<const Fragment*> from;
  for (const Fragment& p : parts) from.push_back(&p);
  const int32_t cap = unicode ? 4000 : 8000;
  Fragment r = Derived("(" + sql + ")",
                       TypeInfo{unicode ? TypeKind::kNVarChar : TypeKind::kVarChar, 0, 0,
                                static_cast<int32_t>(std::min<int64_t>(length, cap))},
                       from);
  r.nullable = false;
  return r;
}

Fragment BindReplicate(BuiltinCall& c) {
  c.ArgcIs(2, 2);
  Fragment s = TextArg(c, 0), n = c.IntArg(1);
  Fragment r =
      Derived("t_replicate(" + s.sql + ", " + n.sql + ")", TypeInfo::VarChar(8000), {&s, &n});
  r.nullable = true;
  return r;
}

// str of a number alone is ten characters wide; a length or decimals argument may widen it.
Fragment BindStr(BuiltinCall& c) {
  c.ArgcIs(1, 3);
  Fragment x = c.binder.Convert(c.Arg(0), TypeInfo::Of(TypeKind::kFloat));
  std::string sql = "t_str(" + x.sql;
  Fragment r = Derived("", TypeInfo::VarChar(10), {&x});
  for (size_t i = 1; i < c.argc(); ++i) {
    Fragment n = c.IntArg(i);
    sql += ", " + n.sql;
    Absorb(r, n);
  }
  r.sql = sql + ")";
  if (c.argc() > 1) r.type = TypeInfo::VarChar(8000);
  return r;
}

// char of a code outside 0..255, and ascii of an empty string, are NULL.
Fragment BindCharAscii(BuiltinCall& c) {
  c.ArgcIs(1, 1);
  const bool is_char = c.name == "char";
  Fragment x = is_char ? c.IntArg(0) : TextArg(c, 0);
  Fragment r =
      Derived("t_" + c.name + "(" + x.sql + ")",
              is_char ? TypeInfo{TypeKind::kChar, 0, 0, 1} : TypeInfo::Of(TypeKind::kInt), {&x});
  r.nullable = true;
  return r;
}

Fragment BindDataLength(BuiltinCall& c) {
  c.ArgcIs(1, 1);
  Fragment x = c.Arg(0);
  // Bytes of the stored value: one per character of varchar, two of nvarchar.
  std::string bytes;
  switch (x.type.kind) {
    case TypeKind::kVarChar:
    case TypeKind::kChar:
    case TypeKind::kText:
      bytes = "length(" + x.sql + ")";
      break;
    case TypeKind::kNVarChar:
    case TypeKind::kNChar:
    case TypeKind::kNText:
      bytes = "2 * length(" + x.sql + ")";
      break;
    case TypeKind::kBit:
    case TypeKind::kTinyInt:
      bytes = "1";
      break;
    case TypeKind::kSmallInt:
      bytes = "2";
      break;
    case TypeKind::kInt:
    case TypeKind::kReal:
    case TypeKind::kSmallDateTime:
      bytes = "4";
      break;
    case TypeKind::kBigInt:
    case TypeKind::kFloat:
    case TypeKind::kDateTime:
      bytes = "8";
      break;
    case TypeKind::kMoney:
      bytes = x.type.precision == 10 ? "4" : "8";
      break;
    case TypeKind::kDecimal:
      bytes = x.type.precision <= 9    ? "5"
              : x.type.precision <= 19 ? "9"
              : x.type.precision <= 28 ? "13"
                                       : "17";
      break;
    case TypeKind::kNull:
      return Derived("NULL", TypeInfo::Of(TypeKind::kInt), {});
    default:
      NotSupported("DATALENGTH of " + x.type.ToString(), c.line);
  }
  Fragment r = Derived("(CASE WHEN " + x.sql + " IS NULL THEN NULL ELSE " + bytes + " END)",
                       TypeInfo::Of(TypeKind::kInt), {&x});
  r.nullable = true;
  return r;
}

constexpr Builtin kStrings[] = {
    {"len", BindLen},
    {"substring", BindSubstring},
    {"left", BindLeftRight},
    {"right", BindLeftRight},
    {"ltrim", BindTextUnary},
    {"trim", BindTextUnary},
    {"reverse", BindTextUnary},
    {"stuff", BindStuff},
    {"patindex", BindPatIndex},
    {"rtrim", BindTextUnary},
    {"upper", BindTextUnary},
    {"lower", BindTextUnary},
    {"charindex", BindCharIndex},
    {"replace", BindReplace},
    {"space", BindSpace},
    {"replicate", BindReplicate},
    {"concat", BindConcat},
    {"str", BindStr},
    {"char", BindCharAscii},
    {"ascii", BindCharAscii},
    {"datalength", BindDataLength},
};

}  // namespace

std::span<const Builtin> StringBuiltins() { return kStrings; }

}  // namespace morvesk::engine::bind
