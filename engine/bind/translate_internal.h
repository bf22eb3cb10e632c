// Per-statement translators called by Translate (translate.cpp), and the target
// lookup that UPDATE and DELETE share.
#pragma once

#include "engine/bind/binder.h"

namespace morvesk::engine::bind {

Translation TranslateSelect(Binder& b, const ast::SelectStmt& s);
Translation TranslateInsert(Binder& b, const ast::InsertStmt& s);
Translation TranslateUpdate(Binder& b, const ast::UpdateStmt& s);
Translation TranslateDelete(Binder& b, const ast::DeleteStmt& s);

// The FROM clause of UPDATE/DELETE bound into `scope`, and which of its sources
// is the target: an alias of FROM, the one instance of the named table in FROM,
// or (when FROM does not name it) the table added as one more cross-joined source.
struct DmlTarget {
  std::string from_sql;
  size_t source = 0;  // index into scope.sources
};
DmlTarget BindDmlTarget(Binder& b, const ast::Name& target,
                        const std::vector<ast::TableRefPtr>& from, Scope& scope, int line);
// The target of an UPDATE or DELETE without FROM as the one source of `scope`.
DmlTarget BindSingleTarget(Binder& b, const ast::Name& target, Scope& scope, int line);
// " LIMIT n" for UPDATE/DELETE TOP (n); a negative or NULL n fails with 1014 as it runs.
std::string DmlLimit(Binder& b, const ast::Expr& top, Scope& scope);

}  // namespace morvesk::engine::bind
