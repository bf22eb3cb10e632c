// Binding of built-in functions and CAST/CONVERT: each maps to a SQLite
// expression over the t_* library of engine/value/sqlfunc.h.
#include <algorithm>

#include "engine/bind/binder.h"
#include "engine/bind/object_id.h"

namespace morvesk::engine::bind {
namespace {

// Canonical datepart names; the t_date* functions take these.
std::optional<std::string> DatePartName(std::string_view word) {
  static const std::pair<const char*, const char*> kParts[] = {
      {"year", "year"},        {"yy", "year"},          {"yyyy", "year"},
      {"quarter", "quarter"},  {"qq", "quarter"},       {"q", "quarter"},
      {"month", "month"},      {"mm", "month"},         {"m", "month"},
      {"dayofyear", "dayofyear"}, {"dy", "dayofyear"},  {"y", "dayofyear"},
      {"day", "day"},          {"dd", "day"},           {"d", "day"},
      {"week", "week"},        {"wk", "week"},          {"ww", "week"},
      {"weekday", "weekday"},  {"dw", "weekday"},       {"hour", "hour"},
      {"hh", "hour"},          {"minute", "minute"},    {"mi", "minute"},
      {"n", "minute"},         {"second", "second"},    {"ss", "second"},
      {"s", "second"},         {"millisecond", "millisecond"}, {"ms", "millisecond"}};
  const std::string w = AsciiLower(word);
  for (const auto& [k, v] : kParts)
    if (w == k) return std::string(v);
  return std::nullopt;
}

}  // namespace

Fragment Binder::BindConvert(const ast::ConvertExpr& c, Scope& scope) {
  Fragment x = BindExpr(*c.operand, scope);
  if (x.predicate) Fail(4145, "A condition cannot be converted.", c.line);
  const TypeInfo to = c.target.type;
  const bool nullable = x.nullable;
  Fragment r = Convert(std::move(x), to, c.style);
  r.nullable = nullable;
  return r;
}

Fragment Binder::BindFunction(const ast::FunctionCall& f, Scope& scope) {
  const std::string name = f.LowerName();
  const int line = f.line;
  if (f.name.size() > 1 && !(f.name.size() == 2 && EqualsNoCase(f.name[0], "dbo")))
    NotSupported("Function '" + JoinName(f.name) + "'", line);
  auto argc_is = [&](size_t lo, size_t hi) {
    if (f.args.size() < lo || f.args.size() > hi)
      Fail(174, "The " + name + " function requires " + std::to_string(lo) +
                    (hi > lo ? " to " + std::to_string(hi) : std::string()) + " argument(s).",
           line, 15);
  };
  auto arg = [&](size_t i) {
    Fragment a = BindExpr(*f.args[i], scope);
    if (a.predicate) Fail(4145, "A condition cannot be used as a function argument.", line);
    return a;
  };
  auto int_arg = [&](size_t i) { return Convert(arg(i), TypeInfo::Of(TypeKind::kInt)); };
  auto text_arg = [&](size_t i) {
    Fragment a = arg(i);
    if (a.type.IsText() || a.null_literal) {
      if (a.null_literal) a.type = TypeInfo::VarChar(1);
      return a;
    }
    TypeInfo t = TypeInfo::VarChar(30);
    const bool nullable = a.nullable;
    a = Convert(std::move(a), t);
    a.nullable = nullable;
    return a;
  };
  auto date_arg = [&](size_t i) {
    Fragment a = arg(i);
    if (a.type.IsDateTime()) return a;
    return Convert(std::move(a), TypeInfo::Of(TypeKind::kDateTime));
  };
  auto part_arg = [&](size_t i) {
    const ast::Expr& e = *f.args[i];
    std::string word;
    if (e.kind == ast::ExprKind::kColumn && e.As<ast::ColumnRef>().parts.size() == 1)
      word = e.As<ast::ColumnRef>().parts[0];
    std::optional<std::string> part = DatePartName(word);
    if (!part) Fail(155, "'" + ast::ToSql(e) + "' is not a recognized datepart option.", line, 15);
    return QuoteText(*part);
  };
  auto aggregate = [&](Fragment a, std::string sql, TypeInfo t) {
    if (a.aggregate)
      Fail(130, "Cannot perform an aggregate function on an expression containing an aggregate "
                "or a subquery.",
           line);
    Fragment r = Derived(std::move(sql), t, {});
    r.aggregate = true;
    r.nullable = true;
    return r;
  };
  const std::string distinct = f.distinct ? "DISTINCT " : "";

  // ---- aggregates ----
  if (name == "count" || name == "count_big") {
    const TypeInfo t = TypeInfo::Of(name == "count" ? TypeKind::kInt : TypeKind::kBigInt);
    if (f.star) {
      Fragment r = aggregate(Fragment{}, "count(*)", t);
      r.nullable = false;
      NoteAggregate(scope, r.sql, 'n', Fragment{});
      return r;
    }
    argc_is(1, 1);
    Fragment a = arg(0);
    Fragment r = aggregate(a, "count(" + distinct + a.sql + (a.type.IsText() && f.distinct ? " COLLATE TSQL" : "") + ")", t);
    r.nullable = false;
    NoteAggregate(scope, r.sql, f.distinct ? '?' : 'c', a);
    return r;
  }
  if (name == "sum" || name == "avg") {
    argc_is(1, 1);
    Fragment a = arg(0);
    if (a.null_literal) Fail(8117, "Operand data type NULL is invalid for " + name + " operator.", line);
    if (a.type.IsText() && a.param >= 0) a = Convert(std::move(a), TypeInfo::Of(TypeKind::kInt));
    if (!a.type.IsNumeric())
      Fail(8117, "Operand data type " + a.type.ToString() + " is invalid for " + name +
                     " operator.",
           line);
    if (name == "sum") {
      const TypeInfo t = SumResultType(a.type);
      Fragment r;
      char kind = '?';
      if (a.type.kind == TypeKind::kMoney) {  // the sum is money and may not leave its range
        r = aggregate(a,
                      "t_mchk(t_dsum(" + distinct + a.sql + "), " + std::to_string(t.precision) +
                          ")",
                      t);
      } else if (a.type.kind == TypeKind::kDecimal) {
        r = aggregate(a, "t_dsum(" + distinct + a.sql + ")", t);
        kind = 'd';
      } else if (t.kind == TypeKind::kInt) {  // a sum beyond int is an overflow, not a bigint
        r = aggregate(a, "t_ichk(sum(" + distinct + a.sql + "), 2)", t);
        kind = 's';
      } else {
        r = aggregate(a, "sum(" + distinct + a.sql + ")", t);
        if (a.type.IsInteger()) kind = 's';
      }
      NoteAggregate(scope, r.sql, f.distinct ? '?' : kind, a);
      return r;
    }
    NoteAggregate(scope, "", '?', a);
    const TypeInfo t = AvgResultType(a.type);
    if ((a.type.kind == TypeKind::kDecimal || a.type.kind == TypeKind::kMoney) && f.distinct)
      return aggregate(a, "t_davg_" + std::to_string(t.scale) + "(DISTINCT " + a.sql + ")", t);
    if (a.type.kind == TypeKind::kDecimal || a.type.kind == TypeKind::kMoney)
      return aggregate(a, "t_davg(" + a.sql + ", " + std::to_string(t.scale) + ")", t);
    if (a.type.IsInteger())
      return aggregate(a, "t_idiv(sum(" + distinct + a.sql + "), count(" + distinct + a.sql + "))",
                       t);
    return aggregate(a, "avg(" + distinct + a.sql + ")", t);
  }
  if (name == "max" || name == "min") {
    argc_is(1, 1);
    Fragment a = arg(0);
    Fragment r = aggregate(
        a, name + "(" + distinct + a.sql + (a.type.IsText() ? " COLLATE TSQL" : "") + ")", a.type);
    NoteAggregate(scope, r.sql, name == "min" ? 'm' : 'M', a);
    return r;
  }

  // ---- NULL handling ----
  if (name == "isnull") {
    argc_is(2, 2);
    Fragment a = arg(0), b = arg(1);
    const TypeInfo t = a.null_literal ? b.type : a.type;
    Fragment bc = Convert(std::move(b), t);
    Fragment r = Derived("ifnull(" + a.sql + ", " + bc.sql + ")", t, {&a, &bc});
    r.nullable = a.nullable && bc.nullable;
    r.null_literal = a.null_literal && bc.null_literal;
    return r;
  }
  if (name == "coalesce") {
    if (f.args.size() < 2) Fail(189, "The coalesce function requires 2 to 254 arguments.", line, 15);
    std::vector<Fragment> xs;
    TypeInfo t;
    for (size_t i = 0; i < f.args.size(); ++i) {
      xs.push_back(arg(i));
      if (!xs.back().null_literal) t = UnifyTypes(t, xs.back().type);
    }
    if (t.kind == TypeKind::kNull)
      Fail(4127, "At least one of the arguments to COALESCE must be an expression that is not the "
                 "NULL constant.",
           line);
    std::string sql = "coalesce(";
    Fragment r = Derived("", t, {});
    r.nullable = true;
    bool all_nullable = true;
    for (size_t i = 0; i < xs.size(); ++i) {
      Fragment c = Convert(std::move(xs[i]), t);
      sql += (i ? ", " : "") + c.sql;
      all_nullable = all_nullable && c.nullable;
      Absorb(r, c);
    }
    r.sql = sql + ")";
    r.nullable = all_nullable;
    return r;
  }
  if (name == "nullif") {
    argc_is(2, 2);
    Fragment a = arg(0);
    Fragment eq = Compare(arg(0), ast::CompareOp::kEq, arg(1), line);
    Fragment r = Derived("(CASE WHEN " + eq.sql + " THEN NULL ELSE " + a.sql + " END)", a.type,
                      {&a, &eq});
    r.nullable = true;
    return r;
  }

  // ---- numbers ----
  if (name == "round") {
    argc_is(2, 3);
    Fragment x = arg(0);
    Fragment n = int_arg(1);
    Fragment fl = f.args.size() > 2 ? int_arg(2) : Derived("0", TypeInfo::Of(TypeKind::kInt), {});
    if (x.type.IsText()) x = Convert(std::move(x), TypeInfo::Of(TypeKind::kFloat));
    if (x.type.kind == TypeKind::kDecimal || x.type.kind == TypeKind::kMoney) {
      const TypeInfo d = x.int_literal_digits > 0 ? DecimalTypeOf(x) : AsDecimalType(x.type);
      return Derived("t_dround(" + x.sql + ", " + n.sql + ", " + fl.sql + ", " +
                      std::to_string(d.precision) + ", " + std::to_string(d.scale) + ")",
                  x.type, {&x, &n, &fl});
    }
    if (x.type.IsInteger())
      return Derived("CAST(t_fround(" + x.sql + ", " + n.sql + ", " + fl.sql + ") AS INTEGER)",
                  x.type, {&x, &n, &fl});
    if (x.type.IsApprox() || x.null_literal)
      return Derived("t_fround(" + x.sql + ", " + n.sql + ", " + fl.sql + ")",
                  x.null_literal ? TypeInfo::Of(TypeKind::kFloat) : x.type, {&x, &n, &fl});
    Fail(8117, "Operand data type " + x.type.ToString() + " is invalid for round function.", line);
  }
  if (name == "abs" || name == "sign" || name == "floor" || name == "ceiling") {
    argc_is(1, 1);
    Fragment x = arg(0);
    if (x.type.IsText()) x = Convert(std::move(x), TypeInfo::Of(TypeKind::kFloat));
    if (x.type.kind == TypeKind::kDecimal || x.type.kind == TypeKind::kMoney) {
      TypeInfo t = x.type;
      if (name == "floor" || name == "ceiling") t = TypeInfo::Decimal(t.precision, 0);
      const std::string fn = name == "abs"    ? "t_dabs"
                             : name == "sign" ? "t_dsign"
                             : name == "floor" ? "t_dfloor"
                                               : "t_dceiling";
      return Derived(fn + "(" + x.sql + ")", t, {&x});
    }
    if (!x.type.IsNumeric() && !x.null_literal)
      Fail(8117, "Operand data type " + x.type.ToString() + " is invalid for " + name +
                     " function.",
           line);
    const std::string v = x.sql;
    std::string sql;
    if (name == "abs") sql = "abs(" + v + ")";
    else if (name == "sign") sql = "((" + v + " > 0) - (" + v + " < 0))";
    else if (x.type.IsInteger()) sql = v;
    else if (name == "floor")
      sql = "(CAST(" + v + " AS INTEGER) - (" + v + " < CAST(" + v + " AS INTEGER)))";
    else
      sql = "(CAST(" + v + " AS INTEGER) + (" + v + " > CAST(" + v + " AS INTEGER)))";
    if (x.type.IsApprox() && name != "abs") sql = "CAST(" + sql + " AS REAL)";
    return Derived(sql, x.type, {&x});
  }

  // ---- strings ----
  if (name == "len") {
    argc_is(1, 1);
    Fragment s = text_arg(0);
    return Derived("t_len(" + s.sql + ")", TypeInfo::Of(TypeKind::kInt), {&s});
  }
  if (name == "substring") {
    argc_is(3, 3);
    Fragment s = text_arg(0), st = int_arg(1), n = int_arg(2);
    TypeInfo t = TypeInfo::Of(s.type.kind == TypeKind::kNVarChar || s.type.kind == TypeKind::kNChar
                                  ? TypeKind::kNVarChar
                                  : TypeKind::kVarChar);
    t.length = s.type.length;
    return Derived("t_substring(" + s.sql + ", " + st.sql + ", " + n.sql + ")", t, {&s, &st, &n});
  }
  if (name == "left" || name == "right") {
    argc_is(2, 2);
    Fragment s = text_arg(0), n = int_arg(1);
    TypeInfo t = TypeInfo::VarChar(s.type.length);
    return Derived("t_" + name + "(" + s.sql + ", " + n.sql + ")", t, {&s, &n});
  }
  if (name == "ltrim" || name == "rtrim" || name == "upper" || name == "lower") {
    argc_is(1, 1);
    Fragment s = text_arg(0);
    TypeInfo t = s.type;
    if (t.kind == TypeKind::kChar) t.kind = TypeKind::kVarChar;
    return Derived("t_" + name + "(" + s.sql + ")", t, {&s});
  }
  if (name == "charindex") {
    argc_is(2, 3);
    Fragment a = text_arg(0), b = text_arg(1);
    if (f.args.size() == 3) {
      Fragment st = int_arg(2);
      return Derived("t_charindex(" + a.sql + ", " + b.sql + ", " + st.sql + ")",
                  TypeInfo::Of(TypeKind::kInt), {&a, &b, &st});
    }
    return Derived("t_charindex(" + a.sql + ", " + b.sql + ")", TypeInfo::Of(TypeKind::kInt),
                {&a, &b});
  }
  if (name == "replace") {
    argc_is(3, 3);
    Fragment a = text_arg(0), b = text_arg(1), c = text_arg(2);
    return Derived("t_replace(" + a.sql + ", " + b.sql + ", " + c.sql + ")", TypeInfo::VarChar(8000),
                {&a, &b, &c});
  }
  if (name == "space") {
    argc_is(1, 1);
    Fragment n = int_arg(0);
    Fragment r = Derived("t_space(" + n.sql + ")", TypeInfo::VarChar(8000), {&n});
    r.nullable = true;
    return r;
  }
  if (name == "replicate") {
    argc_is(2, 2);
    Fragment s = text_arg(0), n = int_arg(1);
    Fragment r = Derived("t_replicate(" + s.sql + ", " + n.sql + ")", TypeInfo::VarChar(8000), {&s, &n});
    r.nullable = true;
    return r;
  }
  if (name == "str") {
    argc_is(1, 3);
    Fragment x = Convert(arg(0), TypeInfo::Of(TypeKind::kFloat));
    std::string sql = "t_str(" + x.sql;
    Fragment r = Derived("", TypeInfo::VarChar(10), {&x});
    for (size_t i = 1; i < f.args.size(); ++i) {
      Fragment n = int_arg(i);
      sql += ", " + n.sql;
      Absorb(r, n);
    }
    r.sql = sql + ")";
    if (f.args.size() > 1) r.type = TypeInfo::VarChar(8000);
    return r;
  }

  if (name == "char" || name == "ascii") {
    argc_is(1, 1);
    Fragment x = name == "char" ? int_arg(0) : text_arg(0);
    Fragment r = Derived("t_" + name + "(" + x.sql + ")",
                      name == "char" ? TypeInfo{TypeKind::kChar, 0, 0, 1} : TypeInfo::Of(TypeKind::kInt),
                      {&x});
    r.nullable = true;
    return r;
  }
  if (name == "datalength") {
    argc_is(1, 1);
    Fragment x = arg(0);
    // Bytes of the stored value: one per character of varchar, two of nvarchar.
    std::string bytes;
    switch (x.type.kind) {
      case TypeKind::kVarChar: case TypeKind::kChar: case TypeKind::kText:
        bytes = "length(" + x.sql + ")"; break;
      case TypeKind::kNVarChar: case TypeKind::kNChar: case TypeKind::kNText:
        bytes = "2 * length(" + x.sql + ")"; break;
      case TypeKind::kBit: case TypeKind::kTinyInt: bytes = "1"; break;
      case TypeKind::kSmallInt: bytes = "2"; break;
      case TypeKind::kInt: case TypeKind::kReal: case TypeKind::kSmallDateTime: bytes = "4"; break;
      case TypeKind::kBigInt: case TypeKind::kFloat: case TypeKind::kDateTime: bytes = "8"; break;
      case TypeKind::kMoney: bytes = x.type.precision == 10 ? "4" : "8"; break;
      case TypeKind::kDecimal:
        bytes = x.type.precision <= 9 ? "5" : x.type.precision <= 19 ? "9" : x.type.precision <= 28 ? "13" : "17";
        break;
      case TypeKind::kNull: return Derived("NULL", TypeInfo::Of(TypeKind::kInt), {});
      default: NotSupported("DATALENGTH of " + x.type.ToString(), line);
    }
    Fragment r = Derived("(CASE WHEN " + x.sql + " IS NULL THEN NULL ELSE " + bytes + " END)",
                      TypeInfo::Of(TypeKind::kInt), {&x});
    r.nullable = true;
    return r;
  }

  // ---- dates ----
  if (name == "datename") {
    argc_is(2, 2);
    std::string part = part_arg(0);
    Fragment d = date_arg(1);
    const std::string n = "t_datepart(" + part + ", " + d.sql + ")";
    std::string sql;
    if (part == "'month'") {
      sql = "(CASE " + n + " WHEN 1 THEN 'January' WHEN 2 THEN 'February' WHEN 3 THEN 'March' "
            "WHEN 4 THEN 'April' WHEN 5 THEN 'May' WHEN 6 THEN 'June' WHEN 7 THEN 'July' "
            "WHEN 8 THEN 'August' WHEN 9 THEN 'September' WHEN 10 THEN 'October' "
            "WHEN 11 THEN 'November' WHEN 12 THEN 'December' END)";
    } else if (part == "'weekday'") {
      sql = "(CASE " + n + " WHEN 1 THEN 'Sunday' WHEN 2 THEN 'Monday' WHEN 3 THEN 'Tuesday' "
            "WHEN 4 THEN 'Wednesday' WHEN 5 THEN 'Thursday' WHEN 6 THEN 'Friday' "
            "WHEN 7 THEN 'Saturday' END)";
    } else {
      sql = "CAST(" + n + " AS TEXT)";
    }
    Fragment r = Derived(sql, TypeInfo{TypeKind::kNVarChar, 0, 0, 30}, {&d});
    r.nullable = d.nullable;
    return r;
  }
  if (name == "getdate" || name == "current_timestamp") {
    argc_is(0, 0);
    return Derived("t_getdate()", TypeInfo::Of(TypeKind::kDateTime), {});
  }
  if (name == "year" || name == "month" || name == "day") {
    argc_is(1, 1);
    Fragment d = date_arg(0);
    return Derived("t_datepart('" + name + "', " + d.sql + ")", TypeInfo::Of(TypeKind::kInt), {&d});
  }
  if (name == "datepart") {
    argc_is(2, 2);
    std::string part = part_arg(0);
    Fragment d = date_arg(1);
    return Derived("t_datepart(" + part + ", " + d.sql + ")", TypeInfo::Of(TypeKind::kInt), {&d});
  }
  if (name == "dateadd") {
    argc_is(3, 3);
    std::string part = part_arg(0);
    Fragment n = int_arg(1);
    Fragment d = date_arg(2);
    return Derived("t_dateadd(" + part + ", " + n.sql + ", " + d.sql + ")",
                TypeInfo::Of(TypeKind::kDateTime), {&n, &d});
  }
  if (name == "datediff") {
    argc_is(3, 3);
    std::string part = part_arg(0);
    Fragment a = date_arg(1), b = date_arg(2);
    return Derived("t_datediff(" + part + ", " + a.sql + ", " + b.sql + ")",
                TypeInfo::Of(TypeKind::kInt), {&a, &b});
  }

  // ---- catalog ----
  if (name == "db_name") {
    argc_is(0, 0);
    return Derived("t_db_name()", TypeInfo{TypeKind::kNVarChar, 0, 0, 128}, {});
  }
  if (name == "scope_identity") {
    // No triggers insert behind the caller's back, so the scope's last identity is @@IDENTITY.
    argc_is(0, 0);
    ParamSource p;
    p.kind = ParamSource::Kind::kSystem;
    p.variable = "@@identity";
    p.type = TypeInfo::Decimal(38, 0);
    Fragment r;
    r.type = p.type;
    r.param = AddParam(std::move(p));
    r.sql = ParamSql(r.param);
    return r;
  }
  if (name == "object_id") {
    argc_is(1, 2);
    const ast::Expr& e = *f.args[0];
    if (e.kind != ast::ExprKind::kLiteral || e.As<ast::LiteralExpr>().type.IsText() == false)
      NotSupported("OBJECT_ID with an argument other than a string constant", line);
    const auto& lit = e.As<ast::LiteralExpr>();
    if (lit.literal_index >= 0) out().value_literals.push_back(lit.literal_index);
    for (size_t i = 1; i < f.args.size(); ++i) {
      const ast::Expr& t = *f.args[i];
      if (t.kind != ast::ExprKind::kLiteral) NotSupported("OBJECT_ID's type argument", line);
      const auto& tl = t.As<ast::LiteralExpr>();
      if (tl.literal_index >= 0) out().value_literals.push_back(tl.literal_index);
      const std::string kind = AsciiLower(tl.value);
      if (kind != "u" && kind != "v" && kind != "p") NotSupported("OBJECT_ID type '" + tl.value + "'", line);
      if (kind == "p") {
        Fragment r = Derived(ctx().catalog.FindProcedure(lit.value)
                                 ? std::to_string(ProcedureObjectId(lit.value))
                                 : "NULL",
                             TypeInfo::Of(TypeKind::kInt), {});
        r.nullable = true;
        return r;
      }
    }
    std::optional<TableInfo> t = ctx().catalog.FindTable(lit.value);
    std::string id = t ? std::to_string(ObjectIdOf(t->sqlite_name)) : std::string("NULL");
    // Without a type, a procedure's name gives its id too.
    if (!t && f.args.size() == 1 && ctx().catalog.FindProcedure(lit.value))
      id = std::to_string(ProcedureObjectId(lit.value));
    Fragment r = Derived(id, TypeInfo::Of(TypeKind::kInt), {});
    r.nullable = true;
    return r;
  }

  NotSupported("Function '" + JoinName(f.name) + "'", line);
}

}  // namespace morvesk::engine::bind
