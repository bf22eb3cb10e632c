// The demo company's data (see demo_company.cpp) and the sized generator's, both
// written into a database that holds the schema.
#pragma once

#include "company/company.h"

namespace morvesk::company {

void GenerateDemoCompany(engine::Connection& connection);
void GenerateSizedCompany(engine::Connection& connection, const GenerateOptions& options);

}  // namespace morvesk::company
