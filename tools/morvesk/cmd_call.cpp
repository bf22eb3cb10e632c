// morvesk call: creates a service object by its programmatic name and invokes one
// member late-bound, as a client program would, then prints the result and every
// by-ref output.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <iostream>
#include <optional>
#include <sstream>

#include "platform/ado/recordset.h"
#include "platform/automation/registry.h"
#include "platform/plexo/dictionary.h"
#include "services/morvesk_module.h"
#include "tools/morvesk/call_list.h"
#include "tools/morvesk/call_values.h"
#include "tools/morvesk/cli_args.h"
#include "tools/morvesk/commands.h"
#include "tools/morvesk/result_format.h"
#include "tools/morvesk/text_list_arg.h"

namespace morvesk::cli {
namespace {

using automation::Variant;
using automation::VarType;

constexpr char kHelp[] =
    "usage: morvesk call [--db FILE] [--format table|csv|json] Class.Member [ARG...]\n"
    "       morvesk call --list [Class...]\n"
    "\n"
    "Creates the object Class (a programmatic name such as Morvesk.CalCurAmount; the\n"
    "Morvesk. prefix may be left out) and invokes its member late-bound.\n"
    "\n"
    "  --db FILE        the company database, needed when the member's first parameter\n"
    "                   is a connection description (sCnn, sDsn, oDsN): it is filled\n"
    "                   with \"Data Source=FILE\" and the ARGs start at the second\n"
    "                   parameter\n"
    "  --format table   result, by-ref outputs and record sets as text tables (default)\n"
    "  --format csv     a name,value table of the result and the by-ref outputs; each\n"
    "                   record set or dictionary among them is shown there as\n"
    "                   \"(table n)\" and follows as table n, after a blank line\n"
    "  --format json    one JSON object: {\"result\": ..., \"outputs\": {...}};\n"
    "                   decimal and currency values are strings, so no digit is lost\n"
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
    "Exit code 1 when the operation fails: it returns False or raises an error; 2 for\n"
    "a usage mistake (an unknown class or member, an argument that does not convert\n"
    "to its parameter's type, too many arguments).\n"
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
    if (eq == std::string::npos)
      throw UsageError("dictionary entry '" + pair + "' needs KEY=VALUE");
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
    case VarType::kNull:
      return Cell::Null();
    case VarType::kBoolean:
      return Cell::Bool(v.ToBool());
    case VarType::kDouble:
      return Cell::Number(FullPrecision(v.ToDouble()));
    case VarType::kShort:
    case VarType::kLong:
    case VarType::kSingle:
      return Cell::Number(v.ToString());
    case VarType::kDecimal:
    case VarType::kCurrency:
      return Cell::Decimal(v.ToString());
    default:
      break;
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
    for (const auto& [key, value] : dict->entries())
      t.rows.push_back({Cell::Text(key), CellOf(value)});
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
  if (auto dict =
          v.is_object() ? std::dynamic_pointer_cast<plexo::Dictionary>(v.ToObject()) : nullptr) {
    PrintDictionary(std::cout, name, *dict);
  } else if (auto t = TableOfObject(v)) {
    std::cout << name << ":\n";
    PrintTable(std::cout, *t);
    std::cout << "(" << t->rows.size() << (t->rows.size() == 1 ? " row" : " rows") << ")\n";
  } else {
    std::cout << name << ": " << DisplayText(v) << "\n";
  }
}

// --format csv: the scalars as one name,value table, each table-valued one after it.
void PrintCallCsv(const std::vector<std::pair<std::string, Variant>>& named) {
  Table scalars;
  scalars.columns = {"name", "value"};
  std::vector<Table> tables;
  for (const auto& [name, v] : named) {
    if (auto t = TableOfObject(v)) {
      tables.push_back(std::move(*t));
      scalars.rows.push_back(
          {Cell::Text(name), Cell::Text("(table " + std::to_string(tables.size()) + ")")});
    } else {
      Cell c = CellOf(v);
      if (v.is_empty()) c = Cell::Null();
      scalars.rows.push_back({Cell::Text(name), c});
    }
  }
  PrintCsv(std::cout, scalars);
  for (const Table& t : tables) {
    std::cout << "\n";
    PrintCsv(std::cout, t);
  }
}

// A usage mistake the member itself found: arguments that do not fit it.
bool IsUsageError(const automation::ComError& e) {
  return e.number == automation::kErrBadParamCount;
}

// The user's argument converted as the member's parameter will take it, so that a text that
// does not convert is reported with the user's own argument number.
Variant TypedArgument(const std::string& text, const automation::ParamInfo& p, size_t number) {
  if (p.type == VarType::kObject) {
    return IsRecordsetArgument(text) ? RecordsetArgument(text) : DictionaryArgument(text);
  }
  if (p.type == VarType::kVariant)
    return IsTextListArgument(text) ? TextListArgument(text) : Variant(text);
  if (p.type == VarType::kString || p.type == VarType::kEmpty) return Variant(text);
  try {
    (void)Variant(text).ChangeType(p.type);
  } catch (const automation::ComError& e) {
    throw UsageError("argument " + std::to_string(number) + " ('" + text + "') for " + p.name +
                     ", a " + automation::VarTypeName(p.type) + ": " + e.description);
  }
  return Variant(text);  // the member converts it as a late-bound caller's text is converted
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
        return kExitUsage;
      }
      return kExitOk;
    }
    const std::optional<std::string> db = args.Get("--db");
    if (db && db->empty()) throw UsageError("--db is required");
    Format format = ParseFormat(args.Get("--format").value_or("table"));
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
    std::shared_ptr<automation::Dispatch> object;
    automation::DispId id;
    try {
      if (class_name.find('.') == std::string::npos &&
          !automation::ClassRegistry::Global().Find(class_name)) {
        class_name = "Morvesk." + class_name;
      }
      object = automation::CreateObject(class_name);
      id = object->GetIdsOfNames(member_name);
    } catch (const automation::ComError& e) {
      throw UsageError(e.description + " (morvesk call --list shows the classes and members)");
    }
    const automation::MemberInfo& member = *object->Interface().Member(id);

    // One variable per parameter; by-ref ones are passed by reference so that their final
    // values can be shown.
    std::vector<Variant> values(member.params.size());
    std::vector<Variant> call_args;
    size_t next_given = 0;
    for (size_t i = 0; i < member.params.size(); ++i) {
      const automation::ParamInfo& p = member.params[i];
      if (i == 0 && IsConnectionParameter(p.name)) {
        if (!db) throw UsageError("--db is required: " + member.name + " works on a database");
        values[i] = Variant(CompanyDescription(*db));
      } else if (next_given < given.size()) {
        values[i] = TypedArgument(given[next_given], p, next_given + 1);
        ++next_given;
      } else if (p.by_ref) {
        values[i] = p.default_value;
      } else if (p.optional) {
        // Left out: the member applies its own default, unless a by-ref parameter follows
        // and the argument list has to reach it.
        bool later_ref = std::any_of(member.params.begin() + i, member.params.end(),
                                     [](const automation::ParamInfo& q) { return q.by_ref; });
        if (!later_ref) break;
        values[i] = p.default_value;
      } else {
        throw UsageError(member.name + " needs an argument for " + p.name + ", a " +
                         automation::VarTypeName(p.type));
      }
      call_args.push_back(p.by_ref ? Variant::Ref(&values[i]) : values[i]);
    }
    if (next_given < given.size()) {
      throw UsageError(member.name + " takes " + std::to_string(next_given) +
                       " argument(s) after Class.Member; " + std::to_string(given.size()) +
                       " were given");
    }

    try {
      Variant result = object->Invoke(id, call_args);

      bool failed = result.type() == VarType::kBoolean && !result.ToBool();
      std::vector<std::pair<std::string, Variant>> named;
      if (member.result != VarType::kEmpty) named.emplace_back("result", result);
      for (size_t i = 0; i < member.params.size() && i < call_args.size(); ++i) {
        if (member.params[i].by_ref) named.emplace_back(member.params[i].name, values[i]);
      }
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
      } else if (format == Format::kCsv) {
        PrintCallCsv(named);
      } else {
        for (const auto& [name, v] : named) PrintNamed(name, v);
      }
      return failed ? kExitFailed : kExitOk;
    } catch (const automation::ComError& e) {
      char number[16];
      std::snprintf(number, sizeof number, "0x%08X", static_cast<uint32_t>(e.number));
      std::cerr << "morvesk call: error " << number;
      if (!e.source.empty()) std::cerr << " (" << e.source << ")";
      std::cerr << ": " << e.description << "\n";
      return IsUsageError(e) ? kExitUsage : kExitFailed;
    }
  } catch (const UsageError& e) {
    return ReportUsage("call", e);
  }
}

}  // namespace morvesk::cli
