// Whole batches as the costing operations assemble them (lines joined by CR LF,
// values spliced as text), parsed end to end.
#include <gtest/gtest.h>

#include "engine/error.h"
#include "engine/sql/parser.h"

namespace morvesk::engine::sql {
namespace {

using namespace ast;

std::string Lines(std::initializer_list<std::string> lines) {
  std::string out;
  for (const auto& l : lines) out += l + "\r\n";
  return out;
}

std::string CostPriceBatch(const std::string& item) {
  std::string b = Lines({
      "Declare @Qty Decimal(28,10),@Bal Decimal(28,10)",
      "Declare @StarYear Int,@StartPeriod int",
      "Declare @BegDate DateTime,@EndDate DateTime",
      "Declare @Year int,@Period int",
      "Select @StarYear=FValue From t_SystemProfile Where FCategory='IC' And FKey='StartYear'",
      "Select @StartPeriod=FValue From t_SystemProfile Where FCategory='IC' And FKey='StartPeriod'",
      "Select @Year=FValue From t_SystemProfile Where FCategory='IC' And FKey='CurrentYear'",
      "Select @Period=FValue From t_SystemProfile Where FCategory='IC' And FKey='CurrentPeriod'",
      "Select @BegDate=FStartDate,@EndDate=FEndDate From t_PeriodDate Where FYear=@Year And "
      "FPeriod=@Period",
      "select @Qty=sum(FBegQty),@Bal=sum(FBegBal) from t_cc_bal where FYear=@StarYear",
      "and FPeriod=@StartPeriod and FItemID=" + item,
      "if IsNull(@Qty,0)<=0 Or IsNull(@Bal,0)<=0",
      "begin",
      "--取估价入库单",
      "select @Qty=0",
      "select @Bal=0",
      "select @Qty=sum(en.FQty),@Bal=sum(en.FAmount) from t_cc_stockbill u",
      "inner join t_cc_stockbillentry en on u.FID=en.FID",
      "and u.FClassTypeID=1020003 and FBillTypeID=2030",
      "Where en.FItemID =" + item,
      "and u.FStatus<>0 and u.Fdate>= @BegDate and u.Fdate<=@EndDate",
      "if IsNull(@Qty,0)<=0 Or IsNull(@Bal,0)<=0",
      "      --取当前月份平均成本",
      "  begin ",
      "      Select @Qty=Sum(IsNull(a.FQty,0)),@Bal=Sum(IsNUll(a.FAmount,0))  "
      "----取当期平均成本,不区分计价法",
      "      From (",
      "        --所有收入类单据",
      "        select c.FQty,c.FCostAmount as FAmount from t_cc_stockbillentry c",
      "        Inner Join t_cc_stockbill b on c.FID=b.FID",
      "        Inner Join t_Stock s On c.FDCStockID=s.FItemID and s.FTypeID<>502",
      "        where b.FStatus<>0 and b.Fdate>= @BegDate and b.Fdate<=@EndDate",
      "        and c.FItemID=" + item,
      "        and b.FClassTypeID=1020002 and b.FBillTypeID<>2012 ",
      "         ) As a",
      "   end  End",
      " if IsNull(@Qty,0)>0 and IsNull(@Bal,0)>0",
      "  begin ",
      "  update t_ICItem set FCostPrice=round(@Bal/@Qty,10) where FItemID=" + item,
  });
  return b + "  end ";
}

TEST(ParserRealBatches, CostPriceBatch) {
  Batch b = ParseBatch(CostPriceBatch("42"));
  ASSERT_EQ(b.statements.size(), 12u);
  std::vector<int> lines;
  for (const auto& s : b.statements) lines.push_back(s->line);
  EXPECT_EQ(lines, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 12, 36}));

  const auto& first_if = b.statements[10]->As<IfStmt>();
  const auto& block = first_if.then_branch->As<BlockStmt>();
  ASSERT_EQ(block.statements.size(), 4u);  // two resets, the receipt sums, the inner IF
  EXPECT_EQ(block.statements[0]->line, 15);
  const Query& receipts = *block.statements[2]->As<SelectStmt>().query;
  EXPECT_TRUE(receipts.IsAssignment());
  EXPECT_EQ(ToSql(*receipts.first().where),
            "((((en.FItemID = 42) AND (u.FStatus <> 0)) AND (u.Fdate >= @BegDate)) AND "
            "(u.Fdate <= @EndDate))");
  EXPECT_EQ(ToSql(*receipts.first().from[0]->As<JoinRef>().on),
            "(((u.FID = en.FID) AND (u.FClassTypeID = 1020003)) AND (FBillTypeID = 2030))");
  const auto& inner_if = block.statements[3]->As<IfStmt>();
  const auto& inner_block = inner_if.then_branch->As<BlockStmt>();
  ASSERT_EQ(inner_block.statements.size(), 1u);
  const SelectCore& avg = inner_block.statements[0]->As<SelectStmt>().query->first();
  EXPECT_EQ(avg.from[0]->As<DerivedTable>().alias, "a");
  EXPECT_FALSE(first_if.else_branch);

  // Another item of as many digits gives the same shape: the batch is parsed once and reused.
  EXPECT_EQ(ShapeKey(Lex(CostPriceBatch("42"))), ShapeKey(Lex(CostPriceBatch("77"))));
  EXPECT_NE(ShapeKey(Lex(CostPriceBatch("42"))), ShapeKey(Lex(CostPriceBatch("1077"))));
  // Only the type arguments of the two decimal(28,10) declarations shape the batch.
  EXPECT_EQ(b.structural_literals, (std::vector<int>{0, 1, 2, 3}));
}

std::string PerTotalCommand(const std::string& fbal) {
  const std::string cond =
      "   Where (oi.FBegBal+oi.FDebit-oi.FCredit) <> 0 and oi.fitemid = duai.fitemid and "
      "oi.FAuxPropID = duai.FAuxPropID and oi.FStockID = duai.FStockID and oi.FKfPeriod= "
      "duai.FKfPeriod ";
  return Lines({
      "Declare @Amount decimal(28,10)", " Declare @Qty decimal(28,10)", " Declare @fitemid int",
      " Declare @FBatchNo varchar(255)", " Declare @FStockID int",
      " select sum(FBegBal+FDebit-FCredit) AS FAmount,", " sum(FBegQty+FReceive-FSend) as FQty,",
      " t.fitemid,", " t.FAuxPropID,", " t.FBatchNo,", " t.FStockID,", " t.FKfPeriod,",
      " t.FPeriodDate", " into #DUAT_CC_Bal", " from #t_CC_Stock_BatchNo t",
      "   inner join t_ICItem s on t.FItemID=s.FItemID and s.FISBatchManager=1", " Where ",
      "   t.FStockID=3", "   and t.FItemID=42", "   and t.FBatchNo='B1'",
      " group by t.fitemid,t.FAuxPropID,t.FBatchNo,t.FStockID,t.FKfPeriod,t.FPeriodDate  ",
      " select @Amount=sum(FBegBal+FDebit-FCredit),", " @Qty=sum(FBegQty+FReceive-FSend), ",
      " @fitemid=t.fitemid,", " @FBatchNo=t.FBatchNo,", " @FStockID=t.FStockID",
      " from #t_CC_Stock_BatchNo t", "   inner join t_ICItem s on t.FItemID=s.FItemID and 1=1",
      " group by t.fitemid,t.FBatchNo,t.FStockID",
      " select distinct oi.fitemid,oi.FStockID", "   into #exp_CC_Bal ",
      "   from #t_CC_Stock_BatchNo oi, #DUAT_CC_Bal duai ", cond,
      "     and oi.FPeriodDate= duai.FPeriodDate and oi.FBatchNo= duai.FBatchNo ",
      "     and oi.FStockID=@FStockID", "     and oi.FItemID=@fitemid",
      "     and oi.FBatchNo=@FBatchNo",
      "   update oi set oi.FDebit = oi.FDebit + round(((" + fbal +
          ") * (duai.FAmount) / (@Amount)),2)",
      "   from #t_CC_Stock_BatchNo oi, #DUAT_CC_Bal duai ", cond, "     and @Amount <> 0 ",
      "   delete  oi ", "   from #T_CC_InventoryAll oi, #exp_CC_Bal doi ",
      "   Where oi.fitemid = doi.fitemid and oi.FStockID = doi.FStockID ",
      "     and oi.FStockID=@FStockID", "     and oi.FItemID=@fitemid",
      "   update oi set oi.FDebit = oi.FDebit + round(((" + fbal + ") * (duai.FQty) / (@qty)),10)",
      "   from #t_CC_Stock_BatchNo oi, #DUAT_CC_Bal duai, #T_CC_InventoryAll aoi ", cond,
      "     and @qty <> 0 ", " drop table #DUAT_CC_Bal ", " drop table #exp_CC_Bal ",
  });
}

TEST(ParserRealBatches, PerTotalCommandAndItsNullSplice) {
  Batch b = ParseBatch(PerTotalCommand("-30.5"));
  std::vector<StmtKind> kinds;
  for (const auto& s : b.statements) kinds.push_back(s->kind);
  std::vector<StmtKind> want(5, StmtKind::kDeclare);
  for (StmtKind k : {StmtKind::kSelect, StmtKind::kSelect, StmtKind::kSelect, StmtKind::kUpdate,
                     StmtKind::kDelete, StmtKind::kUpdate, StmtKind::kDrop, StmtKind::kDrop}) {
    want.push_back(k);
  }
  EXPECT_EQ(kinds, want);
  const auto& share = b.statements[8]->As<UpdateStmt>();
  EXPECT_EQ(ToSql(*share.sets[0].value),
            "(oi.FDebit + round((((-30.5) * duai.FAmount) / @Amount), 2))");
  EXPECT_EQ(share.from.size(), 2u);
  EXPECT_EQ(b.statements[10]->As<UpdateStmt>().from.size(), 3u);

  // A NULL total spliced as nothing fails the whole command, nothing is returned.
  try {
    ParseBatch(PerTotalCommand(""));
    ADD_FAILURE() << "empty splice parsed";
  } catch (const SqlError& e) {
    EXPECT_EQ(e.number, 102);
    EXPECT_EQ(e.message, "Incorrect syntax near ')'.");
    EXPECT_EQ(e.line, 38);
  }
}

}  // namespace
}  // namespace morvesk::engine::sql
