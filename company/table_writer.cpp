#include "company/table_writer.h"

#include <stdexcept>

namespace morvesk::company {

TableWriter::TableWriter(engine::Connection& connection, std::string table,
                         std::vector<std::string> columns, size_t chunk_rows)
    : connection_(connection),
      table_(std::move(table)),
      columns_(std::move(columns)),
      chunk_rows_(chunk_rows) {
  pending_.reserve(chunk_rows_);
}

void TableWriter::Add(std::vector<engine::Value> row) {
  pending_.push_back(std::move(row));
  if (pending_.size() >= chunk_rows_) Flush();
}

void TableWriter::Flush() {
  if (pending_.empty()) return;
  connection_.BulkInsert(table_, columns_, pending_);
  rows_ += static_cast<int64_t>(pending_.size());
  pending_.clear();
}

engine::Value Int(int64_t v) { return engine::Value::Int(v); }

engine::Value Text(std::string_view s) { return engine::Value::Text(std::string(s)); }

engine::Value Money(int64_t unscaled, int scale) {
  return engine::Value::Dec(engine::Decimal{unscaled, static_cast<uint8_t>(scale)});
}

engine::Value Num(std::string_view text) {
  auto d = engine::Decimal::Parse(text);
  if (!d) throw std::invalid_argument("not a number: " + std::string(text));
  return engine::Value::Dec(*d);
}

int64_t DaysFromCivil(int year, int month, int day) {
  // Howard Hinnant's days_from_civil, shifted from 1970-01-01 to 1900-01-01.
  year -= month <= 2;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yoe = year - era * 400;
  const int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  constexpr int64_t kDays1900To1970 = 25567;
  return era * 146097 + doe - 719468 + kDays1900To1970;
}

engine::Value DayNumber(int64_t days_since_1900) {
  return engine::Value::Date(engine::DateTime::FromDays(days_since_1900));
}

engine::Value Day(int year, int month, int day) {
  return DayNumber(DaysFromCivil(year, month, day));
}

engine::Value NullValue() { return engine::Value::Null(); }

void Run(engine::Connection& connection, std::string_view batch) {
  engine::BatchResult result = connection.Execute(batch);
  if (!result.ok()) throw result.errors.front();
}

}  // namespace morvesk::company
