// Catalog and session functions: db_name, scope_identity, object_id, xact_state and the
// error_* functions of a CATCH block.
#include "engine/bind/bind_function_internal.h"
#include "engine/bind/object_id.h"

namespace morvesk::engine::bind {
namespace {

Fragment BindDbName(BuiltinCall& c) {
  c.ArgcIs(0, 0);
  return Derived("t_db_name()", TypeInfo{TypeKind::kNVarChar, 0, 0, 128}, {});
}

// A value of the session the runtime gives when the statement runs (see
// Interpreter::SystemValue).
Fragment SessionValue(BuiltinCall& c, const std::string& name, const TypeInfo& type) {
  c.ArgcIs(0, 0);
  ParamSource p;
  p.kind = ParamSource::Kind::kSystem;
  p.variable = name;
  p.type = type;
  Fragment r;
  r.type = p.type;
  r.param = c.binder.AddParam(std::move(p));
  r.sql = c.binder.ParamSql(r.param);
  return r;
}

// No triggers insert behind the caller's back, so the scope's last identity is @@IDENTITY.
Fragment BindScopeIdentity(BuiltinCall& c) {
  return SessionValue(c, "@@identity", TypeInfo::Decimal(38, 0));
}

Fragment BindXactState(BuiltinCall& c) {
  return SessionValue(c, "xact_state()", TypeInfo::Of(TypeKind::kSmallInt));
}

// error_number(), error_message() ...: NULL outside a CATCH block.
Fragment BindErrorFunction(BuiltinCall& c) {
  const bool text = c.name == "error_message" || c.name == "error_procedure";
  Fragment r = SessionValue(
      c, c.name + "()",
      text ? TypeInfo{TypeKind::kNVarChar, 0, 0, c.name == "error_message" ? 4000 : 128}
           : TypeInfo::Of(TypeKind::kInt));
  r.nullable = true;
  return r;
}

// object_id of a string constant is resolved while binding: the id is a constant of the
// statement, and the literals it was read from shape the translation.
Fragment BindObjectId(BuiltinCall& c) {
  c.ArgcIs(1, 2);
  Binder& b = c.binder;
  const ast::Expr& e = *c.call.args[0];
  if (e.kind != ast::ExprKind::kLiteral || e.As<ast::LiteralExpr>().type.IsText() == false)
    NotSupported("OBJECT_ID with an argument other than a string constant", c.line);
  const auto& lit = e.As<ast::LiteralExpr>();
  if (lit.literal_index >= 0) b.out().value_literals.push_back(lit.literal_index);
  for (size_t i = 1; i < c.argc(); ++i) {
    const ast::Expr& t = *c.call.args[i];
    if (t.kind != ast::ExprKind::kLiteral) NotSupported("OBJECT_ID's type argument", c.line);
    const auto& tl = t.As<ast::LiteralExpr>();
    if (tl.literal_index >= 0) b.out().value_literals.push_back(tl.literal_index);
    const std::string kind = AsciiLower(tl.value);
    if (kind != "u" && kind != "v" && kind != "p")
      NotSupported("OBJECT_ID type '" + tl.value + "'", c.line);
    if (kind == "p") {
      Fragment r = Derived(b.ctx().catalog.FindProcedure(lit.value)
                               ? std::to_string(ProcedureObjectId(lit.value))
                               : "NULL",
                           TypeInfo::Of(TypeKind::kInt), {});
      r.nullable = true;
      return r;
    }
  }
  std::optional<TableInfo> t = b.ctx().catalog.FindTable(lit.value);
  std::string id = t ? std::to_string(ObjectIdOf(t->sqlite_name)) : std::string("NULL");
  // Without a type, a procedure's name gives its id too.
  if (!t && c.argc() == 1 && b.ctx().catalog.FindProcedure(lit.value))
    id = std::to_string(ProcedureObjectId(lit.value));
  Fragment r = Derived(id, TypeInfo::Of(TypeKind::kInt), {});
  r.nullable = true;
  return r;
}

constexpr Builtin kCatalog[] = {
    {"db_name", BindDbName},
    {"scope_identity", BindScopeIdentity},
    {"object_id", BindObjectId},
    {"xact_state", BindXactState},
    {"error_number", BindErrorFunction},
    {"error_message", BindErrorFunction},
    {"error_severity", BindErrorFunction},
    {"error_state", BindErrorFunction},
    {"error_line", BindErrorFunction},
    {"error_procedure", BindErrorFunction},
};

}  // namespace

std::span<const Builtin> CatalogBuiltins() { return kCatalog; }

}  // namespace morvesk::engine::bind
