#include "platform/ado/odbc/odbc_provider.h"

#include <sql.h>
#include <sqlext.h>

#include <cctype>
#include <mutex>

#include "base/connection_secrets.h"
#include "platform/ado/odbc/odbc_catalog.h"
#include "platform/ado/odbc/odbc_columns.h"
#include "platform/ado/odbc/odbc_diagnostics.h"
#include "platform/ado/odbc/odbc_params.h"
#include "platform/ado/odbc/odbc_text.h"
#include "platform/automation/com_error.h"

namespace morvesk::ado {
namespace {

using automation::ComError;
using automation::Variant;
using odbc::kProviderName;
using odbc::SecretMask;

bool Ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

// The process's one environment handle, asking for the version 3 behaviour of the calls.
SQLHENV Environment() {
  static std::once_flag once;
  static SQLHENV env = SQL_NULL_HENV;
  std::call_once(once, [] {
    if (!Ok(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env))) {
      env = SQL_NULL_HENV;
      return;
    }
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  });
  if (env == SQL_NULL_HENV) {
    throw ComError(automation::kErrFail, kProviderName,
                   "The ODBC driver manager could not be started");
  }
  return env;
}

// The value of `key` (without regard to case) in a "key=value;..." description; values may
// be wrapped in braces, as ODBC quotes them.
std::string Entry(std::string_view text, std::string_view key) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = start;
    bool braced = false;
    while (end < text.size() && (braced || text[end] != ';')) {
      if (text[end] == '{') braced = true;
      if (text[end] == '}') braced = false;
      ++end;
    }
    const std::string_view pair = text.substr(start, end - start);
    const size_t eq = pair.find('=');
    if (eq != std::string_view::npos) {
      std::string k;
      for (char c : pair.substr(0, eq)) {
        if (!std::isspace(static_cast<unsigned char>(c))) {
          k += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
      }
      if (k == key) {
        std::string v(pair.substr(eq + 1));
        while (!v.empty() && std::isspace(static_cast<unsigned char>(v.front()))) v.erase(0, 1);
        while (!v.empty() && std::isspace(static_cast<unsigned char>(v.back()))) v.pop_back();
        if (v.size() >= 2 && v.front() == '{' && v.back() == '}') v = v.substr(1, v.size() - 2);
        return v;
      }
    }
    start = end + 1;
  }
  return {};
}

// What the session names in messages: the server and database, or the data source name.
std::string Describe(std::string_view text) {
  std::string dsn = Entry(text, "dsn");
  if (!dsn.empty()) return "DSN=" + dsn;
  std::string out = Entry(text, "server");
  if (const std::string port = Entry(text, "port"); !port.empty()) out += "," + port;
  if (const std::string db = Entry(text, "database"); !db.empty()) out += "/" + db;
  return out.empty() ? base::MaskPasswords(text) : out;
}

class OdbcSession : public ProviderSession {
 public:
  explicit OdbcSession(const std::string& description)
      : mask_(Entry(description, "pwd").empty() ? Entry(description, "password")
                                                : Entry(description, "pwd")),
        source_(mask_(Describe(description))) {
    SQLHENV env = Environment();
    if (!Ok(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc_))) {
      throw ComError(automation::kErrFail, kProviderName,
                     "Cannot connect to " + source_ + ": no connection handle");
    }
    SQLSetConnectAttr(dbc_, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(15), 0);
    odbc::WideText text = odbc::ToWide(description);
    SQLWCHAR out[1024];
    SQLSMALLINT out_length = 0;
    const SQLRETURN rc =
        SQLDriverConnectW(dbc_, nullptr, text.data(), static_cast<SQLSMALLINT>(text.size()), out,
                          sizeof out / sizeof out[0], &out_length, SQL_DRIVER_NOPROMPT);
    if (!Ok(rc)) {
      std::vector<ErrorRecord> why;
      odbc::ReadDiagnostics(SQL_HANDLE_DBC, dbc_, mask_, why);
      SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
      dbc_ = SQL_NULL_HDBC;
      throw ComError(automation::kErrFail, kProviderName,
                     mask_("Cannot connect to " + source_ + ": " + odbc::Summary(why)));
    }
    connected_ = true;
    if (!Ok(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &st_))) {
      Close();
      throw ComError(automation::kErrFail, kProviderName,
                     "Cannot run statements on " + source_ + ": no statement handle");
    }
  }

  ~OdbcSession() override { Close(); }

  ProviderResult Execute(std::string_view text) override {
    Prepare(/*escapes=*/false);
    const odbc::WideText wide = odbc::ToWide(text);
    const SQLRETURN rc = SQLExecDirectW(st_, const_cast<SQLWCHAR*>(wide.data()),
                                        static_cast<SQLINTEGER>(wide.size()));
    ProviderResult out = Drain(rc);
    Settle(out);
    return out;
  }

  ProviderResult CallProcedure(std::string_view name, std::vector<ProviderParam>& params) override {
    Prepare(/*escapes=*/true);
    // The return status binds first, then the arguments by position.
    std::vector<std::unique_ptr<odbc::BoundParam>> bound;
    std::vector<size_t> index;  // bound position (after the status) -> params position
    bound.push_back(odbc::ReturnStatusParam());
    for (size_t i = 0; i < params.size(); ++i) {
      if (params[i].direction == ParameterDirection::kReturnValue) continue;
      try {
        bound.push_back(odbc::PrepareParam(params[i]));
      } catch (const ComError& err) {
        return RefusedParameter(i, name, err.number, err.description, kProviderName);
      }
      index.push_back(i);
    }
    std::string call = "{? = call " + std::string(name);
    if (bound.size() > 1) {
      call += "(";
      for (size_t i = 1; i < bound.size(); ++i) call += i > 1 ? ",?" : "?";
      call += ")";
    }
    call += "}";
    for (size_t i = 0; i < bound.size(); ++i) {
      if (!odbc::Bind(st_, static_cast<SQLUSMALLINT>(i + 1), *bound[i])) {
        ProviderResult bad;
        odbc::ReadDiagnostics(SQL_HANDLE_STMT, st_, mask_, bad.errors);
        bad.failed = true;
        return bad;
      }
    }
    const odbc::WideText wide = odbc::ToWide(call);
    const SQLRETURN rc = SQLExecDirectW(st_, const_cast<SQLWCHAR*>(wide.data()),
                                        static_cast<SQLINTEGER>(wide.size()));
    ProviderResult out = Drain(rc);
    // Output values are final once every result of the call has been read.
    for (size_t k = 0; k < index.size(); ++k) {
      ProviderParam& p = params[index[k]];
      if (p.direction != ParameterDirection::kInput) p.value = odbc::ReadBack(*bound[k + 1]);
    }
    const Variant status = odbc::ReadBack(*bound[0]);
    if (!status.is_null()) out.return_status = status.ToLong();
    for (auto& p : params) {
      if (p.direction == ParameterDirection::kReturnValue) {
        p.value = Variant(static_cast<int32_t>(out.return_status.value_or(0)));
      }
    }
    Settle(out);
    return out;
  }

  void BeginTransaction() override {
    EndCursor();
    if (manual_) {
      // The server ended the last transaction on its own (Settle): the driver, still in
      // manual mode, would not begin another. Leaving that mode and entering it again
      // does, and commits nothing, since nothing is open.
      SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON),
                        0);
      manual_ = false;
    }
    SetAutocommit(false, "begin a transaction");
    in_transaction_ = true;
  }
  void Commit() override { End(SQL_COMMIT, "commit"); }
  void Rollback() override { End(SQL_ROLLBACK, "roll back"); }
  bool InTransaction() const override { return in_transaction_; }
  std::string DataSource() const override { return source_; }
  std::optional<TableShape> DescribeTable(std::string_view name) override {
    return odbc::DescribeFromCatalog(*this, name);
  }
  void SetCommandTimeout(int32_t seconds) override { timeout_ = seconds < 0 ? 0 : seconds; }

 private:
  void RequireOpen() const {
    if (!connected_) {
      throw ComError(automation::kErrObjectClosed, kProviderName,
                     "The connection to " + source_ + " is closed");
    }
  }

  void EndCursor() {
    if (st_ == SQL_NULL_HSTMT) return;
    SQLFreeStmt(st_, SQL_CLOSE);
    SQLFreeStmt(st_, SQL_RESET_PARAMS);
  }

  void Prepare(bool escapes) {
    RequireOpen();
    EndCursor();
    // Batch text goes to the server as written: braces and question marks inside it are
    // T-SQL, not driver escapes.
    SQLSetStmtAttr(st_, SQL_ATTR_NOSCAN,
                   reinterpret_cast<SQLPOINTER>(escapes ? SQL_NOSCAN_OFF : SQL_NOSCAN_ON), 0);
    SQLSetStmtAttr(st_, SQL_ATTR_QUERY_TIMEOUT,
                   reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(timeout_)), 0);
  }

  void Collect(SQLRETURN rc, ProviderResult& out) {
    if (rc == SQL_SUCCESS) return;
    odbc::ReadDiagnostics(SQL_HANDLE_STMT, st_, mask_, out.errors);
  }

  // Every result of the statement in order: result sets, row counts, messages.
  ProviderResult Drain(SQLRETURN rc) {
    ProviderResult out;
    for (int guard = 0; guard < 1000000; ++guard) {
      if (rc == SQL_INVALID_HANDLE || rc == SQL_STILL_EXECUTING || rc == SQL_NEED_DATA) break;
      const size_t before = out.errors.size();
      Collect(rc, out);
      if (Stops(out, before)) break;
      if (rc != SQL_ERROR) {
        SQLSMALLINT columns = 0;
        SQLNumResultCols(st_, &columns);
        if (columns > 0) {
          // The rows a query returned count as its records affected, as the server's
          // done message reports them.
          FetchRowset(columns, out);
          SQLLEN count = -1;
          if (Ok(SQLRowCount(st_, &count)) && count >= 0) out.records_affected = count;
        } else if (rc != SQL_NO_DATA) {
          SQLLEN count = -1;
          if (Ok(SQLRowCount(st_, &count)) && count >= 0) out.records_affected = count;
        } else {
          out.records_affected = 0;
        }
      }
      rc = SQLMoreResults(st_);
      if (rc == SQL_NO_DATA) {
        Collect(rc, out);
        break;
      }
    }
    for (const ErrorRecord& e : out.errors) out.failed = out.failed || !e.is_warning;
    return out;
  }

  // A failure of the driver or the link, not of a statement, ends the reading: nothing
  // more will come.
  static bool Stops(const ProviderResult& out, size_t from) {
    for (size_t i = from; i < out.errors.size(); ++i) {
      const std::string& s = out.errors[i].sql_state;
      if (s == "HYT00" || s == "HY008" || s.rfind("08", 0) == 0 || s == "HY010" ||
          (s == "HY000" && out.errors[i].native_error == 0)) {
        return true;
      }
    }
    return false;
  }

  void FetchRowset(SQLSMALLINT count, ProviderResult& out) {
    Rowset rs;
    const std::vector<odbc::ResultColumn> columns = odbc::DescribeColumns(st_, count);
    rs.columns.reserve(columns.size());
    for (const auto& c : columns) rs.columns.push_back(c.info);
    for (;;) {
      const SQLRETURN rc = SQLFetch(st_);
      if (rc == SQL_NO_DATA) break;
      Collect(rc, out);
      if (!Ok(rc)) break;
      std::vector<Variant> row;
      row.reserve(columns.size());
      for (size_t i = 0; i < columns.size(); ++i) {
        row.push_back(
            odbc::FetchValue(st_, static_cast<SQLUSMALLINT>(i + 1), columns[i], mask_, out.errors));
      }
      rs.rows.push_back(std::move(row));
    }
    out.rowsets.push_back(std::move(rs));
  }

  // After a failed statement inside the unit of work, whether the server still holds its
  // transaction: an error that ends the batch (a deadlock, a failed conversion) rolls it
  // back there, and the unit of work must learn of it.
  void Settle(const ProviderResult& out) {
    EndCursor();
    if (!in_transaction_ || !out.failed) return;
    Prepare(false);
    static const odbc::WideText kAsk = odbc::ToWide("select @@trancount");
    const SQLRETURN rc = SQLExecDirectW(st_, const_cast<SQLWCHAR*>(kAsk.data()),
                                        static_cast<SQLINTEGER>(kAsk.size()));
    ProviderResult r = Drain(rc);
    EndCursor();
    if (r.failed || r.rowsets.empty() || r.rowsets[0].rows.empty()) return;
    if (r.rowsets[0].rows[0][0].ToLong() == 0) {
      // Not held any more: the driver's transaction mode starts a new one with the next
      // statement, so only the unit of work's record of it is dropped.
      in_transaction_ = false;
    }
  }

  void SetAutocommit(bool on, const char* what) {
    RequireOpen();
    const SQLRETURN rc = SQLSetConnectAttr(
        dbc_, SQL_ATTR_AUTOCOMMIT,
        reinterpret_cast<SQLPOINTER>(on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF), 0);
    if (!Ok(rc)) Fail(what);
    manual_ = !on;
  }

  void End(SQLSMALLINT completion, const char* what) {
    RequireOpen();
    EndCursor();
    const SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, dbc_, completion);
    in_transaction_ = false;
    if (!Ok(rc)) {
      std::vector<ErrorRecord> why;
      odbc::ReadDiagnostics(SQL_HANDLE_DBC, dbc_, mask_, why);
      SetAutocommit(true, what);
      throw ComError(automation::kErrCommand, kProviderName,
                     "Cannot " + std::string(what) + " on " + source_ + ": " + odbc::Summary(why));
    }
    SetAutocommit(true, what);
  }

  [[noreturn]] void Fail(const char* what) {
    std::vector<ErrorRecord> why;
    odbc::ReadDiagnostics(SQL_HANDLE_DBC, dbc_, mask_, why);
    throw ComError(automation::kErrCommand, kProviderName,
                   "Cannot " + std::string(what) + " on " + source_ + ": " + odbc::Summary(why));
  }

  void Close() {
    if (st_ != SQL_NULL_HSTMT) {
      SQLFreeHandle(SQL_HANDLE_STMT, st_);
      st_ = SQL_NULL_HSTMT;
    }
    if (dbc_ != SQL_NULL_HDBC) {
      if (connected_) {
        // An open transaction is discarded with the connection, never committed.
        if (in_transaction_) SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK);
        SQLDisconnect(dbc_);
      }
      SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
      dbc_ = SQL_NULL_HDBC;
    }
    connected_ = false;
  }

  SecretMask mask_;
  std::string source_;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
  SQLHSTMT st_ = SQL_NULL_HSTMT;
  bool connected_ = false;
  bool in_transaction_ = false;
  bool manual_ = false;  // the driver's autocommit is off
  int32_t timeout_ = 30;
};

}  // namespace

std::unique_ptr<ProviderSession> OpenOdbcSession(const std::string& description) {
  return std::make_unique<OdbcSession>(description);
}

}  // namespace morvesk::ado
