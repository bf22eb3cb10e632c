// TRY ... CATCH and THROW: an error in a TRY block, or in a procedure it calls, ends the
// block and runs its CATCH block instead of reaching the caller; ERROR_NUMBER() and its
// kin read that error while the CATCH block runs. Errors the batch's own compilation would
// report (a name that does not resolve, a malformed query) are not caught in the scope
// that made them, as the server resolves those before the block runs; a called procedure's
// are. An error that would roll the transaction back has done so when CATCH starts, where
// the server keeps it open but uncommittable: XACT_STATE() is then 0, not -1.
#include "engine/exec/database_impl.h"
#include "engine/exec/interpreter.h"

namespace morvesk::engine::exec {
namespace {

// Errors of binding a statement, which the server reports while compiling the batch.
bool CompileError(int number) {
  switch (number) {
    case 102:
    case 137:
    case 141:
    case 147:
    case 156:
    case 174:
    case 189:
    case 205:
    case 207:
    case 208:
    case 209:
    case 1033:
    case 4104:
    case 4145:
    case 8120:
    case 8155:
    case 8156:
    case 8158:
    case 8159:
    case 8623:
    case ast::kNotSupportedError:
      return true;
    default:
      return false;
  }
}

}  // namespace

Flow Interpreter::RunTryCatch(const ast::TryCatchStmt& s, Frame& f) {
  std::optional<SqlError> caught;
  ++try_depth_;
  try {
    const Flow fl = RunList(s.try_body, f);
    --try_depth_;
    return fl;
  } catch (const SqlError& e) {
    --try_depth_;
    if (CompileError(e.number) && e.procedure == f.procedure) throw;
    caught = e;
    throwing_ = false;
  } catch (...) {
    --try_depth_;
    throw;
  }
  c_.error_ = caught->number;
  caught_.push_back(std::move(*caught));
  try {
    const Flow fl = RunList(s.catch_body, f);
    caught_.pop_back();
    return fl;
  } catch (...) {
    caught_.pop_back();
    throw;
  }
}

void Interpreter::Throw(const ast::ThrowStmt& s, Frame& f) {
  if (!s.number) {
    if (caught_.empty())
      throw SqlError(10704, 15,
                     "To rethrow an error, a THROW statement must be used inside a CATCH block.",
                     s.line);
    throwing_ = true;
    throw caught_.back();
  }
  const Value number = Convert(Eval(*s.number, f), TypeInfo::Of(TypeKind::kInt));
  const Value message = Convert(Eval(*s.message, f), TypeInfo{TypeKind::kNVarChar, 0, 0, 2048});
  const Value state = Convert(Eval(*s.state, f), TypeInfo::Of(TypeKind::kInt));
  if (number.is_null() || number.as_int() < 50000) {
    throw SqlError(35100, 16,
                   "Error number " +
                       (number.is_null() ? std::string("NULL") : std::to_string(number.as_int())) +
                       " in the THROW statement is outside the valid range. Specify an error "
                       "number in the valid range of 50000 to 2147483647.",
                   s.line);
  }
  if (state.is_null() || state.as_int() < 0 || state.as_int() > 255) {
    throw SqlError(35101, 16,
                   "State " +
                       (state.is_null() ? std::string("NULL") : std::to_string(state.as_int())) +
                       " in the THROW statement is outside the valid range. Specify a state in "
                       "the valid range of 0 to 255.",
                   s.line);
  }
  throwing_ = true;
  throw SqlError(static_cast<int>(number.as_int()), 16,
                 message.is_null() ? std::string() : message.as_text(), s.line,
                 static_cast<int>(state.as_int()), f.procedure);
}

Value CaughtErrorValue(const std::string& function, const SqlError* caught) {
  const bool text = function == "error_message()" || function == "error_procedure()";
  if (caught == nullptr || (function == "error_procedure()" && caught->procedure.empty()))
    return Value::Null(text ? TypeInfo{TypeKind::kNVarChar, 0, 0, 4000}
                            : TypeInfo::Of(TypeKind::kInt));
  if (function == "error_message()") return Value::Text(caught->message, TypeKind::kNVarChar);
  if (function == "error_procedure()") return Value::Text(caught->procedure, TypeKind::kNVarChar);
  if (function == "error_number()") return Value::Int(caught->number);
  if (function == "error_severity()") return Value::Int(caught->severity);
  if (function == "error_state()") return Value::Int(caught->state);
  return Value::Int(caught->line);  // error_line()
}

}  // namespace morvesk::engine::exec
