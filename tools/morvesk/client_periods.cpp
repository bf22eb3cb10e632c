#include "tools/morvesk/client_periods.h"

#include <sstream>

#include "platform/ado/recordset.h"
#include "platform/automation/com_error.h"
#include "platform/host/connection_description.h"
#include "platform/host/provider_choice.h"

namespace morvesk::cli {

using automation::ComError;
using automation::Variant;

std::string ToText(const YearPeriod& p) {
  return std::to_string(p.year) + "/" + std::to_string(p.period);
}

YearPeriod InventoryPeriod(automation::Dispatch& cal, const std::string& cnn) {
  Variant period(int32_t{0}), year(int32_t{0}), audit(int32_t{0}), neg(int32_t{0}), shortnum(false);
  std::vector<Variant> args{Variant(cnn),         Variant::Ref(&period), Variant::Ref(&year),
                            Variant::Ref(&audit), Variant::Ref(&neg),    Variant::Ref(&shortnum)};
  cal.CallRef("GetSystemProfile", args);
  return {year.ToLong(), period.ToLong()};
}

namespace {

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::stringstream in(text);
  std::string part;
  while (std::getline(in, part, separator)) parts.push_back(part);
  return parts;
}

}  // namespace

PeriodList ReadPeriods(automation::Dispatch& cal, const std::string& cnn) {
  Variant clip(""), rows(int32_t{0}), color(int32_t{0});
  std::vector<Variant> args{Variant(cnn), Variant::Ref(&clip), Variant::Ref(&rows),
                            Variant::Ref(&color)};
  cal.CallRef("GetPeriodsData", args);
  PeriodList list;
  list.count = rows.ToLong();
  list.current_row = color.ToLong();
  for (const std::string& line : Split(clip.ToString(), '\r')) {
    std::vector<std::string> fields = Split(line, '\t');
    fields.resize(4);
    list.rows.push_back({fields[0], fields[1], fields[2], fields[3]});
  }
  return list;
}

std::string EndDataFinding(automation::Dispatch& cal, const std::string& cnn, const YearPeriod& p,
                           const std::string& start, const std::string& end) {
  // A missing or unreadable costing scope counts as per stock, as the return to an earlier period
  // reads it.
  int32_t cal_type = 1;
  {
    CompanyReader db(cnn);
    cal_type = db.ProfileNumber("IC", "CalculateType").value_or(1);
  }
  Variant err("");
  std::vector<Variant> args{Variant(cnn), Variant(p.period),  Variant(p.year),  Variant(start),
                            Variant(end), Variant::Ref(&err), Variant(cal_type)};
  if (cal.CallRef("CheckEndData", args).ToBool()) return "";
  const std::string message = err.ToString();
  return message.empty() ? "the check failed without a message" : message;
}

CompanyReader::CompanyReader(const std::string& cnn)
    : cnn_(ado::Connection::Create(
          host::OpenProviderSession(host::ParseConnectionDescription(cnn)))) {}

Variant CompanyReader::First(const std::string& sql) {
  std::shared_ptr<ado::Recordset> rs = cnn_->Execute(sql);
  Variant v = Variant::Null();
  if (rs->IsOpen() && !rs->Eof()) v = rs->FieldAt(0).Value();
  if (rs->IsOpen()) rs->Close();
  return v;
}

std::optional<int32_t> CompanyReader::ProfileNumber(const std::string& category,
                                                    const std::string& key) {
  const Variant v = First("select FValue from t_SystemProfile where FCategory='" + category +
                          "' and FKey='" + key + "'");
  if (v.is_null()) return std::nullopt;
  try {
    return v.ToLong();
  } catch (const ComError&) {
    return std::nullopt;
  }
}

std::optional<int64_t> CompanyReader::Count(const std::string& table) {
  try {
    return static_cast<int64_t>(First("select count(*) from " + table).ToDouble());
  } catch (const ComError&) {
    return std::nullopt;
  }
}

}  // namespace morvesk::cli
