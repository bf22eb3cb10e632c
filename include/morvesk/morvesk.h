// Morvesk's host API: what a program linking libmorvesk.so
// (find_package(Morvesk) and Morvesk::morvesk, or pkg-config morvesk) uses to
// run the inventory costing classes on a company database. C++20.
//
// Open a company database: OpenCompany(path) checks the file and returns the
// connection description ("Data Source=...") every member takes as its first
// parameter. The file is opened by the first call that uses it and shared by
// every object of the process.
//
// Create a class by name: CreateObject("Morvesk.CalCurAmount") (also
// "Morvesk.StockBillReader", "Morvesk.ICbalReader", or a class id). The
// library's classes are registered in the process when it is loaded; no
// DllRegisterServer is needed.
//
// Call a member late-bound with automation values (Variant: Empty, Null,
// Boolean, Integer, Long, Double, Decimal, Date, String, Object, arrays):
//   auto cal = morvesk::CreateObject("Morvesk.CalCurAmount");
//   morvesk::Variant result = cal->Call("GetPeriodsData", {dsn});
// Member names are matched without regard to case, missing optional parameters
// take their declared defaults.
//
// By-ref outputs: pass the arguments in a vector to CallRef; a by-ref
// parameter's output is written back into its element:
//   std::vector<morvesk::Variant> args{dsn, int32_t{3}, int32_t{2025},
//   morvesk::Variant()}; cal->CallRef("SomeMember", args);   // args[3] now
//   holds the output
//
// Record sets: a member returning a record set yields a Variant holding an
// Object; read it late-bound like any other object:
//   auto rs = result.ToObject();
//   while (!rs->Get("EOF").ToBool()) {
//     morvesk::Variant v = rs->Get("Fields",
//     {"FItemID"}).ToObject()->Get("Value"); rs->Call("MoveNext");
//   }
// (see platform/automation/variant.h for the accessors of each value type).
//
// Errors: every failure leaves a call as morvesk::ComError with an
// HRESULT-style number, the source (the class's programmatic name), and a
// description; members whose convention is "message and False" return False and
// set their by-ref message instead. A failed operation leaves the company
// database as it was.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/automation/com_error.h"
#include "platform/automation/dispatch.h"
#include "platform/automation/variant.h"

#define MORVESK_API __attribute__((visibility("default")))

namespace morvesk {

using automation::ComError;
using automation::Dispatch;
using automation::Variant;

// The connection description of the company database at `path` (relative to the
// current directory). Throws ComError (kErrFail) when the file does not exist
// or is not a regular file: a company database is never created by opening it.
MORVESK_API std::string OpenCompany(const std::string &path);

// Creates an object of the library (or of another registered server library) by
// programmatic name or class id. Throws ComError kErrClassNotReg for an unknown
// name.
MORVESK_API std::shared_ptr<Dispatch>
CreateObject(std::string_view prog_id_or_clsid);

} // namespace morvesk
