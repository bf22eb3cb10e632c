// Connection descriptions: the text a caller hands to the connection service to name
// the company database.
//
// Accepted forms:
//   "Data Source=company.db"                      (key without regard to case)
//   "Provider=x;Data Source='/srv/c.db';User ID=u" other key=value pairs are ignored;
//                                                  values may be quoted with ' or "
//   "company.db"                                  a bare path (no '=')
//   ":memory:"                                    one in-memory database per process
// Relative paths are taken from the current directory. The database file must exist.
//   "Driver={...};Server=h;Port=n;Database=d;UID=u;PWD=p" or "DSN=name;..."
//                                                  a database reached through ODBC: the
//                                                  text goes to the driver manager as is
#pragma once

#include <string>
#include <string_view>

namespace morvesk::host {

struct ConnectionDescription {
  std::string data_source;  // the path as written, or ":memory:"; for ODBC, the text masked
  std::string odbc;         // the whole text when it names a driver or DSN, else empty
  bool is_odbc() const { return !odbc.empty(); }
};

// Whether `text` is a description for the driver manager (names a Driver= or DSN=),
// without raising on text that is no description at all.
bool IsOdbcDescription(std::string_view text);

// Throws ComError (kErrFail, source "Halvane.AppConnection") with a message saying what
// is missing when the text names no data source.
ConnectionDescription ParseConnectionDescription(std::string_view text);

}  // namespace morvesk::host
