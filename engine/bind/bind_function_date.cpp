// Dates: datepart, datename, dateadd, datediff, year, month, day and getdate. The
// datepart argument is a bare word, bound here to the canonical name the t_date*
// functions take.
#include <optional>

#include "engine/bind/bind_function_internal.h"

namespace morvesk::engine::bind {
namespace {

// Canonical datepart names; the t_date* functions take these.
std::optional<std::string> DatePartName(std::string_view word) {
  static const std::pair<const char*, const char*> kParts[] = {{"year", "year"},
                                                               {"yy", "year"},
                                                               {"yyyy", "year"},
                                                               {"quarter", "quarter"},
                                                               {"qq", "quarter"},
                                                               {"q", "quarter"},
                                                               {"month", "month"},
                                                               {"mm", "month"},
                                                               {"m", "month"},
                                                               {"dayofyear", "dayofyear"},
                                                               {"dy", "dayofyear"},
                                                               {"y", "dayofyear"},
                                                               {"day", "day"},
                                                               {"dd", "day"},
                                                               {"d", "day"},
                                                               {"week", "week"},
                                                               {"wk", "week"},
                                                               {"ww", "week"},
                                                               {"weekday", "weekday"},
                                                               {"dw", "weekday"},
                                                               {"hour", "hour"},
                                                               {"hh", "hour"},
                                                               {"minute", "minute"},
                                                               {"mi", "minute"},
                                                               {"n", "minute"},
                                                               {"second", "second"},
                                                               {"ss", "second"},
                                                               {"s", "second"},
                                                               {"millisecond", "millisecond"},
                                                               {"ms", "millisecond"}};
  const std::string w = AsciiLower(word);
  for (const auto& [k, v] : kParts)
    if (w == k) return std::string(v);
  return std::nullopt;
}

// The datepart word of argument i as a SQLite string constant; anything but a known
// bare word is error 155.
std::string PartArg(const BuiltinCall& c, size_t i) {
  const ast::Expr& e = *c.call.args[i];
  std::string word;
  if (e.kind == ast::ExprKind::kColumn && e.As<ast::ColumnRef>().parts.size() == 1)
    word = e.As<ast::ColumnRef>().parts[0];
  std::optional<std::string> part = DatePartName(word);
  if (!part) Fail(155, "'" + ast::ToSql(e) + "' is not a recognized datepart option.", c.line, 15);
  return QuoteText(*part);
}

// A date argument; text and numbers convert to datetime as the server converts them.
Fragment DateArg(BuiltinCall& c, size_t i) {
  Fragment a = c.Arg(i);
  if (a.type.IsDateTime()) return a;
  return c.binder.Convert(std::move(a), TypeInfo::Of(TypeKind::kDateTime));
}

// datename spells months and weekdays in English; other parts are their numbers as text.
Fragment BindDateName(BuiltinCall& c) {
  c.ArgcIs(2, 2);
  std::string part = PartArg(c, 0);
  Fragment d = DateArg(c, 1);
  const std::string n = "t_datepart(" + part + ", " + d.sql + ")";
  std::string sql;
  if (part == "'month'") {
    sql = "(CASE " + n +
          " WHEN 1 THEN 'January' WHEN 2 THEN 'February' WHEN 3 THEN 'March' "
          "WHEN 4 THEN 'April' WHEN 5 THEN 'May' WHEN 6 THEN 'June' WHEN 7 THEN 'July' "
          "WHEN 8 THEN 'August' WHEN 9 THEN 'September' WHEN 10 THEN 'October' "
          "WHEN 11 THEN 'November' WHEN 12 THEN 'December' END)";
  } else if (part == "'weekday'") {
    sql = "(CASE " + n +
          " WHEN 1 THEN 'Sunday' WHEN 2 THEN 'Monday' WHEN 3 THEN 'Tuesday' "
          "WHEN 4 THEN 'Wednesday' WHEN 5 THEN 'Thursday' WHEN 6 THEN 'Friday' "
          "WHEN 7 THEN 'Saturday' END)";
  } else {
    sql = "CAST(" + n + " AS TEXT)";
  }
  Fragment r = Derived(sql, TypeInfo{TypeKind::kNVarChar, 0, 0, 30}, {&d});
  r.nullable = d.nullable;
  return r;
}

Fragment BindGetDate(BuiltinCall& c) {
  c.ArgcIs(0, 0);
  return Derived("t_getdate()", TypeInfo::Of(TypeKind::kDateTime), {});
}

// year, month and day are datepart of the part their name says.
Fragment BindYearMonthDay(BuiltinCall& c) {
  c.ArgcIs(1, 1);
  Fragment d = DateArg(c, 0);
  return Derived("t_datepart('" + c.name + "', " + d.sql + ")", TypeInfo::Of(TypeKind::kInt), {&d});
}

Fragment BindDatePart(BuiltinCall& c) {
  c.ArgcIs(2, 2);
  std::string part = PartArg(c, 0);
  Fragment d = DateArg(c, 1);
  return Derived("t_datepart(" + part + ", " + d.sql + ")", TypeInfo::Of(TypeKind::kInt), {&d});
}

Fragment BindDateAdd(BuiltinCall& c) {
  c.ArgcIs(3, 3);
  std::string part = PartArg(c, 0);
  Fragment n = c.IntArg(1);
  Fragment d = DateArg(c, 2);
  return Derived("t_dateadd(" + part + ", " + n.sql + ", " + d.sql + ")",
                 TypeInfo::Of(TypeKind::kDateTime), {&n, &d});
}

Fragment BindDateDiff(BuiltinCall& c) {
  c.ArgcIs(3, 3);
  std::string part = PartArg(c, 0);
  Fragment a = DateArg(c, 1), b = DateArg(c, 2);
  return Derived("t_datediff(" + part + ", " + a.sql + ", " + b.sql + ")",
                 TypeInfo::Of(TypeKind::kInt), {&a, &b});
}

constexpr Builtin kDates[] = {
    {"datename", BindDateName}, {"getdate", BindGetDate},    {"current_timestamp", BindGetDate},
    {"year", BindYearMonthDay}, {"month", BindYearMonthDay}, {"day", BindYearMonthDay},
    {"datepart", BindDatePart}, {"dateadd", BindDateAdd},    {"datediff", BindDateDiff},
};

}  // namespace

std::span<const Builtin> DateBuiltins() { return kDates; }

}  // namespace morvesk::engine::bind
