// The SQLite loadable extension of the company database: registers on a handle
// opened by any SQLite program the TSQL collation and the engine's functions
// that the stored views, defaults and indexes call, and adds conversions that
// turn the stored forms of decimal and datetime values into ordinary SQLite
// text and reals. It also registers the company file layer as the process's
// default VFS, without which stock SQLite refuses a company file ("file is not a
// database"), and stays loaded so that later connections get all of it.
//
//   decimal_text(x [, scale])  a stored decimal as text: "12798.0000000000"
//   with the
//                              scale given, else at its natural scale ("12798")
//   decimal_real(x)            a stored decimal as a REAL (nearest double)
//   datetime_text(x)           a stored datetime as "yyyy-mm-dd hh:mi:ss.mmm",
//   which
//                              SQLite's own date functions read
//   datetime_real(x)           a stored datetime as a Julian day number (REAL)
//
// NULL in gives NULL out. A value that is not in the stored form of the type
// fails with an error naming the function, never a made-up number.
#include <sqlite3ext.h>

#include <string>

#include "engine/exec/company_vfs.h"
#include "engine/value/sqlfunc.h"
#include "engine/value/sqlfunc_internal.h"

SQLITE_EXTENSION_INIT1

namespace {

using morvesk::engine::DateTime;
using morvesk::engine::Decimal;
using morvesk::engine::DecodeKey;

void Fail(sqlite3_context *ctx, const std::string &message) {
  sqlite3_result_error(ctx, message.data(), static_cast<int>(message.size()));
}

// Decimals are stored as order-preserving blobs; an INTEGER (a literal written
// by another tool) is read as the whole number it is. Text and REAL are
// refused: they are not what the engine stores, and reading them would guess.
bool ReadDecimal(sqlite3_context *ctx, const char *fn, sqlite3_value *v,
                 Decimal &out) {
  switch (sqlite3_value_type(v)) {
  case SQLITE_BLOB: {
    auto d = DecodeKey(
        std::string_view(static_cast<const char *>(sqlite3_value_blob(v)),
                         static_cast<size_t>(sqlite3_value_bytes(v))));
    if (!d) {
      Fail(ctx, std::string(fn) + ": the blob is not a stored decimal");
      return false;
    }
    out = *d;
    return true;
  }
  case SQLITE_INTEGER:
    out = Decimal::FromInt(sqlite3_value_int64(v));
    return true;
  default:
    Fail(ctx, std::string(fn) + ": the value is not a stored decimal");
    return false;
  }
}

void DecimalText(sqlite3_context *ctx, int argc, sqlite3_value **argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL)
    return sqlite3_result_null(ctx);
  Decimal d;
  if (!ReadDecimal(ctx, "decimal_text", argv[0], d))
    return;
  if (argc > 1) {
    if (sqlite3_value_type(argv[1]) != SQLITE_INTEGER ||
        sqlite3_value_int(argv[1]) < 0 || sqlite3_value_int(argv[1]) > 38) {
      return Fail(ctx,
                  "decimal_text: the scale must be an integer from 0 to 38");
    }
    auto scaled = morvesk::engine::Rescale(d, sqlite3_value_int(argv[1]));
    if (!scaled)
      return Fail(
          ctx, "decimal_text: the value does not fit 38 digits at that scale");
    d = *scaled;
  }
  std::string text = d.ToString();
  sqlite3_result_text(ctx, text.data(), static_cast<int>(text.size()),
                      SQLITE_TRANSIENT);
}

void DecimalReal(sqlite3_context *ctx, int, sqlite3_value **argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL)
    return sqlite3_result_null(ctx);
  Decimal d;
  if (!ReadDecimal(ctx, "decimal_real", argv[0], d))
    return;
  sqlite3_result_double(ctx, d.ToDouble());
}

// Datetimes are stored as INTEGER milliseconds since 1900-01-01.
bool ReadDateTime(sqlite3_context *ctx, const char *fn, sqlite3_value *v,
                  DateTime &out) {
  if (sqlite3_value_type(v) != SQLITE_INTEGER) {
    Fail(ctx, std::string(fn) + ": the value is not a stored datetime");
    return false;
  }
  out = DateTime{sqlite3_value_int64(v)};
  if (!out.InRange()) {
    Fail(ctx, std::string(fn) +
                  ": the stored datetime is outside 1753-01-01 .. 9999-12-31");
    return false;
  }
  return true;
}

void DateTimeText(sqlite3_context *ctx, int, sqlite3_value **argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL)
    return sqlite3_result_null(ctx);
  DateTime d;
  if (!ReadDateTime(ctx, "datetime_text", argv[0], d))
    return;
  std::string text = d.Format(121);
  sqlite3_result_text(ctx, text.data(), static_cast<int>(text.size()),
                      SQLITE_TRANSIENT);
}

void DateTimeReal(sqlite3_context *ctx, int, sqlite3_value **argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL)
    return sqlite3_result_null(ctx);
  DateTime d;
  if (!ReadDateTime(ctx, "datetime_real", argv[0], d))
    return;
  // 1900-01-01 00:00 is Julian day 2415020.5.
  sqlite3_result_double(ctx, 2415020.5 + static_cast<double>(d.ms) /
                                             DateTime::kMsPerDay);
}

int Register(sqlite3 *db, char **pzErrMsg) {
  try {
    morvesk::engine::RegisterSqlFunctions(db);
    using morvesk::engine::sqlfn::Define;
    Define(db, "decimal_text", 1, DecimalText);
    Define(db, "decimal_text", 2, DecimalText);
    Define(db, "decimal_real", 1, DecimalReal);
    Define(db, "datetime_text", 1, DateTimeText);
    Define(db, "datetime_real", 1, DateTimeReal);
  } catch (const std::exception &e) {
    if (pzErrMsg)
      *pzErrMsg = sqlite3_mprintf("%s", e.what());
    return SQLITE_ERROR;
  }
  return SQLITE_OK;
}

// Every connection opened after the load gets the collation and functions too.
int AutoRegister(sqlite3 *db, char **pzErrMsg, const sqlite3_api_routines *) {
  return Register(db, pzErrMsg);
}

// Registers on `db`, makes the company file layer the process's default (so that a plain
// open of a company file works) and stays loaded: the layer and the later connections
// need the library for as long as the process runs.
int Load(sqlite3 *db, char **pzErrMsg) {
  const int rc = Register(db, pzErrMsg);
  if (rc != SQLITE_OK)
    return rc;
  morvesk::engine::exec::RegisterCompanyVfs(true);
  sqlite3_auto_extension(reinterpret_cast<void (*)(void)>(AutoRegister));
  return SQLITE_OK_LOAD_PERMANENTLY;
}

} // namespace

extern "C" {

// The entry point SQLite derives from the file name morvesk_sqlite.so.
__attribute__((visibility("default"))) int
sqlite3_morvesksqlite_init(sqlite3 *db, char **pzErrMsg,
                           const sqlite3_api_routines *pApi) {
  SQLITE_EXTENSION_INIT2(pApi);
  return Load(db, pzErrMsg);
}

// The generic entry point, for hosts that load the file under another name.
__attribute__((visibility("default"))) int
sqlite3_extension_init(sqlite3 *db, char **pzErrMsg,
                       const sqlite3_api_routines *pApi) {
  SQLITE_EXTENSION_INIT2(pApi);
  return Load(db, pzErrMsg);
}

} // extern "C"
