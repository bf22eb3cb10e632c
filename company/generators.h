// The two company generators behind GenerateCompany: the hand-made demo company
// (demo_company.cpp) and the sized one (sized_company.cpp).
#pragma once

#include "company/company.h"

namespace morvesk::company {

void GenerateDemoCompany(engine::Connection& connection);
void GenerateSizedCompany(engine::Connection& connection, const GenerateOptions& options);

}  // namespace morvesk::company
