// morvesk call: creates a service object by its programmatic name and invokes one
// member late-bound, as a client program would, then prints the result and every
// by-ref output.
#include <algorithm>
#include <charconv>
#include <cctype>
#include <cstdio>
#include <iostream>
#include <sstream>

#include "platform/ado/recordset.h"
#include "platform/automation/registry.h"
#include "platform/plexo/dictionary.h"
#include "services/morvesk_module.h"
#include "tools/morvesk/call_values.h"
#include "tools/morvesk/call_list.h"
#include "tools/morvesk/cli_args.h"
#include "tools/morvesk/commands.h"
#include "tools/morvesk/result_format.h"
#include "tools/morvesk/text_list_arg.h"

namespace morvesk::cli {
namespace {

using automation::Variant;
using automation::VarType;

constexpr char kHelp[] =
    "usage: morvesk call --db FILE [--format table|json] Class.Member [ARG...]\n"
    "       morvesk call --list [Class...]\n"
    "\n"
    "Creates the object Class (a programmatic name such as Morvesk.CalCurAmount; the\n"
    "Morvesk. prefix may be left out) and invokes its member late-bound.\n"
    "\n"
    "  --db FILE        the company database; when the member's first parameter is a\n"
    "                   connection description (sCnn, sDsn, oDsN) it is filled with\n"
    "                   \"Data Source=FILE\" and the ARGs start at the second parameter\n"
    "  --format table   result, by-ref outputs and record sets as text tables (default)\n"
    "  --format json    one JSON object: {\"result\": ..., \"outputs\": {...}}\n"
    "  ARG...           the arguments in parameter order, converted to the parameter\n"
    "                   types (numbers, True/False, dates as yyyy-mm-dd). A dictionary\n"
    "                   parameter takes KEY=VALUE;KEY=VALUE; a record set parameter\n"
    "                   takes @FILE, a CSV file with a header line naming the fields\n"
    "                   (an empty field is Null). A Variant parameter\n"
    "                   takes a list of texts as @FILE (one a line) or a JSON array\n"
    "                   of strings (UpdateBatch's oCol). Trailing by-ref and\n"
    "                   optional parameters may be left out.\n"
    "\n"
    "  --list           list the classes named (all when none is), each member with\n"
    "                   its parameters (ByVal or ByRef, type, default of an optional\n"
    "                   one) and its result type\n"
    "\n"
    "Exit code 1 when the operation fails: it returns False or raises an error.\n"
    "Example: morvesk call --db demo.db Morvesk.CalCurAmount.GetPeriodsData\n";

bool IsConnectionParameter(const std::string& name) {
  std::string folded = name;
  std::transform(folded.begin(), folded.end(), folded.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  return folded == "scnn" || folded == "sdsn" || folded == "odsn";
}

// A dictionary argument: "ReproducePrice=0;BDate=2025-04-01". Whole numbers are
// stored as numbers, everything else as text.
Variant DictionaryArgument(const std::string& text) {
  auto dict = std::make_shared<plexo::Dictionary>();
  std::stringstream in(text);
  std::string pair;
  while (std::getline(in, pair, ';')) {
    if (pair.empty()) continue;
    size_t eq = pair.find('=');
    if (eq == std::string::npos) throw UsageError("dictionary entry '" + pair + "' needs KEY=VALUE");
    std::string key = pair.substr(0, eq);
    std::string value = pair.substr(eq + 1);
    // A whole number of Long's range is a number; anything else ("-", "12a", a date) text.
    int32_t number = 0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), number);
    const bool whole = !value.empty() && ec == std::errc() && end == value.data() + value.size();
    dict->Set(key, whole ? Variant(number) : Variant(value));
  }
  return Variant(std::shared_ptr<automation::Dispatch>(dict));
}

Cell CellOf(const Variant& v) {
  switch (v.type()) {
    case VarType::kEmpty:
    case VarType::kNull: return Cell::Null();
    case VarType::kBoolean: return Cell::Bool(v.ToBool());
    case VarType::kDouble: return Cell::Number(FullPrecision(v.ToDouble()));
    case VarType::kShort:
    case VarType::kLong:
    case VarType::kSingle:
    case VarType::kDecimal:
    case VarType::kCurrency: return Cell::Number(v.ToString());
    default: break;
  }
  if (v.is_object() || v.is_array()) return Cell::Text("(object)");
  return Cell::Text(v.ToString());
}

// What an object value holds, as tables: a record set's rows, a dictionary's keys.
std::optional<Table> TableOfObject(const Variant& v) {
  if (!v.is_object()) return std::nullopt;
  std::shared_ptr<automation::Dispatch> object = v.ToObject();
  if (auto rs = std::dynamic_pointer_cast<ado::Recordset>(object)) {
    Table t;
    if (!rs->IsOpen()) return t;
    for (const ado::ColumnInfo& c : rs->Columns()) t.columns.push_back(c.name);
    if (rs->RecordCount() == 0) return t;
    rs->MoveFirst();
    while (!rs->Eof()) {
      std::vector<Cell> row;
      for (size_t i = 0; i < rs->FieldCount(); ++i) row.push_back(CellOf(rs->FieldAt(i).Value()));
      t.rows.push_back(std::move(row));
      rs->MoveNext();
    }
    return t;
  }
  if (auto dict = std::dynamic_pointer_cast<plexo::Dictionary>(object)) {
    Table t;
    t.columns = {"Key", "Value"};
    for (const auto& [key, value] : dict->entries()) t.rows.push_back({Cell::Text(key), CellOf(value)});
    return t;
  }
  return std::nullopt;
}

std::string DisplayText(const Variant& v) {
  Cell c = CellOf(v);
  if (c.kind == Cell::Kind::kBool) return v.ToBool() ? "True" : "False";
  if (v.is_empty()) return "(empty)";
  return c.kind == Cell::Kind::kNull ? "Null" : c.text;
}

std::string JsonValue(const Variant& v) {
  if (auto t = TableOfObject(v)) {
    if (t->columns.size() == 2 && t->columns[0] == "Key" &&
        std::dynamic_pointer_cast<plexo::Dictionary>(v.ToObject())) {
      std::string out = "{";
      for (size_t i = 0; i < t->rows.size(); ++i) {
        out += (i ? ", " : "") + JsonString(t->rows[i][0].text) + ": " + JsonCell(t->rows[i][1]);
      }
      return out + "}";
    }
    std::ostringstream out;
    PrintJson(out, *t);
    return out.str();
  }
  return JsonCell(CellOf(v));
}

void PrintNamed(const std::string& name, const Variant& v) {
  if (auto dict = v.is_object() ? std::dynamic_pointer_cast<plexo::Dictionary>(v.ToObject())
                                : nullptr) {
    PrintDictionary(std::cout, name, *dict);
  } else if (auto t = TableOfObject(v)) {
    std::cout << name << ":\n";
    PrintTable(std::cout, *t);
    std::cout << "(" << t->rows.size() << (t->rows.size() == 1 ? " row" : " rows") << ")\n";
  } else {
    std::cout << name << ": " << DisplayText(v) << "\n";
  }
}

}  // namespace

int RunCall(int argc, char** argv, int first) {
  try {
    Args args(argc, argv, first, ArgSpec{{"--db", "--format"}, {"--list"}, true});
    if (args.help()) {
      std::cout << kHelp;
      return kExitOk;
    }
    if (args.Has("--list")) {
      services::RegisterMorveskClasses();
      try {
        ListMembers(args.positionals(), std::cout);
      } catch (const automation::ComError& e) {
        std::cerr << "morvesk call: " << e.description << "\n";
        return kExitFailed;
      }
      return kExitOk;
    }
    std::string db = args.Require("--db");
    Format format = ParseFormat(args.Get("--format").value_or("table"), /*csv_allowed=*/false);
    if (args.positionals().empty()) throw UsageError("Class.Member is required");
    const std::string target = args.positionals()[0];
    size_t dot = target.rfind('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == target.size()) {
      throw UsageError("'" + target + "' is not Class.Member");
    }
    std::string class_name = target.substr(0, dot);
    const std::string member_name = target.substr(dot + 1);
    std::vector<std::string> given(args.positionals().begin() + 1, args.positionals().end());

    services::RegisterMorveskClasses();
    try {
      if (class_name.find('.') == std::string::npos &&
          !automation::ClassRegistry::Global().Find(class_name)) {
        class_name = "Morvesk." + class_name;
      }
      std::shared_ptr<automation::Dispatch> object = automation::CreateObject(class_name);
      automation::DispId id = object->GetIdsOfNames(member_name);
      const automation::MemberInfo& member = *object->Interface().Member(id);

      // One variable per parameter; by-ref ones are passed by reference so that
      // their final values can be shown.
      std::vector<Variant> values(member.params.size());
      std::vector<Variant> call_args;
      size_t next_given = 0;
      for (size_t i = 0; i < member.params.size(); ++i) {
        const automation::ParamInfo& p = member.params[i];
        if (i == 0 && IsConnectionParameter(p.name)) {
          values[i] = Variant(CompanyDescription(db));
        } else if (next_given < given.size()) {
          const std::string& text = given[next_given++];
          values[i] = p.type == VarType::kObject
                          ? (IsRecordsetArgument(text) ? RecordsetArgument(text)
                                                       : DictionaryArgument(text))
                      : p.type == VarType::kVariant && IsTextListArgument(text)
                          ? TextListArgument(text)
                          : Variant(text);
        } else if (p.by_ref) {
          values[i] = p.default_value;
        } else if (p.optional) {
          // Left out: the member applies its own default, unless a by-ref parameter
          // follows and the argument list has to reach it.
          bool later_ref = std::any_of(member.params.begin() + i, member.params.end(),
                                       [](const automation::ParamInfo& q) { return q.by_ref; });
          if (!later_ref) break;
          values[i] = p.default_value;
        } else {
          throw UsageError(member.name + " needs an argument for " + p.name);
        }
        call_args.push_back(p.by_ref ? Variant::Ref(&values[i]) : values[i]);
      }
      if (next_given < given.size()) {
        throw UsageError(member.name + " takes " + std::to_string(member.params.size()) +
                         " parameters; too many arguments");
      }

      Variant result = object->Invoke(id, call_args);

      bool failed = result.type() == VarType::kBoolean && !result.ToBool();
      if (format == Format::kJson) {
        std::cout << "{\"result\": " << JsonValue(result) << ", \"outputs\": {";
        bool any = false;
        for (size_t i = 0; i < member.params.size() && i < call_args.size(); ++i) {
          if (!member.params[i].by_ref) continue;
          std::cout << (any ? ", " : "") << JsonString(member.params[i].name) << ": "
                    << JsonValue(values[i]);
          any = true;
        }
        std::cout << "}}\n";
      } else {
        if (member.result != VarType::kEmpty) PrintNamed("result", result);
        for (size_t i = 0; i < member.params.size() && i < call_args.size(); ++i) {
          if (member.params[i].by_ref) PrintNamed(member.params[i].name, values[i]);
        }
      }
      return failed ? kExitFailed : kExitOk;
    } catch (const automation::ComError& e) {
      char number[16];
      std::snprintf(number, sizeof number, "0x%08X", static_cast<uint32_t>(e.number));
      std::cerr << "morvesk call: error " << number;
      if (!e.source.empty()) std::cerr << " (" << e.source << ")";
      std::cerr << ": " << e.description << "\n";
      return kExitFailed;
    }
  } catch (const UsageError& e) {
    std::cerr << "morvesk call: " << e.what() << "\n(see morvesk call --help)\n";
    return kExitUsage;
  }
}

}  // namespace morvesk::cli
