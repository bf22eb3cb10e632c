// Built-in function binders: one file per family (bind_function_<family>.cpp), each
// listing its functions by name, and what they share: the call being bound and the
// argument checks every family makes the same way. Binder::BindFunction
// (bind_function.cpp) looks a call's name up in their lists. Only the binder's
// function files include this header.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "engine/bind/binder.h"

namespace morvesk::engine::bind {

// One call of a built-in function while it is bound.
struct BuiltinCall {
  Binder& binder;
  const ast::FunctionCall& call;
  Scope& scope;
  std::string name;  // lower case, without the dbo. qualifier
  int line;

  size_t argc() const { return call.args.size(); }
  // Error 174 unless the call has from `lo` to `hi` arguments.
  void ArgcIs(size_t lo, size_t hi) const;
  // Error 189 when a function of many arguments has fewer than `lo`; the text names
  // the most it takes, `hi`.
  void ArgcAtLeast(size_t lo, size_t hi) const;
  // Argument i bound as an expression; a condition there is error 4145.
  Fragment Arg(size_t i);
  // Argument i converted to int, as counts, lengths and positions are.
  Fragment IntArg(size_t i);
  // "DISTINCT " spelled into an aggregate's argument list when the call has it.
  std::string Distinct() const { return call.distinct ? "DISTINCT " : ""; }
};

using BuiltinBinder = Fragment (*)(BuiltinCall&);

struct Builtin {
  std::string_view name;  // lower case
  BuiltinBinder bind;
};

// The families. A binder serving several names tells them apart by BuiltinCall::name.
std::span<const Builtin> AggregateBuiltins();  // count, sum, avg, min, max
std::span<const Builtin> NullBuiltins();       // isnull, coalesce, nullif
std::span<const Builtin> MathBuiltins();       // round, abs, sign, floor, ceiling
std::span<const Builtin> StringBuiltins();     // len, substring, charindex, datalength ...
std::span<const Builtin> DateBuiltins();       // datepart, dateadd, datediff, getdate ...
std::span<const Builtin> CatalogBuiltins();    // db_name, scope_identity, object_id

// row_number, rank, dense_rank and ntile with their OVER clause (bind_function_window.cpp).
Fragment BindWindowCall(BuiltinCall& c);

}  // namespace morvesk::engine::bind
