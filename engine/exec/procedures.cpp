// Stored procedures: loading the stored text (parsed once per catalog version),
// matching arguments to parameters as the server does (positional, then named;
// defaults; OUTPUT), running the body in its own frame and copying outputs back.
#include <algorithm>
#include <cctype>

#include "base/ascii.h"
#include "engine/exec/interpreter.h"
#include "engine/exec/storage.h"
#include "engine/exec/system_procedures.h"

namespace morvesk::engine::exec {
namespace {

using base::AsciiLower;

}  // namespace

std::shared_ptr<CachedBatch> Interpreter::LoadProcedure(const std::string& name,
                                                        std::string* declared_name) {
  if (c_.procedures_version_ != c_.catalog_.version()) {
    c_.procedures_.clear();
    c_.procedures_version_ = c_.catalog_.version();
  }
  std::string key = AsciiLower(ParseObjectName(name).name);
  auto source = c_.catalog_.ProcedureSource(name);
  if (!source) source = SystemProcedureSource(name);
  if (!source) return nullptr;
  *declared_name = source->first;
  auto it = c_.procedures_.find(key);
  if (it != c_.procedures_.end()) return it->second;
  auto code = ParseStored(source->second);
  if (code->batch.statements.size() != 1 ||
      code->batch.statements[0]->kind != ast::StmtKind::kCreateProcedure) {
    throw SqlError(2812, 16, "Could not find stored procedure '" + name + "'.");
  }
  c_.procedures_[key] = code;
  return code;
}

std::shared_ptr<CachedBatch> Interpreter::ParseStored(const std::string& text) {
  auto code = std::make_shared<CachedBatch>();
  code->batch = sql::ParseBatch(text);
  ++c_.stats_.parses;
  for (const auto& t : code->batch.literals) {
    code->literal_types.push_back(t.literal_type);
    code->literal_values.push_back(LiteralValue(t));
    code->literal_texts.push_back(t.value);
  }
  return code;
}

void Interpreter::Exec(const ast::ExecStmt& s, Frame& f) {
  std::string name;
  for (size_t i = 0; i < s.procedure.size(); ++i) name += (i ? "." : "") + s.procedure[i];
  std::vector<CallArg> args;
  for (const auto& a : s.args) {
    CallArg arg;
    arg.name = a.name;
    arg.output = a.output;
    if (a.value->kind == ast::ExprKind::kDefault) {
      arg.is_default = true;
    } else {
      arg.value = Eval(*a.value, f);
    }
    if (a.output) {
      if (a.value->kind != ast::ExprKind::kVariable) {
        throw SqlError(
            179, 15, "Cannot use the OUTPUT option when passing a constant to a stored procedure.");
      }
      arg.target = f.Lookup(a.value->As<ast::VariableExpr>().name);
    }
    args.push_back(std::move(arg));
  }
  int64_t rowcount = c_.rowcount_;
  int status = CallProcedure(name, args, f.depth + 1, false);
  c_.rowcount_ = rowcount;
  for (auto& a : args) {
    if (a.output && a.target) a.target->value = Convert(a.value, a.target->type);
  }
  if (!s.return_variable.empty()) Assign(f, s.return_variable, Value::Int(status));
}

int Interpreter::CallProcedure(const std::string& name, std::vector<CallArg>& args, int depth,
                               bool from_host) {
  if (depth > 32) {
    throw SqlError(
        217, 16,
        "Maximum stored procedure, function, trigger, or view nesting level exceeded (limit 32).");
  }
  std::string declared;
  auto code = LoadProcedure(name, &declared);
  if (!code) throw SqlError(2812, 16, "Could not find stored procedure '" + name + "'.");
  const auto& proc = code->batch.statements[0]->As<ast::CreateProcedureStmt>();

  Frame pf;
  pf.code = code.get();
  pf.literals = code->literal_values;
  pf.literal_texts = code->literal_texts;
  pf.procedure = declared;
  pf.depth = depth;

  // Match arguments to parameters.
  const size_t n = proc.params.size();
  std::vector<int> arg_param(args.size(), -1);
  std::vector<int> supplied_by(n, -1);
  size_t position = 0;
  bool named_seen = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const CallArg& a = args[i];
    size_t idx;
    if (a.name.empty()) {
      if (named_seen) {
        throw SqlError(
            119, 15,
            "Must pass parameter number " + std::to_string(i + 1) +
                " and subsequent parameters as '@name = value'. After the form '@name = value' "
                "has been used, all subsequent parameters must be passed in the form "
                "'@name = value'.");
      }
      if (position >= n) {
        throw SqlError(8144, 16,
                       "Procedure or function " + declared + " has too many arguments specified.");
      }
      idx = position++;
    } else {
      named_seen = true;
      auto it = std::find_if(
          proc.params.begin(), proc.params.end(),
          [&](const ast::ProcParameter& p) { return AsciiLower(p.name) == AsciiLower(a.name); });
      if (it == proc.params.end()) {
        throw SqlError(8145, 16, a.name + " is not a parameter for procedure " + declared + ".");
      }
      idx = static_cast<size_t>(it - proc.params.begin());
      if (supplied_by[idx] >= 0)
        throw SqlError(8143, 16, "Parameter '" + a.name + "' was supplied multiple times.");
    }
    if (a.output && !proc.params[idx].output) {
      throw SqlError(
          8162, 16,
          "The formal parameter \"" + proc.params[idx].name +
              "\" was not declared as an OUTPUT parameter, but the actual parameter passed in "
              "requested output.");
    }
    supplied_by[idx] = static_cast<int>(i);
    arg_param[i] = static_cast<int>(idx);
  }
  for (size_t p = 0; p < n; ++p) {
    const auto& param = proc.params[p];
    std::string key = AsciiLower(param.name);
    pf.variables.emplace(key, Variable{param.type.type, Value::Null(param.type.type)});
    int a = supplied_by[p];
    if (a >= 0 && !args[static_cast<size_t>(a)].is_default) {
      pf.variables[key].value = Convert(args[static_cast<size_t>(a)].value, param.type.type);
    } else if (param.default_value) {
      pf.variables[key].value = Convert(Eval(*param.default_value, pf), param.type.type);
    } else {
      throw SqlError(201, 16,
                     "Procedure or function '" + declared + "' expects parameter '" + param.name +
                         "', which was not supplied.");
    }
  }

  bool nocount = c_.nocount_;
  auto cleanup = [&] {
    c_.nocount_ = nocount;
    // Temporary tables a procedure made end with it.
    for (const auto& t : pf.temp_tables_created) {
      if (auto info = c_.catalog_.FindTable(t)) {
        sqlite3_exec(c_.sql_, ("DROP TABLE " + info->sqlite_name).c_str(), nullptr, nullptr,
                     nullptr);
        c_.catalog_.Bump();
      }
    }
  };
  try {
    RunList(proc.body, pf);
  } catch (SqlError& e) {
    cleanup();
    if (from_host || ScopeOf(e) != ErrorScope::kBatch || try_depth_ > 0 || throwing_) throw;
    // An error that ends a batch ends only the procedure; the caller goes on.
    AddError(e);
    pf.max_error_severity = std::max(pf.max_error_severity, e.severity);
    pf.return_status.reset();
  }
  cleanup();

  for (size_t i = 0; i < args.size(); ++i) {
    if (!args[i].output || arg_param[i] < 0) continue;
    const Value& v =
        pf.variables[AsciiLower(proc.params[static_cast<size_t>(arg_param[i])].name)].value;
    args[i].value = args[i].out_type ? Convert(v, *args[i].out_type) : v;
  }
  if (pf.return_status) return *pf.return_status;
  return pf.max_error_severity >= 11 ? 10 - pf.max_error_severity : 0;
}

}  // namespace morvesk::engine::exec
