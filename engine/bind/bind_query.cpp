// Binding of query expressions: FROM sources and joins, the select list (with *
// expansion), WHERE, GROUP BY, HAVING, TOP, DISTINCT, UNION [ALL] and ORDER BY.
// Output columns are named c1..cN in SQLite text; their T-SQL names travel in
// BoundQuery::columns.
#include <algorithm>
#include <charconv>
#include <limits>
#include <set>

#include "engine/bind/binder.h"

namespace morvesk::engine::bind {
namespace {

// ORDER BY of select-list names, columns or ordinals only: anything else could hold an
// aggregate bound after the select list, which runtime grouping would not see.
bool OrdersByColumnsOnly(const ast::Query& q) {
  for (const ast::OrderItem& oi : q.order_by)
    if (oi.expr->kind != ast::ExprKind::kColumn && oi.expr->kind != ast::ExprKind::kLiteral)
      return false;
  return true;
}

// True when a top-level AND term of `where` pins a #temp table column to one value: the
// query reads a handful of rows through the runtime's automatic index, and grouping
// them in SQLite costs less than a runtime grouping's extra steps.
bool PinsTempTableColumn(const ast::Expr* where, const Scope& scope) {
  if (where == nullptr) return false;
  if (where->kind == ast::ExprKind::kLogical) {
    const auto& l = where->As<ast::LogicalExpr>();
    return l.op == ast::LogicalOp::kAnd &&
           (PinsTempTableColumn(l.left.get(), scope) || PinsTempTableColumn(l.right.get(), scope));
  }
  if (where->kind != ast::ExprKind::kCompare) return false;
  const auto& c = where->As<ast::CompareExpr>();
  if (c.op != ast::CompareOp::kEq) return false;
  auto is_value = [](const ast::Expr& e) {
    return e.kind == ast::ExprKind::kLiteral || e.kind == ast::ExprKind::kVariable;
  };
  const ast::Expr* column = is_value(*c.right) ? c.left.get() : is_value(*c.left) ? c.right.get() : nullptr;
  if (column == nullptr) return false;
  const auto at = LocateColumn(*column, scope);
  if (!at) return false;
  const Source& src = scope.sources[at->first];
  return src.table && src.table->is_temp;
}

struct Branch {
  Scope scope;
  std::vector<std::string> keys;  // GROUP BY expressions (SQLite text)
  std::vector<Fragment> items;
  std::vector<std::string> names;
  std::vector<bool> is_text_source;
  std::string body;   // FROM ... WHERE ... GROUP BY ... HAVING ...
  bool distinct = false;
  bool grouped = false;  // GROUP BY, or aggregates in the select list or HAVING
  std::string limit;  // LIMIT text when TOP was given
  int identity_position = -1;
  const ast::IdentityExpr* identity = nullptr;
};

// "s0"."FQty" -> "b.FQty" for messages.
std::string DisplayColumn(const std::string& sql, const Scope& scope) {
  for (const Source& s : scope.sources) {
    if (sql.rfind(s.sqlite_alias + ".", 0) != 0) continue;
    for (const SourceColumn& c : s.columns)
      if (sql == s.sqlite_alias + "." + c.sql) return s.alias + "." + c.name;
  }
  return sql;
}

bool IsIntegerLiteral(const ast::Expr& e, int64_t& value) {
  if (e.kind != ast::ExprKind::kLiteral) return false;
  const auto& l = e.As<ast::LiteralExpr>();
  if (l.form != ast::LiteralExpr::Form::kInteger) return false;
  // A position too large for 64 bits is simply out of range of the select list.
  auto [end, ec] = std::from_chars(l.value.data(), l.value.data() + l.value.size(), value);
  (void)end;
  if (ec != std::errc()) value = std::numeric_limits<int64_t>::max();
  return true;
}

// True when the sources [begin, end) of an inner join's left side are just one UNION view
// at the head of the FROM list. SQLite streams such a view only while it stays the outer
// loop; joined as a peer it is first copied whole into a scratch table. The view is the
// large side of every such join in practice, so the join is written as a CROSS JOIN,
// which keeps the order as written.
bool LeadsWithUnionView(const Scope& scope, size_t begin, size_t end) {
  return begin == 0 && end == 1 && scope.sources[0].table &&
         scope.sources[0].table->is_compound_view;
}

// True when every join between the FROM list's first table source and the top of `ref`
// keeps all rows of that source's side (inner, cross and left joins): a UNION view there
// may then be joined one arm at a time.
bool KeepsLeadingSide(const ast::TableRef& ref) {
  if (ref.kind != ast::TableRefKind::kJoin) return true;
  const auto& j = ref.As<ast::JoinRef>();
  const bool keeps = j.type == ast::JoinType::kInner || j.type == ast::JoinType::kLeft ||
                     j.type == ast::JoinType::kCross;
  return keeps && KeepsLeadingSide(*j.left);
}

// Tables at most this large are read through a scratch index when they are joined beside
// a leading UNION view. Building the index costs about a microsecond a row, every time the
// statement runs; the view saves a fraction of that on each of its rows, and a view worth
// leading a join streams many times more rows than this.
constexpr int64_t kScratchLookupRows = 32768;

}  // namespace

std::string Binder::MaybeScratchLookup(const Scope& scope, size_t at, std::string sql) {
  if (!scratch_lookups_ || !ctx_.row_bound || scope.parent != nullptr || at == 0 ||
      !LeadsWithUnionView(scope, 0, 1) || at + 1 != scope.sources.size())
    return sql;
  const Source& s = scope.sources[at];
  if (!s.table || s.table->is_view || !s.filled_table.empty()) return sql;
  const std::optional<int64_t> rows = ctx_.row_bound(*s.table);
  if (!rows || *rows > kScratchLookupRows) return sql;
  out_.small_tables.push_back({s.table->sqlite_name, kScratchLookupRows});
  PendingLookup l{"\x01lookup " + s.sqlite_alias + "\x01", s.sqlite_alias, s.table->sqlite_name};
  sql = l.marker + " AS " + s.sqlite_alias;
  lookups_.push_back(std::move(l));
  return sql;
}

std::vector<std::string> Binder::JoinArmByArm(const ast::SelectCore& core, const Scope& scope,
                                              const std::string& select,
                                              const std::string& from_where) {
  if (!arm_joins_ || !ctx_.inline_views || scope.parent != nullptr || scope.sources.empty() ||
      !LeadsWithUnionView(scope, 0, 1) || core.from.empty() || !KeepsLeadingSide(*core.from[0]))
    return {};
  const PendingView* view = nullptr;
  for (const PendingView& v : views_)
    if (v.sqlite_alias == scope.sources[0].sqlite_alias) view = &v;
  if (view == nullptr || from_where.find(view->marker) == std::string::npos) return {};
  std::vector<std::string> parts;
  for (size_t a = 0; a < view->table->view_arms.size(); ++a) {
    std::string arm = from_where;
    ReplaceAll(arm, view->marker, ArmMarker(*view, a));
    parts.push_back(select + arm);
  }
  return parts;
}

Source Binder::SourceForTable(const ast::Name& name, const std::string& alias, int line) {
  const std::string full = JoinName(name);
  std::optional<TableInfo> t = ctx_.catalog.FindTable(full);
  if (!t) Fail(208, "Invalid object name '" + full + "'.", line);
  Source s;
  s.has_alias = !alias.empty();
  s.alias = s.has_alias ? alias : name.back();
  s.sqlite_alias = NewAlias();
  for (const ColumnInfo& c : t->columns) {
    SourceColumn sc;
    sc.name = c.name;
    sc.type = c.type;
    sc.nullable = c.nullable;
    sc.identity = c.identity;
    sc.sql = QuoteId(c.name);
    s.columns.push_back(std::move(sc));
  }
  s.table = std::move(t);
  return s;
}

std::string Binder::BindTableRef(const ast::TableRef& ref, Scope& scope) {
  switch (ref.kind) {
    case ast::TableRefKind::kNamed: {
      const auto& n = ref.As<ast::NamedTable>();
      Source s = SourceForTable(n.name, n.alias, ref.line);
      std::string sql = s.table->sqlite_name + " AS " + s.sqlite_alias;
      if (!s.table->view_arms.empty()) {
        // Written in once the statement is bound and its columns are known.
        PendingView v{"\x01view " + s.sqlite_alias + "\x01", s.sqlite_alias,
                      std::make_shared<const TableInfo>(*s.table)};
        sql = v.marker + " AS " + s.sqlite_alias;
        views_.push_back(std::move(v));
      }
      s.sql = sql;
      scope.sources.push_back(std::move(s));
      return sql;
    }
    case ast::TableRefKind::kDerived: {
      const auto& d = ref.As<ast::DerivedTable>();
      RefuseNestedOrder(*d.query);
      BoundQuery q = BindQuery(*d.query, scope.parent);
      Source s;
      s.alias = d.alias;
      s.has_alias = true;
      s.sqlite_alias = NewAlias();
      if (!d.columns.empty() && d.columns.size() != q.columns.size())
        Fail(q.columns.size() > d.columns.size() ? 8158 : 8159,
             "'" + d.alias + "' has " + (q.columns.size() > d.columns.size() ? "more" : "fewer") +
                 " columns than were specified in the column list.",
             ref.line);
      std::set<std::string> seen;
      for (size_t i = 0; i < q.columns.size(); ++i) {
        const std::string& nm = d.columns.empty() ? q.columns[i].name : d.columns[i];
        if (nm.empty())
          Fail(8155, "No column name was specified for column " + std::to_string(i + 1) + " of '" +
                         d.alias + "'.",
               ref.line);
        if (!seen.insert(AsciiLower(nm)).second)
          Fail(8156, "The column '" + nm + "' was specified multiple times for '" + d.alias + "'.",
               ref.line);
        SourceColumn sc;
        sc.name = nm;
        sc.type = q.columns[i].type;
        sc.nullable = q.nullable[i];
        sc.sql = QuoteId("c" + std::to_string(i + 1));
        s.columns.push_back(std::move(sc));
      }
      std::string sql = "(" + q.sql + ") AS " + s.sqlite_alias;
      // Not inside a subquery (it could read the outer row there), and grouped.
      if (materialize_grouped_ && scope.parent == nullptr && d.query->branches.size() == 1 &&
          !d.query->first().group_by.empty()) {
        s.filled_table = "__tsql_grouped_" + std::to_string(pre_steps_.size() / 4 + 1) + "_" +
                         std::to_string(std::hash<std::string>{}(q.sql) % 1000000007);
        const std::string table = "temp." + QuoteId(s.filled_table);
        // Typed as their values are stored, so that comparisons with table columns keep
        // their affinity and an index on the table can serve them.
        std::string cols;
        for (size_t i = 0; i < q.columns.size(); ++i)
          cols += (i ? ", " : "") + QuoteId("c" + std::to_string(i + 1)) + " " +
                  StorageDecl(q.columns[i].type);
        pre_steps_.push_back({"DROP TABLE IF EXISTS " + table, false});
        pre_steps_.push_back({"CREATE TABLE " + table + "(" + cols + ")", false});
        pre_steps_.push_back({"INSERT INTO " + table + " " + q.sql, true});
        // Its row count, so that the planner neither under- nor overrates it.
        pre_steps_.push_back({"ANALYZE " + table, false});
        sql = table + " AS " + s.sqlite_alias;
      }
      s.sql = sql;
      s.key_columns = q.key_columns;
      scope.sources.push_back(std::move(s));
      return sql;
    }
    case ast::TableRefKind::kJoin: {
      const auto& j = ref.As<ast::JoinRef>();
      const size_t left_begin = scope.sources.size();
      std::string left = BindTableRef(*j.left, scope);
      const size_t right_begin = scope.sources.size();
      std::string right = BindTableRef(*j.right, scope);
      const size_t right_end = scope.sources.size();
      if (j.right->kind == ast::TableRefKind::kNamed &&
          (j.type == ast::JoinType::kInner || j.type == ast::JoinType::kLeft))
        right = MaybeScratchLookup(scope, right_begin, std::move(right));
      if (j.right->kind == ast::TableRefKind::kJoin) right = "(" + right + ")";
      auto make_nullable = [&](size_t from, size_t to) {
        for (size_t i = from; i < to; ++i)
          for (SourceColumn& c : scope.sources[i].columns) c.nullable = true;
      };
      std::string kw;
      switch (j.type) {
        case ast::JoinType::kInner:
          kw = LeadsWithUnionView(scope, left_begin, right_begin) ? " CROSS JOIN " : " JOIN ";
          break;
        case ast::JoinType::kLeft: kw = " LEFT JOIN "; make_nullable(right_begin, right_end); break;
        case ast::JoinType::kRight: kw = " RIGHT JOIN "; make_nullable(left_begin, right_begin); break;
        case ast::JoinType::kFull: kw = " FULL JOIN "; make_nullable(left_begin, right_end); break;
        case ast::JoinType::kCross: return left + " JOIN " + right;
      }
      if (!j.on) Fail(102, "Incorrect syntax near 'JOIN'.", ref.line, 15);
      Fragment on = BindPredicate(*j.on, scope);
      return left + kw + right + " ON " + on.sql;
    }
  }
  NotSupported("This table source", ref.line);
}

std::string Binder::BindFrom(const std::vector<ast::TableRefPtr>& from, Scope& scope) {
  std::string sql;
  for (const auto& ref : from) {
    if (!sql.empty())
      sql += LeadsWithUnionView(scope, 0, scope.sources.size()) ? " CROSS JOIN " : ", ";
    const size_t at = scope.sources.size();
    std::string one = BindTableRef(*ref, scope);
    if (ref->kind == ast::TableRefKind::kNamed) one = MaybeScratchLookup(scope, at, std::move(one));
    sql += one;
  }
  return sql;
}

BoundQuery Binder::BindQuery(const ast::Query& q, const Scope* parent, const QueryOptions& opts) {
  std::vector<Branch> branches;
  const bool assignment = q.IsAssignment();
  // Ranking functions of this query level only: a nested query counts its own.
  struct WindowCount {
    int& count;
    const int outer;
    ~WindowCount() { count = outer; }
  } window_count{windows_, windows_};
  windows_ = 0;
  // Ranking functions number the rows a query returns: they may stand in its select list
  // and ORDER BY only.
  auto no_window_since = [&](int count, int line) { RefuseWindowsSince(count, line); };
  for (size_t bi = 0; bi < q.branches.size(); ++bi) {
    const ast::SelectCore& core = *q.branches[bi];
    Branch b;
    b.scope.parent = parent;
    if (core.into && !(opts.allow_into && bi == 0))
      Fail(156, "Incorrect syntax near the keyword 'INTO'.", core.line, 15);
    std::string body;
    const int windows_at_from = windows_;
    if (!core.from.empty()) body = " FROM " + BindFrom(core.from, b.scope);
    // A whole #table grouped: read in table order and sorted. Read through one of the
    // runtime's automatic indexes (which SQLite takes for the part of the grouping they
    // cover), every row would be a look-up in random order.
    if (core.from.size() == 1 && core.from[0]->kind == ast::TableRefKind::kNamed && !core.where &&
        !core.group_by.empty() && b.scope.sources.size() == 1 && b.scope.sources[0].table &&
        b.scope.sources[0].table->is_temp && !b.scope.sources[0].table->is_view) {
      body += " NOT INDEXED";
    }
    if (core.where) {
      const int windows_at_where = windows_;
      Fragment w = BindPredicate(*core.where, b.scope);
      no_window_since(windows_at_where, core.where->line);
      if (w.aggregate)
        Fail(147, "An aggregate may not appear in the WHERE clause unless it is in a subquery "
                  "contained in a HAVING clause or a select list, and the column being aggregated "
                  "is an outer reference.",
             core.where->line);
      body += " WHERE " + w.sql;
    }
    std::set<std::string> grouped_columns;
    std::vector<Fragment> keys;
    const size_t from_where_end = body.size();
    if (!core.group_by.empty()) {
      std::string g;
      for (const auto& e : core.group_by) {
        const int windows_at_key = windows_;
        Fragment f = BindExpr(*e, b.scope);
        no_window_since(windows_at_key, e->line);
        if (f.aggregate) Fail(144, "Cannot use an aggregate or a subquery in an expression used for the group by list of a GROUP BY clause.", e->line);
        grouped_columns.insert(f.bare_columns.begin(), f.bare_columns.end());
        if (!g.empty()) g += ", ";
        g += f.sql + (f.type.IsText() ? " COLLATE TSQL" : "");
        keys.push_back(std::move(f));
      }
      body += " GROUP BY " + g;
    }
    // A grouped query of the statement's own level (not inside a subquery, where it
    // could read the outer row) may be grouped by the runtime; its aggregates are noted.
    AggregateLog log;
    log.scope = &b.scope;
    AggregateLog* const outer_log = aggregate_log_;
    const bool hashable = hash_groupings_ && parent == nullptr && q.branches.size() == 1 &&
                          !keys.empty() && OrdersByColumnsOnly(q) &&
                          !PinsTempTableColumn(core.where.get(), b.scope);
    aggregate_log_ = hashable ? &log : nullptr;
    for (const ast::SelectItem& item : core.items) {
      if ((item.kind == ast::SelectItem::Kind::kAssign) != assignment)
        Fail(141, "A SELECT statement that assigns a value to a variable must not be combined "
                  "with data-retrieval operations.",
             item.line);
      if (assignment && !opts.allow_assign)
        Fail(141, "A SELECT statement that assigns a value to a variable must not be combined "
                  "with data-retrieval operations.",
             item.line);
      if (item.kind == ast::SelectItem::Kind::kStar) {
        bool matched = false;
        for (const Source& s : b.scope.sources) {
          if (!item.star_qualifier.empty() && !EqualsNoCase(s.alias, item.star_qualifier.back()))
            continue;
          matched = true;
          for (const SourceColumn& c : s.columns) {
            Fragment f;
            f.sql = s.sqlite_alias + "." + c.sql;
            NoteColumnUse(s.sqlite_alias, c.sql);
            f.type = c.type;
            f.nullable = c.nullable;
            f.bare_columns.push_back(f.sql);
            b.items.push_back(std::move(f));
            b.names.push_back(c.name);
          }
        }
        if (!matched) {
          if (item.star_qualifier.empty())
            Fail(263, "Must specify table to select from.", item.line);
          Fail(107, "The column prefix '" + JoinName(item.star_qualifier) +
                        "' does not match with a table name or alias name used in the query.",
               item.line);
        }
        continue;
      }
      if (item.expr->kind == ast::ExprKind::kIdentity) {
        if (!opts.allow_identity || bi != 0)
          Fail(177, "The IDENTITY function can only be used when the SELECT statement has an "
                    "INTO clause.",
               item.line, 15);
        if (b.identity != nullptr)
          Fail(2744, "Multiple identity columns specified for table. Only one identity column per "
                     "table is allowed.",
               item.line);
        b.identity = &item.expr->As<ast::IdentityExpr>();
        b.identity_position = static_cast<int>(b.items.size());
        Fragment f;
        f.sql = "NULL";
        f.type = b.identity->type.type;
        f.nullable = false;
        b.items.push_back(std::move(f));
        b.names.push_back(item.alias);
        continue;
      }
      Fragment f = BindExpr(*item.expr, b.scope);
      if (f.predicate) Fail(102, "Incorrect syntax near '" + ast::ToSql(*item.expr) + "'.", item.line, 15);
      std::string nm = item.kind == ast::SelectItem::Kind::kAssign ? item.variable : item.alias;
      if (nm.empty() && item.expr->kind == ast::ExprKind::kColumn)
        nm = item.expr->As<ast::ColumnRef>().parts.back();
      b.items.push_back(std::move(f));
      b.names.push_back(nm);
    }
    std::optional<Fragment> having;
    const int windows_at_having = windows_;
    if (core.having) having = BindPredicate(*core.having, b.scope);
    if (core.having) no_window_since(windows_at_having, core.having->line);
    aggregate_log_ = outer_log;
    if (!(hashable && windows_ == windows_at_from &&
          HashGroup(core, b.items, having, log, b.scope, body, from_where_end)) &&
        having) {
      body += " HAVING " + having->sql;
    }
    bool grouped = !core.group_by.empty() || (having && having->aggregate);
    for (const Fragment& f : b.items) grouped = grouped || f.aggregate;
    b.grouped = grouped;
    if (grouped) {
      auto check = [&](const Fragment& f, const char* where) {
        for (const std::string& c : f.bare_columns)
          if (!grouped_columns.count(c))
            Fail(8120, "Column '" + DisplayColumn(c, b.scope) + "' is invalid in the " + where +
                           " because it is not contained in either an aggregate function or the "
                           "GROUP BY clause.",
                 core.line);
      };
      for (const Fragment& f : b.items) check(f, "select list");
      if (having) check(*having, "HAVING clause");
    }
    if (core.top) {
      if (core.top->percent) NotSupported("TOP ... PERCENT", core.line);
      if (core.top->with_ties) NotSupported("TOP ... WITH TIES", core.line);
      Fragment n = Convert(BindExpr(*core.top->count, b.scope), TypeInfo::Of(TypeKind::kBigInt));
      b.limit = " LIMIT " + TopCount(n);
    }
    for (const Fragment& k : keys) b.keys.push_back(k.sql);
    b.distinct = core.distinct;
    b.body = std::move(body);
    branches.push_back(std::move(b));
  }

  // Output types: every branch converted to the type the UNION rule gives.
  const size_t ncol = branches[0].items.size();
  for (const Branch& b : branches)
    if (b.items.size() != ncol)
      Fail(205, "All queries combined using a UNION, INTERSECT or EXCEPT operator must have an "
                "equal number of expressions in their target lists.",
           q.line);
  BoundQuery out;
  if (branches.size() == 1 && !branches[0].keys.empty() && !branches[0].distinct) {
    for (const std::string& k : branches[0].keys) {
      const auto& items = branches[0].items;
      auto at = std::find_if(items.begin(), items.end(), [&](const Fragment& f) { return f.sql == k; });
      if (at == items.end()) {
        out.key_columns.clear();
        break;
      }
      out.key_columns.push_back(static_cast<size_t>(at - items.begin()));
    }
  }
  out.at_most_one_row =
      branches.size() == 1 &&
      (q.branches[0]->from.empty() || (branches[0].grouped && q.branches[0]->group_by.empty()));
  out.identity_position = branches[0].identity_position;
  out.identity = branches[0].identity;
  std::vector<TypeInfo> types(ncol);
  for (size_t i = 0; i < ncol; ++i) {
    bool nullable = false;
    TypeInfo t;
    for (const Branch& b : branches) {
      const Fragment& f = b.items[i];
      nullable = nullable || f.nullable;
      if (f.null_literal) continue;
      if (t.kind != TypeKind::kNull && t.IsText() && f.type.IsText()) {
        t.length = (t.length < 0 || f.type.length < 0) ? -1 : std::max(t.length, f.type.length);
        t.kind = std::max(t.kind, f.type.kind);
      } else {
        t = UnifyTypes(t, f.type);
      }
    }
    if (t.kind == TypeKind::kNull) t = TypeInfo::Of(TypeKind::kInt);  // SELECT NULL is int
    if (opts.target_types && i < opts.target_types->size() &&
        (*opts.target_types)[i].kind != TypeKind::kNull)
      t = (*opts.target_types)[i];
    types[i] = t;
    out.columns.push_back(Column{branches[0].names[i], t});
    out.nullable.push_back(nullable);
  }

  std::vector<std::string> branch_sql;
  size_t first_select_length = 0;  // where the first branch's FROM ... begins
  std::vector<ViewArm> arms;
  for (Branch& b : branches) {
    std::string sql = b.distinct ? "SELECT DISTINCT " : "SELECT ";
    ViewArm arm;
    for (size_t i = 0; i < ncol; ++i) {
      Fragment f = b.items[i];
      if (!(f.type.IsText() && types[i].IsText() &&
            (types[i].length < 0 || (f.type.length > 0 && f.type.length <= types[i].length))))
        f = Convert(std::move(f), types[i]);
      if (i) sql += ", ";
      std::string item = f.sql + (types[i].IsText() ? " COLLATE TSQL" : "");
      sql += item + " AS " + QuoteId("c" + std::to_string(i + 1));
      arm.items.push_back(std::move(item));
    }
    if (branch_sql.empty()) first_select_length = sql.size();
    sql += b.body;
    arm.body = b.body;
    branch_sql.push_back(std::move(sql));
    arms.push_back(std::move(arm));
  }

  // ORDER BY: a select-list name or ordinal becomes the output position.
  std::string order;
  std::string hidden_columns;  // ORDER BY expressions outside the select list, for identity
  int hidden_count = 0;
  const bool compound = branches.size() > 1;
  Branch& first = branches[0];
  for (const ast::OrderItem& oi : q.order_by) {
    int position = 0;
    int64_t ordinal = 0;
    std::string expr_sql;
    bool text = false;
    if (IsIntegerLiteral(*oi.expr, ordinal)) {
      if (ordinal < 1 || ordinal > static_cast<int64_t>(ncol))
        Fail(108, "The ORDER BY position number " + std::to_string(ordinal) +
                      " is out of range of the number of items in the select list.",
             oi.line);
      position = static_cast<int>(ordinal);
    } else {
      if (oi.expr->kind == ast::ExprKind::kColumn &&
          oi.expr->As<ast::ColumnRef>().parts.size() == 1) {
        const std::string& nm = oi.expr->As<ast::ColumnRef>().parts[0];
        for (size_t i = 0; i < ncol && position == 0; ++i)
          if (!assignment && EqualsNoCase(first.names[i], nm)) position = static_cast<int>(i + 1);
      }
      if (position == 0) {
        const size_t params_before = params_.size();
        Fragment f = BindExpr(*oi.expr, first.scope);
        for (size_t i = 0; i < ncol && position == 0; ++i)
          if (first.items[i].sql == f.sql) position = static_cast<int>(i + 1);
        // Matched to an output column: the expression's own parameters go unused.
        if (position > 0) params_.resize(params_before);
        if (position == 0) {
          if (compound)
            Fail(104, "ORDER BY items must appear in the select list if the statement contains a "
                      "UNION, INTERSECT or EXCEPT operator.",
                 oi.line);
          if (first.distinct)
            Fail(145, "ORDER BY items must appear in the select list if SELECT DISTINCT is "
                      "specified.",
                 oi.line);
          expr_sql = f.sql;
          text = f.type.IsText();
        }
      }
    }
    if (!order.empty()) order += ", ";
    std::string identity_key;
    if (position > 0) {
      order += std::to_string(position);
      text = types[position - 1].IsText();
      identity_key = "src." + QuoteId("c" + std::to_string(position));
    } else {
      order += expr_sql;
      // SELECT ... INTO numbers identity values in this order: the key travels
      // with the rows as an extra column.
      if (out.identity_position >= 0 && !compound) {
        const std::string name = "o" + std::to_string(++hidden_count);
        hidden_columns += ", " + expr_sql + " AS " + QuoteId(name);
        identity_key = "src." + QuoteId(name);
      }
    }
    const std::string modifiers =
        std::string(text ? " COLLATE TSQL" : "") + (oi.descending ? " DESC" : "");
    order += modifiers;
    if (!identity_key.empty())
      out.identity_order += (out.identity_order.empty() ? "" : ", ") + identity_key + modifiers;
  }

  // OFFSET and FETCH page through the ordered rows; their counts are checked as the
  // statement runs, since they may be variables.
  std::string page;
  if (q.offset) {
    for (const auto& b : q.branches)
      if (b->top)
        Fail(10741, "A TOP can not be used in the same query or sub-query as a OFFSET.", q.line);
    const auto count = [&](const ast::Expr& e, const std::string& test, int number,
                           const std::string& message) {
      return CheckedCount(Convert(BindExpr(e, first.scope), TypeInfo::Of(TypeKind::kBigInt)), test,
                          number, message);
    };
    const std::string offset = count(
        *q.offset, " < 0", 10742, "The offset specified in a OFFSET clause may not be negative.");
    const std::string fetch =
        q.fetch ? count(*q.fetch, " <= 0", 10744,
                        "The number of rows provided for a FETCH clause must be greater then zero.")
                : "-1";
    page = " LIMIT " + fetch + " OFFSET " + offset;
  }

  if (!compound) {
    out.sql = branch_sql[0];
    out.sql.insert(first_select_length, hidden_columns);
    // Rows, not groups nor numbered rows: a UNION view leading the FROM is read arm by arm.
    if (order.empty() && first.limit.empty() && !first.grouped && !first.distinct &&
        out.identity == nullptr && !assignment && windows_ == 0) {
      out.union_all_parts =
          JoinArmByArm(q.first(), first.scope, out.sql.substr(0, first_select_length), first.body);
      if (!out.union_all_parts.empty()) out.sql = JoinUnionAll(out.union_all_parts);
    }
    if (!order.empty()) out.sql += " ORDER BY " + order;
    out.sql += first.limit + page;
    return out;
  }
  bool plain_union_all = q.order_by.empty();
  for (size_t i = 0; i < branches.size(); ++i) {
    plain_union_all = plain_union_all && !branches[i].distinct && branches[i].limit.empty() &&
                      (i == 0 || q.branches[i]->op == ast::SetOp::kUnionAll);
  }
  if (plain_union_all) {
    out.arms = std::move(arms);
    out.union_all_parts = branch_sql;
  }
  for (size_t i = 0; i < branches.size(); ++i) {
    std::string sql = branch_sql[i];
    if (!branches[i].limit.empty()) sql = "SELECT * FROM (" + sql + branches[i].limit + ")";
    if (i) {
      switch (q.branches[i]->op) {
        case ast::SetOp::kUnionAll:
          sql = " UNION ALL " + sql;
          break;
        case ast::SetOp::kExcept:
          sql = " EXCEPT " + sql;
          break;
        case ast::SetOp::kIntersect:
          sql = " INTERSECT " + sql;
          break;
        default:
          sql = " UNION " + sql;
          break;
      }
    }
    out.sql += sql;
  }
  if (!order.empty()) out.sql += " ORDER BY " + order + page;
  return out;
}

std::string Binder::ArmMarker(const PendingView& v, size_t arm) {
  return "\x01view " + v.sqlite_alias + "#" + std::to_string(arm) + "\x01";
}

std::string Binder::ExpandViews(std::string sql) const {
  for (const PendingView& v : views_) {
    if (!ctx_.inline_views) {
      ReplaceAll(sql, v.marker, v.table->sqlite_name);
      continue;
    }
    auto used = used_columns_.find(v.sqlite_alias);
    auto arm_select = [&](const ViewArm& arm) {
      std::string items;
      for (size_t i = 0; i < arm.items.size() && i < v.table->columns.size(); ++i) {
        const std::string name = QuoteId(v.table->columns[i].name);
        if (used == used_columns_.end() || !used->second.count(name)) continue;
        items += (items.empty() ? "" : ", ") + arm.items[i] + " AS " + name;
      }
      // A statement that reads no column (count(*)) still needs one per row.
      if (items.empty()) items = "NULL AS \"_\"";
      return "SELECT " + items + arm.body;
    };
    if (sql.find(v.marker) != std::string::npos) {
      std::string text;
      for (const ViewArm& arm : v.table->view_arms)
        text += (text.empty() ? "(" : " UNION ALL ") + arm_select(arm);
      ReplaceAll(sql, v.marker, text + ")");
    }
    for (size_t a = 0; a < v.table->view_arms.size(); ++a) {
      const std::string marker = ArmMarker(v, a);
      if (sql.find(marker) != std::string::npos)
        ReplaceAll(sql, marker, "(" + arm_select(v.table->view_arms[a]) + ")");
    }
  }
  for (const PendingLookup& l : lookups_) {
    if (sql.find(l.marker) == std::string::npos) continue;
    // LIMIT keeps SQLite from flattening the subquery into the join: it is filled once,
    // with the columns the statement reads, and searched through an automatic index.
    std::string columns;
    if (auto used = used_columns_.find(l.sqlite_alias); used != used_columns_.end()) {
      for (const std::string& c : used->second) columns += (columns.empty() ? "" : ", ") + c;
    }
    if (columns.empty()) columns = "NULL AS \"_\"";
    ReplaceAll(sql, l.marker, "(SELECT " + columns + " FROM " + l.sqlite_name + " LIMIT -1)");
  }
  return sql;
}

}  // namespace morvesk::engine::bind
