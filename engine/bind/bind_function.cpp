// Binding of built-in functions and CAST/CONVERT: each maps to a SQLite
// expression over the t_* library of engine/value/sqlfunc.h. The functions' own
// binders live one family per file (bind_function_<family>.cpp); this file finds a
// call's binder by name and holds the argument checks they share.
#include <unordered_map>

#include "engine/bind/bind_function_internal.h"

namespace morvesk::engine::bind {
namespace {

// Every built-in by lower-case name, gathered once from the families' lists.
const std::unordered_map<std::string_view, BuiltinBinder>& Builtins() {
  static const std::unordered_map<std::string_view, BuiltinBinder> table = [] {
    std::unordered_map<std::string_view, BuiltinBinder> t;
    for (auto family : {AggregateBuiltins(), NullBuiltins(), MathBuiltins(), StringBuiltins(),
                        DateBuiltins(), CatalogBuiltins()})
      for (const Builtin& b : family) t.emplace(b.name, b.bind);
    return t;
  }();
  return table;
}

}  // namespace

void BuiltinCall::ArgcIs(size_t lo, size_t hi) const {
  if (argc() < lo || argc() > hi)
    Fail(174,
         "The " + name + " function requires " + std::to_string(lo) +
             (hi > lo ? " to " + std::to_string(hi) : std::string()) + " argument(s).",
         line, 15);
}

void BuiltinCall::ArgcAtLeast(size_t lo, size_t hi) const {
  if (argc() < lo)
    Fail(189,
         "The " + name + " function requires " + std::to_string(lo) + " to " + std::to_string(hi) +
             " arguments.",
         line, 15);
}

Fragment BuiltinCall::Arg(size_t i) {
  Fragment a = binder.BindExpr(*call.args[i], scope);
  if (a.predicate) Fail(4145, "A condition cannot be used as a function argument.", line);
  return a;
}

Fragment BuiltinCall::IntArg(size_t i) {
  return binder.Convert(Arg(i), TypeInfo::Of(TypeKind::kInt));
}

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
  if (f.name.size() > 1 && !(f.name.size() == 2 && EqualsNoCase(f.name[0], "dbo")))
    NotSupported("Function '" + JoinName(f.name) + "'", f.line);
  BuiltinCall call{*this, f, scope, f.LowerName(), f.line};
  if (f.over) return BindWindowCall(call);
  const auto& table = Builtins();
  auto it = table.find(call.name);
  if (it == table.end()) NotSupported("Function '" + JoinName(f.name) + "'", f.line);
  return it->second(call);
}

}  // namespace morvesk::engine::bind
