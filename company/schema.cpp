#include "company/company.h"
#include "company/script.h"
#include "company/sql_text.h"

namespace morvesk::company {

void LoadSchema(engine::Connection& connection) {
  for (const SqlScript& script : SchemaScripts()) {
    for (const ScriptBatch& batch : SplitBatches(script.text)) {
      try {
        engine::BatchResult result = connection.Execute(batch.text);
        if (!result.ok()) throw result.errors.front();
      } catch (engine::SqlError& e) {
        // Point at the script line, not the batch line: the script is what one edits.
        throw engine::SqlError(e.number, e.severity,
                               std::string(script.name) + ": " + e.message,
                               e.line + batch.first_line - 1, e.state, e.procedure);
      }
    }
  }
}

}  // namespace morvesk::company
