// Binder basics: parameters, names, errors, and the conversions between storage
// forms that every statement kind uses.
#include "engine/bind/binder.h"

#include <algorithm>
#include <cctype>

namespace morvesk::engine::bind {

void Absorb(Fragment& into, const Fragment& from) {
  into.nullable = into.nullable || from.nullable;
  into.aggregate = into.aggregate || from.aggregate;
  into.bare_columns.insert(into.bare_columns.end(), from.bare_columns.begin(),
                           from.bare_columns.end());
}

Fragment Derived(std::string sql, TypeInfo type, const std::vector<const Fragment*>& parts) {
  Fragment r;
  r.sql = std::move(sql);
  r.type = type;
  r.nullable = false;
  for (const Fragment* p : parts) Absorb(r, *p);
  return r;
}

static std::string Quote(std::string_view s, char q) {
  std::string r(1, q);
  for (char c : s) {
    if (c == q) r += q;
    r += c;
  }
  r += q;
  return r;
}

std::string JoinUnionAll(const std::vector<std::string>& selects) {
  std::string sql;
  for (const std::string& s : selects) sql += (sql.empty() ? "" : " UNION ALL ") + s;
  return sql;
}

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
}

std::string QuoteId(std::string_view name) { return Quote(name, '"'); }
// SQLite ends a statement's text at a NUL character, so a text holding one is written as
// the concatenation of its pieces around char(0).
std::string QuoteText(std::string_view text) {
  if (text.find('\0') == std::string_view::npos) return Quote(text, '\'');
  std::string r = "(";
  for (size_t start = 0;;) {
    const size_t nul = text.find('\0', start);
    r += Quote(text.substr(start, nul - start), '\'');
    if (nul == std::string_view::npos) break;
    r += " || char(0) || ";
    start = nul + 1;
  }
  return r + ")";
}

std::string JoinName(const ast::Name& name) {
  // The catalog splits the text again: a part holding a dot, a blank, a bracket or a quote
  // ([x y], [a.b]) goes back in brackets so that it comes out whole.
  std::string r;
  for (size_t i = 0; i < name.size(); ++i) {
    if (i) r += '.';
    const std::string& part = name[i];
    if (part.find_first_of(". \t\r\n[]\"") == std::string::npos) {
      r += part;
      continue;
    }
    r += '[';
    for (char c : part) r += c == ']' ? std::string("]]") : std::string(1, c);
    r += ']';
  }
  return r;
}

void Binder::RefuseWindowsSince(int count, int line) const {
  if (windows_ != count)
    Fail(4108, "Windowed functions can only appear in the SELECT or ORDER BY clauses.", line);
}

std::string CheckedCount(const Fragment& n, const std::string& refused, int number,
                         const std::string& message) {
  return "(CASE WHEN " + n.sql + " IS NULL OR " + n.sql + refused + " THEN t_raise(" +
         std::to_string(number) + ", 16, '" + message + "') ELSE " + n.sql + " END)";
}

std::string TopCount(const Fragment& n) {
  return CheckedCount(n, " < 0", 1014, "A TOP N value may not be negative.");
}

void RefuseNestedOrder(const ast::Query& q) {
  if (q.order_by.empty() || q.offset || (q.branches.size() == 1 && q.first().top)) return;
  Fail(1033,
       "The ORDER BY clause is invalid in views, inline functions, derived tables, subqueries, "
       "and common table expressions, unless TOP, OFFSET or FOR XML is also specified.",
       q.order_by[0].line, 15);
}

void Fail(int number, const std::string& message, int line, int severity) {
  throw SqlError(number, severity, message, line);
}

void NotSupported(const std::string& construct, int line) {
  Fail(ast::kNotSupportedError, construct + " is not supported by this engine.", line);
}

int Binder::AddParam(ParamSource p) {
  params_.push_back(std::move(p));
  return static_cast<int>(params_.size()) - 1;
}

std::optional<std::pair<size_t, size_t>> LocateColumn(const ast::Expr& e, const Scope& scope) {
  if (e.kind != ast::ExprKind::kColumn) return std::nullopt;
  const ast::Name& parts = e.As<ast::ColumnRef>().parts;
  std::optional<std::pair<size_t, size_t>> found;
  for (size_t si = 0; si < scope.sources.size(); ++si) {
    const Source& src = scope.sources[si];
    if (parts.size() > 1 && !EqualsNoCase(src.alias, parts[parts.size() - 2])) continue;
    for (size_t ci = 0; ci < src.columns.size(); ++ci) {
      if (!EqualsNoCase(src.columns[ci].name, parts.back())) continue;
      if (found) return std::nullopt;
      found = std::make_pair(si, ci);
    }
  }
  return found;
}

std::string StorageDecl(const TypeInfo& t) {
  if (t.IsText() || t.kind == TypeKind::kUniqueIdentifier) return "TEXT COLLATE TSQL";
  if (t.kind == TypeKind::kDecimal || t.kind == TypeKind::kMoney) return "BLOB";
  if (t.IsApprox()) return "REAL";
  if (t.kind == TypeKind::kVarBinary) return "BLOB";
  return "INTEGER";  // integers and datetime (milliseconds since 1900-01-01)
}

TypeInfo UnifyTypes(const TypeInfo& a, const TypeInfo& b) {
  if (a.kind == TypeKind::kNull) return b;
  if (b.kind == TypeKind::kNull) return a;
  if (a.IsText() && b.IsText()) {
    TypeInfo t = TypeInfo::Of(std::max(a.kind, b.kind));
    t.length = (a.length < 0 || b.length < 0) ? -1 : std::max(a.length, b.length);
    return t;
  }
  const TypeKind k = std::max(a.kind, b.kind);
  if (k == TypeKind::kDecimal || (k == TypeKind::kMoney && a.kind != b.kind &&
                                  (a.kind == TypeKind::kDecimal || b.kind == TypeKind::kDecimal))) {
    const TypeInfo da = AsDecimalType(a.IsExact() ? a : TypeInfo::Decimal(38, 0));
    const TypeInfo db = AsDecimalType(b.IsExact() ? b : TypeInfo::Decimal(38, 0));
    int s = std::max(da.scale, db.scale);
    int integral = std::max(da.precision - da.scale, db.precision - db.scale);
    if (s + integral > 38) s = std::max(0, 38 - integral);
    return TypeInfo::Decimal(std::min(38, s + integral), s);
  }
  if (a.kind == b.kind) return a.kind == TypeKind::kMoney ? a : TypeInfo::Of(k);
  return a.kind == k ? a : b;
}

TypeInfo Binder::DecimalTypeOf(const Fragment& f) {
  if (f.int_literal_digits > 0 && f.type.IsInteger()) {
    auto& used = out_.digit_literals;
    if (f.literal >= 0 && std::find(used.begin(), used.end(), f.literal) == used.end())
      used.push_back(f.literal);
    return TypeInfo::Decimal(std::min(38, f.int_literal_digits), 0);
  }
  if (f.type.IsExact()) return AsDecimalType(f.type);
  if (f.type.kind == TypeKind::kDecimal) return f.type;
  return TypeInfo::Decimal(38, 0);
}

namespace {

enum class Store { kNull, kInt, kDec, kReal, kDate, kText, kOther };

Store StoreOf(const TypeInfo& t) {
  if (t.kind == TypeKind::kNull) return Store::kNull;
  if (t.IsInteger()) return Store::kInt;
  if (t.kind == TypeKind::kDecimal || t.kind == TypeKind::kMoney) return Store::kDec;
  if (t.IsApprox()) return Store::kReal;
  if (t.IsDateTime()) return Store::kDate;
  if (t.IsText()) return Store::kText;
  return Store::kOther;
}

std::string Cvt(const std::string& sql, const TypeInfo& from, const TypeInfo& to,
                std::optional<int> style) {
  return "t_cvt(" + sql + ", " + QuoteText(from.ToString()) + ", " + QuoteText(to.ToString()) +
         ", " + (style ? std::to_string(*style) : std::string("NULL")) + ")";
}

// Whether a value of `from` already is a valid `to` value when both share a
// storage form: the runtime binds such parameters unchanged, so only these may
// be left to it.
bool WidensInPlace(const TypeInfo& from, const TypeInfo& to) {
  const Store s = StoreOf(from);
  if (s != StoreOf(to)) return false;
  switch (s) {
    case Store::kInt:
      return to.kind != TypeKind::kBit && (from.kind == TypeKind::kBit || from.kind <= to.kind);
    case Store::kDec: {
      if (to.kind == TypeKind::kMoney) return from.kind == TypeKind::kMoney && to.precision >= from.precision;
      const TypeInfo d = AsDecimalType(from);
      return d.scale <= to.scale && d.precision - d.scale <= to.precision - to.scale;
    }
    case Store::kReal: return from.kind == to.kind || to.kind == TypeKind::kFloat;
    case Store::kDate: return from.kind == to.kind || to.kind == TypeKind::kDateTime;
    case Store::kText:
      if ((to.kind == TypeKind::kChar || to.kind == TypeKind::kNChar) && from != to) return false;
      return to.length < 0 || (from.length > 0 && from.length <= to.length);
    default: return from == to;
  }
}

}  // namespace

// A cached translation serves later batches whose text constants differ in
// length, so a constant's own length proves nothing about fitting a shorter type.
TypeInfo LengthAsKnown(const Fragment& f) {
  TypeInfo t = f.type;
  if (f.literal >= 0 && t.IsText()) t.length = -1;
  return t;
}

Fragment Binder::Convert(Fragment f, const TypeInfo& to, std::optional<int> style) {
  if (to.kind == TypeKind::kNull) return f;
  const TypeInfo from = LengthAsKnown(f);
  auto retyped = [&](std::string sql) {
    Fragment r = std::move(f);
    r.sql = std::move(sql);
    r.type = to;
    r.param = -1;
    r.int_literal_digits = 0;
    r.predicate = false;
    return r;
  };
  if (f.null_literal) {
    Fragment r = retyped("NULL");
    r.null_literal = true;
    return r;
  }
  if (f.param >= 0 && !f.param_converted &&
      (StoreOf(from) != StoreOf(to) || WidensInPlace(from, to)) &&
      !(style && (from.IsDateTime() || to.IsDateTime()) && from.kind != to.kind)) {
    // The runtime converts the value before binding it: the comparison or
    // assignment then runs on a plain parameter, and indexes stay usable.
    // A second conversion must see the first one's result, so it goes to SQL.
    params_[f.param].type = to;
    f.type = to;
    f.param_converted = true;
    f.int_literal_digits = 0;
    return f;
  }
  if (from == to) return f;
  const Store s_from = StoreOf(from), s_to = StoreOf(to);
  if (s_from == Store::kNull) return retyped(f.sql);
  switch (s_to) {
    case Store::kInt:
      if (s_from == Store::kInt && WidensInPlace(from, to)) return retyped(f.sql);
      // t_dtoi checks bigint's range only; a narrower column gets its own check.
      if (s_from == Store::kDec && to.kind == TypeKind::kBigInt)
        return retyped("t_dtoi(" + f.sql + ")");
      break;
    case Store::kDec: {
      if (s_from == Store::kInt) {
        const TypeInfo d = DecimalTypeOf(f);
        if (d.precision - d.scale <= to.precision - to.scale) return retyped("t_dec(" + f.sql + ")");
        return retyped("t_dscale(t_dec(" + f.sql + "), " + std::to_string(to.precision) + ", " +
                       std::to_string(to.scale) + ")");
      }
      if (s_from == Store::kDec) {
        const TypeInfo d = AsDecimalType(from);
        if (to.kind == TypeKind::kDecimal && d.scale <= to.scale &&
            d.precision - d.scale <= to.precision - to.scale)
          return retyped(f.sql);
        const TypeInfo t = AsDecimalType(to);
        return retyped("t_dscale(" + f.sql + ", " + std::to_string(t.precision) + ", " +
                       std::to_string(t.scale) + ")");
      }
      break;
    }
    case Store::kReal:
      if (to.kind == TypeKind::kFloat) {
        if (s_from == Store::kReal) return retyped(f.sql);
        if (s_from == Store::kInt) return retyped("CAST(" + f.sql + " AS REAL)");
        if (s_from == Store::kDec) return retyped("t_dtof(" + f.sql + ")");
      }
      break;
    case Store::kDate:
      if (s_from == Store::kDate && WidensInPlace(from, to)) return retyped(f.sql);
      if (s_from == Store::kText && !style) return retyped("t_dt(" + f.sql + ")");
      break;
    case Store::kText:
      if (s_from == Store::kText) {
        if (WidensInPlace(from, to)) return retyped(f.sql);
        if (to.kind != TypeKind::kChar && to.kind != TypeKind::kNChar)
          return retyped("substr(" + f.sql + ", 1, " + std::to_string(to.length) + ")");
      }
      break;
    default:
      break;
  }
  return retyped(Cvt(f.sql, from, to, style));
}

Fragment Binder::ConvertForStore(Fragment f, const TypeInfo& to) {
  if (!to.IsText() || to.length < 0 || f.null_literal) return Convert(std::move(f), to);
  // Text into varchar(n): a longer value is an error unless only blanks are cut.
  Fragment v = f.type.IsText() ? std::move(f) : Convert(std::move(f), TypeInfo::VarChar(8000));
  const TypeInfo known = LengthAsKnown(v);
  if (known.length > 0 && known.length <= to.length) {
    v.type = to;
    return v;
  }
  const std::string n = std::to_string(to.length);
  Fragment r = v;
  r.param = -1;
  r.int_literal_digits = 0;
  r.type = to;
  r.sql = "(CASE WHEN length(" + v.sql + ") > " + n + " THEN CASE WHEN t_len(" + v.sql + ") > " +
          n + " THEN t_raise(8152, 16, 'String or binary data would be truncated.') ELSE substr(" +
          v.sql + ", 1, " + n + ") END ELSE " + v.sql + " END)";
  return r;
}

}  // namespace morvesk::engine::bind
