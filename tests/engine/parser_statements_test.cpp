// Parsing of whole batches as the inventory operations and clients send them:
// statement boundaries without semicolons, query shapes, DML, DDL and control flow.
#include <gtest/gtest.h>

#include "engine/sql/parser.h"

namespace morvesk::engine::sql {
namespace {

using namespace ast;

// The statements of a batch printed one per line, each with its start line.
std::string Outline(const Batch& b) {
  std::string out;
  for (const auto& s : b.statements) out += std::to_string(s->line) + ": " + ToSql(*s) + "\n";
  return out;
}

const Query& QueryOf(const Batch& b, size_t i) {
  return *b.statements.at(i)->As<SelectStmt>().query;
}

TEST(ParserBatch, StatementBoundariesComeFromTheGrammar) {
  Batch b = ParseBatch(
      "SET NOCOUNT ON Declare @CalculateType int select @Qty=0\r\n"
      "select @Bal=0\r\n"
      "If Object_ID('tempdb..#TmpBal_1') Is Not Null Drop Table #TmpBal_1 "
      "Select a.FItemID From t_CC_Bal a Where a.FYear=2024\r\n"
      "Drop Table #ItemID  Set NoCount Off ");
  EXPECT_EQ(Outline(b),
            "1: SET NOCOUNT ON\n"
            "1: DECLARE @CalculateType int\n"
            "1: SELECT @Qty = 0\n"
            "2: SELECT @Bal = 0\n"
            "3: IF (Object_ID('tempdb..#TmpBal_1') IS NOT NULL) DROP TABLE #TmpBal_1\n"
            "3: SELECT a.FItemID FROM t_CC_Bal AS a WHERE (a.FYear = 2024)\n"
            "4: DROP TABLE #ItemID\n"
            "4: SET NOCOUNT OFF\n");
  EXPECT_TRUE(b.statements[0]->As<SetOptionStmt>().Is("NOCOUNT"));
  EXPECT_EQ(b.statements[0]->As<SetOptionStmt>().on, std::optional<bool>(true));
  EXPECT_TRUE(QueryOf(b, 2).IsAssignment());
  EXPECT_FALSE(QueryOf(b, 5).IsAssignment());

  // Keywords that end the previous statement are never taken as implicit aliases.
  Batch c = ParseBatch(
      "update t_CC_Bal set FEndBal=FBegBal+FDebit-FCredit\r\nWhere FYear=1 "
      "select 0 FID,0 FEntryID,@Year FYear from t_CC_Bal ;;; delete from #TmpBal_1 ");
  ASSERT_EQ(c.statements.size(), 3u);
  EXPECT_EQ(ToSql(*c.statements[1]),
            "SELECT 0 AS FID, 0 AS FEntryID, @Year AS FYear FROM t_CC_Bal");
  EXPECT_EQ(c.statements[2]->kind, StmtKind::kDelete);
}

TEST(ParserBatch, IfElseBodiesAreSingleStatementsOrBlocks) {
  // The update after the ELSE branch is a statement of its own and always runs.
  Batch b = ParseBatch(
      " Declare @KFDate datetime,@PeriodDate datetime\r\n"
      " if exists (select top 1 fitemid from t_cc_Stock where fitemid=42\r\n"
      " and FBatchNO='B1')\r\n"
      " select top 1 @KFDate=FKFDate,@PeriodDate=FPeriodDate \r\n"
      " from t_cc_Stock where fitemid=42\r\n"
      " else \r\n"
      " select top 1 @KFDate=FKFDate,@PeriodDate=FPeriodDate from t_cc_Stock_batchno\r\n"
      " Update c set c.fkfdate=@KFDate,c.FPeriodDate=@PeriodDate\r\n"
      " from  t_cc_stockbillentry c where c.FItemID=42\r\n");
  ASSERT_EQ(b.statements.size(), 3u);
  const auto& i = b.statements[1]->As<IfStmt>();
  EXPECT_EQ(i.condition->kind, ExprKind::kExists);
  ASSERT_TRUE(i.else_branch);
  EXPECT_EQ(i.else_branch->kind, StmtKind::kSelect);
  EXPECT_EQ(b.statements[2]->kind, StmtKind::kUpdate);
  EXPECT_EQ(b.statements[2]->line, 8);

  // Nested blocks, a comment between the condition and BEGIN, "end  End".
  Batch n = ParseBatch(
      "if IsNull(@Qty,0)<=0 Or IsNull(@Bal,0)<=0\r\n"
      "begin\r\n"
      "  select @Qty=0\r\n"
      "  if IsNull(@Qty,0)<=0 Or IsNull(@Bal,0)<=0\r\n"
      "      --取当前月份平均成本\r\n"
      "  begin \r\n"
      "    select @Bal=1\r\n"
      "   end  End\r\n"
      " if IsNull(@Qty,0)>0 and IsNull(@Bal,0)>0\r\n"
      "  begin \r\n"
      "  update t_ICItem set FCostPrice=round(@Bal/@Qty,10) where FItemID=42\r\n"
      "  end \r\n");
  ASSERT_EQ(n.statements.size(), 2u);
  const auto& outer = n.statements[0]->As<IfStmt>();
  const auto& block = outer.then_branch->As<BlockStmt>();
  ASSERT_EQ(block.statements.size(), 2u);
  EXPECT_EQ(block.statements[1]->As<IfStmt>().then_branch->kind, StmtKind::kBlock);
  EXPECT_EQ(ToSql(*n.statements[1]),
            "IF ((IsNull(@Qty, 0) > 0) AND (IsNull(@Bal, 0) > 0)) BEGIN UPDATE t_ICItem SET "
            "FCostPrice = round((@Bal / @Qty), 10) WHERE (FItemID = 42); END");

  // ELSE binds to the nearest IF.
  Batch d = ParseBatch("if @a<>0 update t set x=1 else begin if @q<>0 update t set x=2 end");
  EXPECT_EQ(Outline(d),
            "1: IF (@a <> 0) UPDATE t SET x = 1 ELSE BEGIN IF (@q <> 0) UPDATE t SET x = 2; END\n");
}

TEST(ParserExpressions, PrecedenceAndForms) {
  auto expr = [](const std::string& e) {
    Batch b = ParseBatch("select " + e);
    return ToSql(*QueryOf(b, 0).first().items.at(0).expr);
  };
  EXPECT_EQ(expr("1 + 2 * 3 - 4 / 2 % 3"), "((1 + (2 * 3)) - ((4 / 2) % 3))");
  EXPECT_EQ(expr("round(((FBegBal+FDebit-FCredit)/@Amount)*-30,2)"),
            "round(((((FBegBal + FDebit) - FCredit) / @Amount) * (-30)), 2)");
  EXPECT_EQ(expr("FQty * -12.5"), "(FQty * (-12.5))");
  EXPECT_EQ(expr("case when not ic.FTrack=78 or a=1 and b=2 then 1 end"),
            "CASE WHEN ((NOT (ic.FTrack = 78)) OR ((a = 1) AND (b = 2))) THEN 1 END");
  EXPECT_EQ(expr("case when x not in(501,502) and y not between 1 and 2 and z like 'a%' "
                 "and w is null then 0 else 1 end"),
            "CASE WHEN ((((x NOT IN (501, 502)) AND (y NOT BETWEEN 1 AND 2)) AND "
            "(z LIKE 'a%')) AND (w IS NULL)) THEN 0 ELSE 1 END");
  EXPECT_EQ(expr("case @CalculateType when 0 then 0 else t.FStockID end"),
            "CASE @CalculateType WHEN 0 THEN 0 ELSE t.FStockID END");
  EXPECT_EQ(expr("c.FName_CHS+case when t.FBillTypeID<=1 then '' else '-'+b.FName end"),
            "(c.FName_CHS + CASE WHEN (t.FBillTypeID <= 1) THEN '' ELSE ('-' + b.FName) END)");
  EXPECT_EQ(expr("CONVERT(DATETIME,FEndDate+1,120)"), "CONVERT(DATETIME, (FEndDate + 1), 120)");
  EXPECT_EQ(expr("cast(x as decimal(28,10)) + ~1"), "(CAST(x AS decimal(28,10)) + (~1))");
  EXPECT_EQ(expr("count(*) + count(distinct a) + @@ROWCOUNT + dbo.fn(1)"),
            "(((count(*) + count(DISTINCT a)) + @@rowcount) + dbo.fn(1))");
  EXPECT_EQ(expr("(select max(x) from t) + left('abc', 2)"),
            "((SELECT max(x) FROM t) + left('abc', 2))");
  EXPECT_EQ(expr("a !< b"), "(a !< b)");

  Batch b = ParseBatch(
      "select CONVERT(Float(10),sum(t1.Fbegbal))/CONVERT(Float(10),sum(t1.fbegqty)), "
      "CONVERT(varchar(20),fid), 12.50 from icbal t1");
  const auto& items = QueryOf(b, 0).first().items;
  const auto& div = items[0].expr->As<BinaryExpr>();
  const auto& single = div.left->As<ConvertExpr>();
  EXPECT_EQ(single.target.type.kind, TypeKind::kReal);
  EXPECT_EQ(single.target.text, "Float(10)");
  EXPECT_FALSE(single.style.has_value());
  EXPECT_EQ(items[1].expr->As<ConvertExpr>().target.type, TypeInfo::VarChar(20));
  const auto& lit = items[2].expr->As<LiteralExpr>();
  EXPECT_EQ(lit.type, TypeInfo::Decimal(4, 2));
  EXPECT_EQ(lit.text, "12.50");
  EXPECT_EQ(lit.literal_index, 3);  // the type arguments 10, 10 and 20 come first
  EXPECT_EQ(b.literals.at(2).text, "20");
}

TEST(ParserQueries, SelectIntoWithIdentityDerivedUnionsAndOrdering) {
  Batch b = ParseBatch(
      "Select identity(int,41,1) As FInterID,t.* Into #TempCalBills From vw_cc_StockBillEntry t "
      "WITH (NOLOCK) Where 1=1 And t.FItemID=5 Order By t.FDate,t.FID DESC");
  const Query& q = QueryOf(b, 0);
  const SelectCore& core = q.first();
  const auto& id = core.items[0].expr->As<IdentityExpr>();
  EXPECT_EQ(id.type.type.kind, TypeKind::kInt);
  EXPECT_EQ(id.seed, 41);
  EXPECT_EQ(id.increment, 1);
  EXPECT_EQ(core.items[0].alias, "FInterID");
  EXPECT_EQ(core.items[1].kind, SelectItem::Kind::kStar);
  EXPECT_EQ(core.items[1].star_qualifier, Name{"t"});
  EXPECT_EQ(*core.into, Name{"#TempCalBills"});
  const auto& named = core.from[0]->As<NamedTable>();
  EXPECT_EQ(named.alias, "t");
  EXPECT_EQ(named.hints, std::vector<std::string>{"nolock"});
  ASSERT_EQ(q.order_by.size(), 2u);
  EXPECT_TRUE(q.order_by[1].descending);

  // Derived table of UNION ALL branches with comments between them, alias glued to ')'.
  Batch u = ParseBatch(
      "Insert Into #tempNegBill\r\n"
      "Select FNumber,Sum(FQty) From (\r\n"
      "   --出入库单\r\n"
      "   Select Top 1 ItemNumber as FNumber, -FQty as FQty From vw_CC_Send Where IsNull(FStatus,0)=0\r\n"
      "   Union All \r\n"
      "   --组装拆卸单\r\n"
      "   Select ItemNumber, FQty From vw_CC_Receive\r\n"
      "   Union\r\n"
      "   Select 'x', 0 From t_ICItem)Ax Group By FNumber Having Sum(FQty)<>0 Order By 1");
  const auto& ins = u.statements[0]->As<InsertStmt>();
  EXPECT_TRUE(ins.columns.empty());
  const SelectCore& outer = ins.select->first();
  const auto& derived = outer.from[0]->As<DerivedTable>();
  EXPECT_EQ(derived.alias, "Ax");
  ASSERT_EQ(derived.query->branches.size(), 3u);
  EXPECT_EQ(derived.query->branches[1]->op, SetOp::kUnionAll);
  EXPECT_EQ(derived.query->branches[2]->op, SetOp::kUnion);
  EXPECT_TRUE(derived.query->branches[0]->top.has_value());
  EXPECT_EQ(outer.group_by.size(), 1u);
  ASSERT_TRUE(outer.having);
  EXPECT_EQ(ins.select->order_by.size(), 1u);

  // ORDER BY after a UNION chain belongs to the whole query; INTO to the first branch.
  Batch w = ParseBatch(
      "select u.FItemID,FBegQty,0 as FReceive into #TempCheckEndData from t_cc_bal u "
      "Union all select FItemID, FQty, FQty from vw_cc_Receive order by FItemID");
  const Query& wq = QueryOf(w, 0);
  EXPECT_EQ(wq.branches.size(), 2u);
  EXPECT_TRUE(wq.first().into.has_value());
  EXPECT_EQ(wq.order_by.size(), 1u);

  // Joins of every kind, nested ON, comma lists.
  Batch j = ParseBatch(
      "select * from a inner join b on a.x=b.x left outer join c on c.y=b.y and c.t<>502 "
      "right join d on 1=1 full join e on 1=1 cross join f, g join (h join k on h.z=k.z) on g.q=h.q "
      "join m join n on m.r=n.r on g.s=m.s");
  const SelectCore& jc = QueryOf(j, 0).first();
  ASSERT_EQ(jc.from.size(), 2u);
  EXPECT_EQ(ToSql(*jc.from[0]->As<JoinRef>().left),
            "((((a INNER JOIN b ON (a.x = b.x)) LEFT JOIN c ON ((c.y = b.y) AND (c.t <> 502))) "
            "RIGHT JOIN d ON (1 = 1)) FULL JOIN e ON (1 = 1))");
  EXPECT_EQ(jc.from[0]->As<JoinRef>().type, JoinType::kCross);
  const auto& g = jc.from[1]->As<JoinRef>();
  EXPECT_EQ(g.right->kind, TableRefKind::kJoin);  // m JOIN n ON ... nested under the last ON
  EXPECT_EQ(ToSql(*g.on), "(g.s = m.s)");
}

TEST(ParserDml, UpdateAndDeleteWithFrom) {
  Batch b = ParseBatch(
      "update a set a.FSend=t.FSendQty,a.FCredit=t.FSendAmount\r\n"
      " from #TmpBal_1 a \r\n"
      " inner join (select FItemID,sum(u.FQty) as FSendQty, sum(u.FAmount) FSendAmount\r\n"
      "   from vw_CC_Send u group by FItemID) t on a.FItemID=t.FItemID\r\n"
      "update t set @v = FQty = FQty + 1, @w = 2, FBal += 3, x.y = 4 where FItemID = 1\r\n"
      "delete t_CC_Bal from t_CC_Bal u inner join t_ICItem t on u.FItemID=t.FItemID and t.FTrack=78\r\n"
      "delete oi from  #TmpBal_2_2 oi, t_ICItem di where oi.FItemID=di.FItemID\r\n"
      " delete from t_CC_StockBillentry Where FID IN (Select Distinct FID From t_CC_StockBill\r\n"
      " Where FClassTypeID=1040008)\r\n"
      "Delete From TempWriteBack truncate table #x");
  ASSERT_EQ(b.statements.size(), 7u);
  const auto& u = b.statements[0]->As<UpdateStmt>();
  EXPECT_EQ(u.target, Name{"a"});
  ASSERT_EQ(u.sets.size(), 2u);
  EXPECT_EQ(u.sets[0].column_name, (Name{"a", "FSend"}));
  EXPECT_EQ(u.from[0]->As<JoinRef>().right->As<DerivedTable>().alias, "t");

  const auto& v = b.statements[1]->As<UpdateStmt>();
  EXPECT_EQ(v.sets[0].variable, "@v");
  EXPECT_EQ(v.sets[0].column_name, Name{"FQty"});
  EXPECT_EQ(ToSql(*v.sets[0].value), "(FQty + 1)");
  EXPECT_EQ(v.sets[1].variable, "@w");
  EXPECT_TRUE(v.sets[1].column_name.empty());
  EXPECT_EQ(ToSql(*v.sets[2].value), "(FBal + 3)");  // FBal += 3
  EXPECT_EQ(v.sets[3].column_name, (Name{"x", "y"}));

  const auto& d = b.statements[2]->As<DeleteStmt>();
  EXPECT_EQ(d.target, Name{"t_CC_Bal"});
  EXPECT_EQ(d.from[0]->As<JoinRef>().left->As<NamedTable>().alias, "u");
  EXPECT_EQ(b.statements[3]->As<DeleteStmt>().from.size(), 2u);
  const auto& in = b.statements[4]->As<DeleteStmt>().where->As<InExpr>();
  ASSERT_TRUE(in.subquery);
  EXPECT_TRUE(in.subquery->first().distinct);
  EXPECT_FALSE(b.statements[5]->As<DeleteStmt>().where);
  EXPECT_EQ(b.statements[6]->As<TruncateStmt>().table, Name{"#x"});

  Batch i = ParseBatch(
      "Insert Into t_CC_Stock_BatchNo(FYear,FPeriod) Select 2024,3 From #t_CC_Stock_BatchNo "
      "insert t (a, b) values (1, 'x'), (-2, default) insert into t default values");
  EXPECT_EQ(i.statements[0]->As<InsertStmt>().columns,
            (std::vector<std::string>{"FYear", "FPeriod"}));
  const auto& vals = i.statements[1]->As<InsertStmt>();
  EXPECT_EQ(vals.source, InsertStmt::Source::kValues);
  ASSERT_EQ(vals.values.size(), 2u);
  EXPECT_EQ(vals.values[1][1]->kind, ExprKind::kDefault);
  EXPECT_EQ(i.statements[2]->As<InsertStmt>().source, InsertStmt::Source::kDefaultValues);
}

TEST(ParserDdl, TablesIndexesViewsAndProcedures) {
  Batch b = ParseBatch(
      "Create Table #tempNegBill(\r\n"
      "   FItemNumber varchar(80),\r\n"
      "   FBatchNo varchar(80) Not Null Default(''),\r\n"
      "   FQty decimal(28,10),\r\n"
      "   FAuxName varchar(80) Default('')\r\n"
      ")\r\n"
      "create table t (id int identity(1,1) constraint pk_t primary key clustered, "
      "code varchar(20) not null unique, d datetime null default '', "
      "constraint uq_t unique nonclustered (code desc, id))\r\n"
      "drop table if exists a, dbo.b "
      "create unique index ix_t on t (code, id desc) "
      "drop index t.ix_t, ix_u on dbo.u "
      "alter table t add extra int not null default 0, other float");
  const auto& t = b.statements[0]->As<CreateTableStmt>();
  ASSERT_EQ(t.columns.size(), 4u);
  EXPECT_EQ(t.columns[1].nullable, std::optional<bool>(false));
  EXPECT_EQ(t.columns[1].default_text, "('')");
  EXPECT_EQ(t.columns[1].default_value->As<LiteralExpr>().value, "");
  EXPECT_EQ(t.columns[2].type.type, TypeInfo::Decimal(28, 10));
  EXPECT_FALSE(t.columns[0].nullable.has_value());

  const auto& k = b.statements[1]->As<CreateTableStmt>();
  EXPECT_TRUE(k.columns[0].identity);
  ASSERT_EQ(k.constraints.size(), 3u);
  EXPECT_EQ(k.constraints[0].name, "pk_t");
  EXPECT_EQ(k.constraints[0].clustered, std::optional<bool>(true));
  EXPECT_EQ(k.constraints[0].columns[0].name, "id");
  EXPECT_EQ(k.constraints[1].kind, TableConstraint::Kind::kUnique);
  EXPECT_EQ(k.constraints[2].columns.size(), 2u);
  EXPECT_TRUE(k.constraints[2].columns[0].descending);
  EXPECT_EQ(k.columns[2].default_text, "''");

  EXPECT_EQ(ToSql(*b.statements[2]), "DROP TABLE IF EXISTS a, dbo.b");
  EXPECT_EQ(ToSql(*b.statements[3]), "CREATE UNIQUE INDEX ix_t ON t (code, id DESC)");
  EXPECT_EQ(ToSql(*b.statements[4]), "DROP INDEX ix_t ON t, ix_u ON dbo.u");
  EXPECT_EQ(ToSql(*b.statements[5]),
            "ALTER TABLE t ADD extra int NOT NULL DEFAULT 0, other float");

  const char* view_text =
      "create view vw_CC_Receive as\r\n  select FItemID, FQty -- receipts\r\n  from T_CC_StockBillEntry";
  Batch v = ParseBatch(view_text);
  const auto& cv = v.statements[0]->As<CreateViewStmt>();
  EXPECT_EQ(cv.name, Name{"vw_CC_Receive"});
  EXPECT_EQ(cv.body_text, "select FItemID, FQty -- receipts\r\n  from T_CC_StockBillEntry");
  EXPECT_EQ(cv.text, view_text);

  const char* proc_text =
      "CREATE PROCEDURE dbo.sp_GetCostPrice @StockID int, @BatchNo varchar(80) = '', "
      "@LastCost float OUTPUT, @IsBill bit = 0\r\nAS\r\n"
      "set nocount on\r\n"
      "select @LastCost = -1\r\n"
      "if @IsBill = 1 return 0\r\n"
      "return\r\n";
  Batch p = ParseBatch(proc_text);
  ASSERT_EQ(p.statements.size(), 1u);
  const auto& cp = p.statements[0]->As<CreateProcedureStmt>();
  ASSERT_EQ(cp.params.size(), 4u);
  EXPECT_TRUE(cp.params[2].output);
  EXPECT_EQ(cp.params[2].type.type.kind, TypeKind::kFloat);
  EXPECT_EQ(cp.params[1].default_value->As<LiteralExpr>().value, "");
  ASSERT_EQ(cp.body.size(), 4u);
  EXPECT_FALSE(cp.body[3]->As<ReturnStmt>().value);
  EXPECT_EQ(cp.body_line, 3);
  EXPECT_EQ(cp.body_text,
            "set nocount on\r\nselect @LastCost = -1\r\nif @IsBill = 1 return 0\r\nreturn");
  // The stored body parses on its own into the same statements.
  EXPECT_EQ(ParseBatch(cp.body_text).statements.size(), 4u);

  Batch dp = ParseBatch("drop proc a drop view dbo.v");
  EXPECT_EQ(dp.statements[0]->As<DropStmt>().object, DropStmt::Object::kProcedure);
  EXPECT_EQ(dp.statements[1]->As<DropStmt>().object, DropStmt::Object::kView);
}

TEST(ParserProcedural, VariablesControlFlowCallsAndMessages) {
  Batch b = ParseBatch(
      "declare @i int = 0, @s varchar(10)\r\n"
      "while @i < 10 begin set @i += 1 if @i = 5 continue if @i > 8 break end\r\n"
      "begin tran commit transaction begin transaction t1 rollback tran t1 rollback\r\n"
      "exec @rc = dbo.pr_GetSettleAcctBal 2024, -3, @Name = @v output, @d = default, @n = null\r\n"
      "execute CheckInventory\r\n"
      "print 'done ' + @s\r\n"
      "raiserror('bad %d', 16, 1, @i) with nowait, seterror\r\n"
      "set ansi_nulls, quoted_identifier off set rowcount 10 set dateformat ymd "
      "set transaction isolation level read committed set identity_insert dbo.t on");
  std::vector<StmtKind> kinds;
  for (const auto& s : b.statements) kinds.push_back(s->kind);
  std::vector<StmtKind> want = {
      StmtKind::kDeclare,  StmtKind::kWhile,     StmtKind::kBeginTran, StmtKind::kCommit,
      StmtKind::kBeginTran, StmtKind::kRollback, StmtKind::kRollback,  StmtKind::kExec,
      StmtKind::kExec,     StmtKind::kPrint,     StmtKind::kRaiserror, StmtKind::kSetOption,
      StmtKind::kSetOption, StmtKind::kSetOption, StmtKind::kSetOption, StmtKind::kSetOption};
  EXPECT_EQ(kinds, want);
  const auto& decl = b.statements[0]->As<DeclareStmt>();
  ASSERT_EQ(decl.variables.size(), 2u);
  EXPECT_TRUE(decl.variables[0].init);
  EXPECT_EQ(decl.variables[1].type.type, TypeInfo::VarChar(10));
  EXPECT_EQ(ToSql(*b.statements[1]),
            "WHILE (@i < 10) BEGIN SET @i = (@i + 1); IF (@i = 5) CONTINUE; "
            "IF (@i > 8) BREAK; END");
  EXPECT_EQ(b.statements[4]->As<TransactionStmt>().name, "t1");
  const auto& e = b.statements[7]->As<ExecStmt>();
  EXPECT_EQ(e.return_variable, "@rc");
  EXPECT_EQ(e.procedure, (Name{"dbo", "pr_GetSettleAcctBal"}));
  ASSERT_EQ(e.args.size(), 5u);
  EXPECT_EQ(ToSql(*e.args[1].value), "(-3)");
  EXPECT_EQ(e.args[2].name, "@Name");
  EXPECT_TRUE(e.args[2].output);
  EXPECT_EQ(e.args[3].value->kind, ExprKind::kDefault);
  EXPECT_EQ(e.args[4].value->kind, ExprKind::kNull);
  EXPECT_TRUE(b.statements[8]->As<ExecStmt>().args.empty());
  const auto& r = b.statements[10]->As<RaiserrorStmt>();
  EXPECT_TRUE(r.nowait && r.seterror && !r.log);
  EXPECT_EQ(r.args.size(), 1u);
  const auto& ansi = b.statements[11]->As<SetOptionStmt>();
  EXPECT_EQ(ansi.options, (std::vector<std::string>{"ansi_nulls", "quoted_identifier"}));
  EXPECT_EQ(ansi.on, std::optional<bool>(false));
  EXPECT_EQ(ToSql(*b.statements[12]), "SET ROWCOUNT 10");
  EXPECT_EQ(b.statements[13]->As<SetOptionStmt>().word, "ymd");
  EXPECT_EQ(b.statements[14]->As<SetOptionStmt>().word, "read committed");
  EXPECT_EQ(b.statements[15]->As<SetOptionStmt>().table, (Name{"dbo", "t"}));

  // A procedure call may omit EXEC as the first statement only; RETURN takes an
  // expression only when one follows.
  Batch c = ParseBatch("sp_VerifyBalance 1, 'x' select 1");
  EXPECT_EQ(c.statements[0]->As<ExecStmt>().args.size(), 2u);
  Batch r2 = ParseBatch("return select 1 return -1");
  EXPECT_FALSE(r2.statements[0]->As<ReturnStmt>().value);
  EXPECT_EQ(ToSql(*r2.statements[2]), "RETURN (-1)");
}

TEST(ParserLiterals, StructuralLiteralsAreRecorded) {
  Batch b = ParseBatch(
      "declare @a decimal(28,10) "                                // 0 1
      "select top 5 identity(int, 41, 1) as n, 7 into #x from t "  // 2 3 4 5
      "select CONVERT(DATETIME, '2024-01-01', 120) order by 1 "   // 6 7 8
      "raiserror('m', 16, 1) "                                    // 9 10 11
      "update t set x = 'v' where y = 3.5");                       // 12 13
  EXPECT_EQ(b.literals.size(), 14u);
  EXPECT_EQ(b.structural_literals, (std::vector<int>{0, 1, 2, 3, 4, 7, 8, 10, 11}));
  // Each literal node knows its index, text and type.
  const auto& upd = b.statements[4]->As<UpdateStmt>();
  const auto& lit = upd.where->As<CompareExpr>().right->As<LiteralExpr>();
  EXPECT_EQ(lit.literal_index, 13);
  EXPECT_EQ(b.literals[13].text, "3.5");
  EXPECT_EQ(lit.type, TypeInfo::Decimal(2, 1));

  // Stored text: column defaults and whole view / procedure bodies.
  Batch d = ParseBatch(
      "create table #t (a int default 5, b varchar(3)) insert #t (a) values (6) "
      "create view v as select 7 as x where 'a' = 'a'");
  EXPECT_EQ(d.structural_literals, (std::vector<int>{0, 1, 3, 4, 5}));
}

}  // namespace
}  // namespace morvesk::engine::sql

namespace morvesk::engine::sql {
namespace {

using namespace ast;

TEST(ParserQueries, SelectItemForms) {
  Batch b = ParseBatch(
      "select FItemID = x, 'Name' = y, z 'zz', w as [a b], count(*) s1, @v, t.*, dbo.t.*, * "
      "from dbo.t select @n += 1, @m = @m * 2");
  const auto& items = b.statements[0]->As<SelectStmt>().query->first().items;
  ASSERT_EQ(items.size(), 9u);
  EXPECT_EQ(items[0].alias, "FItemID");
  EXPECT_EQ(ToSql(*items[0].expr), "x");
  EXPECT_EQ(items[1].alias, "Name");
  EXPECT_EQ(items[2].alias, "zz");
  EXPECT_EQ(items[3].alias, "a b");
  EXPECT_EQ(items[4].alias, "s1");
  EXPECT_TRUE(items[4].expr->As<FunctionCall>().star);
  EXPECT_EQ(items[5].kind, SelectItem::Kind::kExpr);  // a bare variable is a value
  EXPECT_EQ(items[6].star_qualifier, Name{"t"});
  EXPECT_EQ(items[7].star_qualifier, (Name{"dbo", "t"}));
  EXPECT_TRUE(items[8].star_qualifier.empty());
  const Query& assign = *b.statements[1]->As<SelectStmt>().query;
  EXPECT_TRUE(assign.IsAssignment());
  EXPECT_EQ(ToSql(assign), "SELECT @n = (@n + 1), @m = (@m * 2)");
}

TEST(ParserBatch, TokensWithoutSourceAndNestedLines) {
  const char* text =
      "create proc p @a int as\r\n"
      "  if @a > 0\r\n"
      "  begin\r\n"
      "    select (select max(x) from t) as m where @a in ((select 1))\r\n"
      "  end;\r\n"
      "  else return 5\r\n";
  // Without the source text the stored body is rebuilt from the tokens, one line per line.
  Batch b = ParseTokens(Lex(text));
  const auto& p = b.statements[0]->As<CreateProcedureStmt>();
  ASSERT_EQ(p.body.size(), 1u);
  const auto& i = p.body[0]->As<IfStmt>();
  EXPECT_EQ(i.line, 2);
  const auto& block = i.then_branch->As<BlockStmt>();
  EXPECT_EQ(block.statements[0]->line, 4);
  EXPECT_EQ(block.statements[0]->column, 5);
  ASSERT_TRUE(i.else_branch);  // a semicolon may end the THEN branch before ELSE
  EXPECT_EQ(p.body_text,
            "if @a > 0\nbegin\nselect ( select max ( x ) from t ) as m where @a in ( ( select 1 "
            ") )\nend ;\nelse return 5");
  Batch again = ParseBatch(p.body_text);
  ASSERT_EQ(again.statements.size(), 1u);
  EXPECT_EQ(ToSql(*again.statements[0]), ToSql(*p.body[0]));
}

}  // namespace
}  // namespace morvesk::engine::sql
