// Closes the current period of a company database and lists its ordinary
// stocks, through the installed Morvesk library alone: classes created by name,
// members called late-bound. Usage: close_and_lookup COMPANY.db
#include <morvesk/morvesk.h>

#include <cstdio>
#include <vector>

namespace {

int Fail(const char *what) {
  std::fprintf(stderr, "close_and_lookup: %s\n", what);
  return 1;
}

} // namespace

int main(int argc, char **argv) {
  if (argc != 2)
    return Fail("usage: close_and_lookup COMPANY.db");
  using morvesk::Variant;
  try {
    const std::string dsn = morvesk::OpenCompany(argv[1]);
    auto cal = morvesk::CreateObject("Morvesk.CalCurAmount");

    // The open period and its dates, read through by-ref outputs.
    Variant period(int32_t{0}), year(int32_t{0}), audit(int32_t{0}),
        neg(int32_t{0});
    Variant shortnum(false);
    std::vector<Variant> profile{dsn,
                                 Variant::Ref(&period),
                                 Variant::Ref(&year),
                                 Variant::Ref(&audit),
                                 Variant::Ref(&neg),
                                 Variant::Ref(&shortnum)};
    cal->CallRef("GetSystemProfile", profile);
    Variant start(""), end("");
    std::vector<Variant> dates{dsn, period, year, Variant::Ref(&start),
                               Variant::Ref(&end)};
    cal->CallRef("GetCurPeriodStartEnd", dates);
    std::printf("period %d/%d from %s to %s\n", year.ToLong(), period.ToLong(),
                start.ToString().c_str(), end.ToString().c_str());

    // The period close; its convention is False with the reason in the last
    // argument.
    Variant err("");
    std::vector<Variant> close{dsn,         period,
                               year,        start,
                               end,         Variant(int32_t{0}),
                               Variant(""), Variant::Ref(&err)};
    if (!cal->CallRef("CalculateInvBal_Ext", close).ToBool()) {
      return Fail(("the close failed: " + err.ToString()).c_str());
    }
    std::printf("closed\n");

    // A look-up returning a record set, read field by field.
    auto reader = morvesk::CreateObject("Morvesk.StockBillReader");
    auto rs = reader->Call("GetStocks", {dsn}).ToObject();
    if (!rs)
      return Fail("GetStocks returned no record set");
    int rows = 0;
    for (; !rs->Get("EOF").ToBool(); rs->Call("MoveNext"), ++rows) {
      auto field = [&](const char *name) {
        return rs->Get("Fields", {name}).ToObject()->Get("Value").ToString();
      };
      std::printf("stock %s %s\n", field("FItemID").c_str(),
                  field("FName").c_str());
    }
    if (rows == 0)
      return Fail("the company has no stocks");
  } catch (const morvesk::ComError &e) {
    std::fprintf(stderr, "close_and_lookup: error %08x from %s: %s\n",
                 static_cast<unsigned>(e.number), e.source.c_str(),
                 e.description.c_str());
    return 1;
  }

  // An unknown class and a missing file are errors, not empty objects.
  try {
    morvesk::CreateObject("Morvesk.NoSuchClass");
    return Fail("an unknown class was created");
  } catch (const morvesk::ComError &e) {
    if (e.number != static_cast<int32_t>(0x80040154))
      return Fail("wrong error for an unknown class");
  }
  try {
    morvesk::OpenCompany(std::string(argv[1]) + ".missing");
    return Fail("a missing company database was accepted");
  } catch (const morvesk::ComError &) {
  }
  std::printf("done\n");
  return 0;
}
