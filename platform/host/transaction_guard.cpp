#include "platform/host/transaction_guard.h"

namespace morvesk::host {

ado::ProviderResult TransactionGuard::Execute(std::string_view text) {
  ado::ProviderResult r = inner().Execute(text);
  Check();
  return r;
}

ado::ProviderResult TransactionGuard::CallProcedure(std::string_view name,
                                                    std::vector<ado::ProviderParam>& params) {
  ado::ProviderResult r = inner().CallProcedure(name, params);
  Check();
  return r;
}

void TransactionGuard::Check() {
  if (!armed_ || inner().InTransaction()) return;
  lost_ = true;
  inner().BeginTransaction();
}

}  // namespace morvesk::host
