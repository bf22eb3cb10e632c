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
#pragma once

#include <string>
#include <string_view>

namespace morvesk::host {

struct ConnectionDescription {
  std::string data_source;  // the path as written, or ":memory:"
};

// Throws ComError (kErrFail, source "Halvane.AppConnection") with a message saying what
// is missing when the text names no data source.
ConnectionDescription ParseConnectionDescription(std::string_view text);

}  // namespace morvesk::host
