#include "company_fixture.h"

#include <gtest/gtest.h>

namespace morvesk::company::testing {

TestCompany NewSchema() {
  TestCompany c;
  c.db = engine::Database::Open(":memory:");
  c.conn = c.db->Connect();
  LoadSchema(*c.conn);
  return c;
}

TestCompany NewCompany(int64_t lines_per_period, uint64_t seed) {
  TestCompany c = NewSchema();
  GenerateOptions options;
  options.lines_per_period = lines_per_period;
  options.seed = seed;
  GenerateCompany(*c.conn, options);
  return c;
}

std::string Canon(const engine::Value& v) {
  if (v.is_null()) return "NULL";
  std::string s = v.ToString();
  if (v.is_decimal() && s.find('.') != std::string::npos) {
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
    if (s == "-0") s = "0";
  }
  if (v.is_datetime() && s.size() >= 10 && s.substr(10) == " 00:00:00.000") s = s.substr(0, 10);
  return s;
}

Rows Query(engine::Connection& conn, const std::string& sql) {
  engine::BatchResult result = conn.Execute(sql);
  EXPECT_TRUE(result.ok()) << sql << "\n" << (result.ok() ? "" : result.errors.front().message);
  auto sets = result.ResultSets();
  Rows rows;
  if (sets.empty()) return rows;
  for (const auto& row : sets.back()->rows) {
    std::vector<std::string> cells;
    for (const engine::Value& v : row) cells.push_back(Canon(v));
    rows.push_back(std::move(cells));
  }
  return rows;
}

std::string Scalar(engine::Connection& conn, const std::string& sql) {
  Rows rows = Query(conn, sql);
  if (rows.empty() || rows[0].empty()) return "<no row>";
  return rows[0][0];
}

void ExpectConsistent(engine::Connection& conn) {
  struct Check {
    const char* what;
    const char* sql;
  };
  const Check checks[] = {
      {"stock bill lines without bill",
       "select count(*) from T_CC_StockBillEntry e left join T_CC_StockBill h on h.FID = e.FID "
       "where h.FID is null"},
      {"stock bill lines without item",
       "select count(*) from T_CC_StockBillEntry e left join t_ICItem i on i.FItemID = e.FItemID "
       "where i.FItemID is null"},
      {"stock bill lines with an unknown receiving stock",
       "select count(*) from T_CC_StockBillEntry e left join t_Stock s on s.FItemID = e.FDCStockID "
       "where e.FDCStockID <> 0 and s.FItemID is null"},
      {"stock bill lines with an unknown sending stock",
       "select count(*) from T_CC_StockBillEntry e left join t_Stock s on s.FItemID = e.FSCStockID "
       "where e.FSCStockID <> 0 and s.FItemID is null"},
      {"stock bill lines without any stock",
       "select count(*) from T_CC_StockBillEntry where FDCStockID = 0 and FSCStockID = 0"},
      {"bills without lines",
       "select count(*) from T_CC_StockBill h left join T_CC_StockBillEntry e on e.FID = h.FID "
       "where e.FID is null"},
      {"assembly product lines without bill, item or stock",
       "select count(*) from t_CC_ZZCX_Entry e left join t_CC_ZZCX h on h.FID = e.FID "
       "left join t_ICItem i on i.FItemID = e.FItemID left join t_Stock s on s.FItemID = e.FStockID "
       "where h.FID is null or i.FItemID is null or s.FItemID is null"},
      {"assembly component lines without bill, item or stock",
       "select count(*) from t_CC_ZZCX_Entry2 e left join t_CC_ZZCX h on h.FID = e.FID "
       "left join t_ICItem i on i.FItemID = e.FItemID left join t_Stock s on s.FItemID = e.FStockID "
       "where h.FID is null or i.FItemID is null or s.FItemID is null"},
      {"bills of an uncatalogued class",
       "select count(*) from T_CC_StockBill h left join ICClassType c on c.FID = h.FClassTypeID "
       "where c.FID is null"},
      {"bill ids shared by stock and assembly bills",
       "select count(*) from T_CC_StockBill h inner join t_CC_ZZCX z on z.FID = h.FID"},
      {"items of an unknown costing method, unit or auxiliary property",
       "select count(*) from t_ICItem i left join t_SubMessage m on m.FInterID = i.FTrack "
       "and m.FTypeID = 200 left join t_MeasureUnit u on u.FItemID = i.FUnitID "
       "where m.FInterID is null or u.FItemID is null"},
      {"lines of an unknown auxiliary property",
       "select count(*) from T_CC_StockBillEntry e left join t_auxItem a on a.FItemID = e.FAuxPropID "
       "where e.FAuxPropID <> 0 and a.FItemID is null"},
      {"balances of an unknown stock or item",
       "select count(*) from t_CC_Bal b left join t_Stock s on s.FItemID = b.FStockID "
       "left join t_ICItem i on i.FItemID = b.FItemID where s.FItemID is null or i.FItemID is null"},
      {"lot issues of no lot",
       "select count(*) from ICSpeedBal p left join t_CC_Bal b on b.FInterID = p.FInterID "
       "and b.FItemID = p.FItemID and b.FStockID = p.FStockID "
       "where p.FInterID <> '' and b.FInterID is null"},
  };
  for (const Check& c : checks) EXPECT_EQ(Scalar(conn, c.sql), "0") << c.what;
}

}  // namespace morvesk::company::testing
