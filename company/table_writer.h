// Appends generated rows to one table through the engine's bulk load, a chunk at
// a time, so that a company of millions of bill lines never sits in memory whole.
// Also the small value makers the generators share.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/engine.h"

namespace morvesk::company {

class TableWriter {
 public:
  TableWriter(engine::Connection& connection, std::string table, std::vector<std::string> columns,
              size_t chunk_rows = 20000);
  TableWriter(const TableWriter&) = delete;
  TableWriter& operator=(const TableWriter&) = delete;

  // Row values in the order of the columns given to the constructor.
  void Add(std::vector<engine::Value> row);
  // Writes what is buffered; call once at the end (the destructor does not, as
  // writing can fail).
  void Flush();
  int64_t rows() const { return rows_; }

 private:
  engine::Connection& connection_;
  std::string table_;
  std::vector<std::string> columns_;
  size_t chunk_rows_;
  std::vector<std::vector<engine::Value>> pending_;
  int64_t rows_ = 0;
};

engine::Value Int(int64_t v);
engine::Value Text(std::string_view s);
// An exact amount: unscaled / 10^scale (Money(260000, 2) is 2600.00).
engine::Value Money(int64_t unscaled, int scale = 2);
// An exact number written as text ("5.20", "-3.5"); throws on bad text.
engine::Value Num(std::string_view text);
engine::Value Day(int year, int month, int day);
engine::Value NullValue();

// Days since 1900-01-01 of a calendar date, and back (proleptic Gregorian).
int64_t DaysFromCivil(int year, int month, int day);
engine::Value DayNumber(int64_t days_since_1900);

// Runs one batch and raises its first error, so generators stop at the first fault.
void Run(engine::Connection& connection, std::string_view batch);

}  // namespace morvesk::company
