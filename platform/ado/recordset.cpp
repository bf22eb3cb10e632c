#include "platform/ado/recordset.h"

#include <cctype>

#include "base/ascii.h"
#include "platform/ado/connection.h"
#include "platform/ado/recordset_filter.h"

namespace morvesk::ado {
namespace {

using automation::ComError;
using automation::DispatchTable;
using automation::In;
using automation::Opt;
using automation::Variant;
using automation::VarType;

// A field of a record set, late-bound: keeps the record set alive and reads the row
// that is current when a member is called.
class FieldObject : public automation::DispatchObject<FieldObject> {
 public:
  FieldObject(std::shared_ptr<Recordset> rs, size_t index) : rs_(std::move(rs)), index_(index) {}
  std::string ErrorSource() const override { return "Morvesk.Field"; }
  Field field() const { return rs_->FieldAt(index_); }
  static const DispatchTable<FieldObject>& Table() {
    static const DispatchTable<FieldObject> table(
        "Field",
        {
            {{.name = "Value", .result = VarType::kVariant, .is_property = true, .is_default = true},
             [](FieldObject& f, auto&) { return f.field().Value(); },
             [](FieldObject& f, std::vector<Variant>& a) { f.field().SetValue(a.back()); }},
            {{.name = "Name", .result = VarType::kString, .is_property = true},
             [](FieldObject& f, auto&) { return Variant(f.field().Name()); }},
            {{.name = "Type", .result = VarType::kLong, .is_property = true},
             [](FieldObject& f, auto&) {
               return Variant(static_cast<int32_t>(f.field().Type()));
             }},
            {{.name = "DefinedSize", .result = VarType::kLong, .is_property = true},
             [](FieldObject& f, auto&) { return Variant(f.field().DefinedSize()); }},
            {{.name = "Precision", .result = VarType::kLong, .is_property = true},
             [](FieldObject& f, auto&) {
               return Variant(static_cast<int32_t>(f.field().Precision()));
             }},
            {{.name = "NumericScale", .result = VarType::kLong, .is_property = true},
             [](FieldObject& f, auto&) {
               return Variant(static_cast<int32_t>(f.field().NumericScale()));
             }},
        });
    return table;
  }

 private:
  std::shared_ptr<Recordset> rs_;
  size_t index_;
};

class FieldsObject : public automation::DispatchObject<FieldsObject> {
 public:
  explicit FieldsObject(std::shared_ptr<Recordset> rs) : rs_(std::move(rs)) {}
  std::string ErrorSource() const override { return "Morvesk.Fields"; }
  static const DispatchTable<FieldsObject>& Table() {
    static const DispatchTable<FieldsObject> table(
        "Fields",
        {
            {{.name = "Count", .result = VarType::kLong, .is_property = true},
             [](FieldsObject& f, auto&) {
               return Variant(static_cast<int32_t>(f.rs_->FieldCount()));
             }},
            {{.name = "Item",
              .params = {In("Index", VarType::kVariant)},
              .result = VarType::kObject,
              .is_property = true,
              .is_default = true},
             [](FieldsObject& f, std::vector<Variant>& a) {
               size_t i = f.rs_->Fields(a[0]).index();
               return Variant(std::make_shared<FieldObject>(f.rs_, i));
             }},
        });
    return table;
  }

 private:
  std::shared_ptr<Recordset> rs_;
};

Variant State(const Recordset& rs) {
  return Variant(static_cast<int32_t>(rs.IsOpen() ? ObjectState::kOpen : ObjectState::kClosed));
}

}  // namespace

// --- Field ---

const std::string& Field::Name() const { return rs_->Columns()[index_].name; }
DataType Field::Type() const { return rs_->Columns()[index_].type; }
int32_t Field::DefinedSize() const { return rs_->Columns()[index_].defined_size; }
uint8_t Field::Precision() const { return rs_->Columns()[index_].precision; }
uint8_t Field::NumericScale() const { return rs_->Columns()[index_].scale; }
const Variant& Field::Value() const { return rs_->CurrentRow()[index_]; }
void Field::SetValue(Variant value) const {
  std::vector<Variant>& row = rs_->CurrentRow();
  rs_->originals_.try_emplace(rs_->CurrentRowIndex(), row);
  row[index_] = value.Deref();
}

// --- Recordset ---

std::shared_ptr<Recordset> Recordset::Create() { return std::make_shared<Recordset>(); }

std::shared_ptr<Recordset> Recordset::Self() {
  return std::static_pointer_cast<Recordset>(shared_from_this());
}

std::shared_ptr<Recordset> Recordset::FromRowsets(std::deque<Rowset> rowsets,
                                                 std::shared_ptr<Connection> connection) {
  auto rs = Create();
  rs->connection_ = std::move(connection);
  if (!rowsets.empty()) {
    rs->Load(std::move(rowsets.front()));
    rowsets.pop_front();
    rs->pending_ = std::move(rowsets);
  }
  return rs;
}

void Recordset::Load(Rowset rowset) {
  data_ = std::move(rowset);
  originals_.clear();
  open_ = true;
  filter_ = Variant(std::string());
  ApplyFilter();
}

void Recordset::Open(std::string_view source, const std::shared_ptr<Connection>& connection,
                     CursorType cursor_type, LockType lock_type) {
  if (open_) {
    throw ComError(automation::kErrBadArgument, ErrorSource(),
                   "Operation is not allowed when the object is open.");
  }
  if (!connection) {
    throw ComError(automation::kErrNoConnection, ErrorSource(),
                   "The connection cannot be used to perform this operation: no active connection.");
  }
  auto fetched = connection->Execute(source);
  source_ = std::string(source);
  cursor_type_ = cursor_type;
  lock_type_ = lock_type;
  connection_ = connection;
  if (fetched->open_) {
    Load(std::move(fetched->data_));
    pending_ = std::move(fetched->pending_);
  }
}

void Recordset::Close() {
  RequireOpen();
  open_ = false;
  data_ = Rowset{};
  originals_.clear();
  visible_.clear();
  pending_.clear();
  pos_ = -1;
}

void Recordset::SetActiveConnection(std::shared_ptr<Connection> connection) {
  connection_ = std::move(connection);
}

void Recordset::RequireOpen() const {
  if (!open_) {
    throw ComError(automation::kErrObjectClosed, ErrorSource(),
                   "Operation is not allowed when the object is closed.");
  }
}

bool Recordset::Eof() const {
  RequireOpen();
  return pos_ >= static_cast<int64_t>(visible_.size());
}

bool Recordset::Bof() const {
  RequireOpen();
  return pos_ < 0 || visible_.empty();
}

void Recordset::MoveFirst() {
  RequireOpen();
  pos_ = 0;
}

void Recordset::MoveLast() {
  RequireOpen();
  pos_ = visible_.empty() ? 0 : static_cast<int64_t>(visible_.size()) - 1;
}

void Recordset::MoveNext() {
  if (Eof()) {
    throw ComError(automation::kErrNoCurrentRecord, ErrorSource(),
                   "Either BOF or EOF is True, or the current record has been deleted.");
  }
  ++pos_;
}

void Recordset::MovePrevious() {
  RequireOpen();
  if (pos_ < 0) {
    throw ComError(automation::kErrNoCurrentRecord, ErrorSource(),
                   "Either BOF or EOF is True, or the current record has been deleted.");
  }
  --pos_;
}

int32_t Recordset::RecordCount() const {
  RequireOpen();
  return static_cast<int32_t>(visible_.size());
}

int32_t Recordset::AbsolutePosition() const {
  if (Eof() || Bof()) return -1;
  return static_cast<int32_t>(pos_ + 1);
}

size_t Recordset::FieldCount() const {
  RequireOpen();
  return data_.columns.size();
}

const std::vector<ColumnInfo>& Recordset::Columns() const {
  RequireOpen();
  return data_.columns;
}

std::optional<size_t> Recordset::FindField(std::string_view name) const {
  for (size_t i = 0; i < data_.columns.size(); ++i) {
    if (base::EqualsNoCase(data_.columns[i].name, name)) return i;
  }
  return std::nullopt;
}

size_t Recordset::CheckedIndex(size_t index) const {
  RequireOpen();
  if (index >= data_.columns.size()) {
    throw ComError(automation::kErrItemNotFound, ErrorSource(),
                   "Item cannot be found in the collection: field " + std::to_string(index) +
                       " of " + std::to_string(data_.columns.size()));
  }
  return index;
}

Field Recordset::Fields(const Variant& index) {
  RequireOpen();
  if (index.is_string()) {
    if (auto i = FindField(index.ToString())) return Field(this, *i);
    throw ComError(automation::kErrItemNotFound, ErrorSource(),
                   "Item cannot be found in the collection: no field named " + index.ToString());
  }
  int32_t i = index.ToLong();
  if (i < 0) {
    throw ComError(automation::kErrItemNotFound, ErrorSource(),
                   "Item cannot be found in the collection: field " + std::to_string(i));
  }
  return Field(this, CheckedIndex(static_cast<size_t>(i)));
}

std::vector<Variant>& Recordset::CurrentRow() { return data_.rows[CurrentRowIndex()]; }

size_t Recordset::CurrentRowIndex() const {
  if (Eof() || Bof()) {
    throw ComError(automation::kErrNoCurrentRecord, ErrorSource(),
                   "Either BOF or EOF is True, or the current record has been deleted.");
  }
  return visible_[static_cast<size_t>(pos_)];
}

void Recordset::SetFilter(const Variant& criteria) {
  RequireOpen();
  const Variant& c = criteria.Deref();
  if (!c.is_string() && !c.is_empty() && c.ToLong() != 0) {
    throw ComError(automation::kErrBadArgument, ErrorSource(),
                   "Only filter criteria text or 0 (no filter) is supported");
  }
  filter_ = c.is_string() ? c : Variant(std::string());
  ApplyFilter();
}

void Recordset::ApplyFilter() {
  visible_.clear();
  std::string text = filter_.ToString();
  if (text.find_first_not_of(" \t") == std::string::npos) {
    visible_.reserve(data_.rows.size());
    for (size_t i = 0; i < data_.rows.size(); ++i) visible_.push_back(i);
  } else {
    FilterExpr expr = ParseFilter(text, [&](std::string_view n) { return FindField(n); });
    for (size_t i = 0; i < data_.rows.size(); ++i) {
      if (expr.Matches(data_.rows[i])) visible_.push_back(i);
    }
  }
  pos_ = 0;
}

std::shared_ptr<Recordset> Recordset::NextRecordset() {
  std::deque<Rowset> rest = std::move(pending_);
  pending_.clear();
  return FromRowsets(std::move(rest), connection_);
}

const automation::DispatchTable<Recordset>& Recordset::Table() {
  static const DispatchTable<Recordset> table(
      "Recordset",
      {
          {{.name = "Fields",
            .params = {Opt("Index", VarType::kVariant, Variant())},
            .result = VarType::kObject,
            .is_property = true},
           [](Recordset& rs, std::vector<Variant>& a) -> Variant {
             if (a[0].is_empty()) return Variant(std::make_shared<FieldsObject>(rs.Self()));
             return Variant(std::make_shared<FieldObject>(rs.Self(), rs.Fields(a[0]).index()));
           }},
          {{.name = "EOF", .result = VarType::kBoolean, .is_property = true},
           [](Recordset& rs, auto&) { return Variant(rs.Eof()); }},
          {{.name = "BOF", .result = VarType::kBoolean, .is_property = true},
           [](Recordset& rs, auto&) { return Variant(rs.Bof()); }},
          {{.name = "MoveFirst"}, [](Recordset& rs, auto&) { rs.MoveFirst(); return Variant(); }},
          {{.name = "MoveNext"}, [](Recordset& rs, auto&) { rs.MoveNext(); return Variant(); }},
          {{.name = "MovePrevious"},
           [](Recordset& rs, auto&) { rs.MovePrevious(); return Variant(); }},
          {{.name = "MoveLast"}, [](Recordset& rs, auto&) { rs.MoveLast(); return Variant(); }},
          {{.name = "RecordCount", .result = VarType::kLong, .is_property = true},
           [](Recordset& rs, auto&) { return Variant(rs.RecordCount()); }},
          {{.name = "Open",
            .params = {In("Source", VarType::kString), Opt("ActiveConnection", VarType::kVariant, Variant()),
                       Opt("CursorType", VarType::kLong, Variant(-1)),
                       Opt("LockType", VarType::kLong, Variant(-1)),
                       Opt("Options", VarType::kLong, Variant(-1))}},
           [](Recordset& rs, std::vector<Variant>& a) {
             std::shared_ptr<Connection> c = rs.connection_;
             if (!a[1].is_empty()) c = std::dynamic_pointer_cast<Connection>(a[1].ToObject());
             int32_t ct = a[2].ToLong(), lt = a[3].ToLong();
             rs.Open(a[0].ToString(), c, ct < 0 ? rs.cursor_type_ : static_cast<CursorType>(ct),
                     lt < 0 ? rs.lock_type_ : static_cast<LockType>(lt));
             return Variant();
           }},
          {{.name = "Close"}, [](Recordset& rs, auto&) { rs.Close(); return Variant(); }},
          {{.name = "ActiveConnection", .result = VarType::kVariant, .is_property = true},
           [](Recordset& rs, auto&) { return Variant(rs.connection_); },
           [](Recordset& rs, std::vector<Variant>& a) {
             auto o = a.back().ToObject();
             auto c = std::dynamic_pointer_cast<Connection>(o);
             if (o && !c) {
               throw ComError(automation::kErrTypeMismatch, rs.ErrorSource(),
                              "ActiveConnection takes a connection or Nothing");
             }
             rs.SetActiveConnection(std::move(c));
           }},
          {{.name = "CursorLocation", .result = VarType::kLong, .is_property = true},
           [](Recordset& rs, auto&) { return Variant(static_cast<int32_t>(rs.cursor_location_)); },
           [](Recordset& rs, std::vector<Variant>& a) {
             rs.cursor_location_ = static_cast<CursorLocation>(a.back().ToLong());
           }},
          {{.name = "CursorType", .result = VarType::kLong, .is_property = true},
           [](Recordset& rs, auto&) { return Variant(static_cast<int32_t>(rs.cursor_type_)); },
           [](Recordset& rs, std::vector<Variant>& a) {
             rs.cursor_type_ = static_cast<CursorType>(a.back().ToLong());
           }},
          {{.name = "LockType", .result = VarType::kLong, .is_property = true},
           [](Recordset& rs, auto&) { return Variant(static_cast<int32_t>(rs.lock_type_)); },
           [](Recordset& rs, std::vector<Variant>& a) {
             rs.lock_type_ = static_cast<LockType>(a.back().ToLong());
           }},
          {{.name = "Filter", .result = VarType::kVariant, .is_property = true},
           [](Recordset& rs, auto&) { return rs.Filter(); },
           [](Recordset& rs, std::vector<Variant>& a) { rs.SetFilter(a.back()); }},
          {{.name = "State", .result = VarType::kLong, .is_property = true},
           [](Recordset& rs, auto&) { return State(rs); }},
          {{.name = "AbsolutePosition", .result = VarType::kLong, .is_property = true},
           [](Recordset& rs, auto&) { return Variant(rs.AbsolutePosition()); }},
          {{.name = "NextRecordset", .result = VarType::kObject},
           [](Recordset& rs, auto&) { return Variant(rs.NextRecordset()); }},
          {{.name = "Update"}, [](Recordset& rs, auto&) { rs.Update(); return Variant(); }},
          {{.name = "CancelUpdate"},
           [](Recordset& rs, auto&) { rs.CancelUpdate(); return Variant(); }},
          {{.name = "EditMode", .result = VarType::kLong, .is_property = true},
           [](Recordset& rs, auto&) { return Variant(rs.EditMode()); }},
          {{.name = "Source", .result = VarType::kString, .is_property = true},
           [](Recordset& rs, auto&) { return Variant(rs.Source()); }},
      });
  return table;
}

}  // namespace morvesk::ado
