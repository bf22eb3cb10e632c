#include "services/morvesk_module.h"

#include <memory>

#include "platform/host/global_object.h"
#include "platform/plexo/plexo_classes.h"
#include "platform/resources/loader.h"
#include "services/cal_cur_amount.h"
#include "services/ic_bal_reader.h"
#include "services/stock_bill_reader.h"

namespace morvesk::services {

const automation::ModuleInfo& MorveskModule() {
  static const automation::ModuleInfo module{
      .type_library = {.libid = kTypeLibId,
                       .major_version = 5,
                       .minor_version = 8,
                       .lcid = 1033,
                       .name = "Morvesk"},
      .classes = {
          {.prog_id = kCalCurAmountProgId,
           .clsid = kCalCurAmountClsid,
           .iid = kCalCurAmountIid,
           .interface_name = "_CalCurAmount",
           .factory = [] { return std::make_shared<CalCurAmount>(); }},
          {.prog_id = kStockBillReaderProgId,
           .clsid = kStockBillReaderClsid,
           .iid = kStockBillReaderIid,
           .interface_name = "_StockBillReader",
           .factory = [] { return std::make_shared<StockBillReader>(); }},
          {.prog_id = kICbalReaderProgId,
           .clsid = kICbalReaderClsid,
           .iid = kICbalReaderIid,
           .interface_name = "_ICbalReader",
           .factory = [] { return std::make_shared<ICbalReader>(); }},
      }};
  return module;
}

void RegisterMorveskClasses() {
  host::RegisterHostClasses();
  plexo::RegisterPlexoClasses();
  resources::RegisterResourceClasses();
  automation::ClassRegistry::Global().RegisterModule(MorveskModule());
}

}  // namespace morvesk::services
