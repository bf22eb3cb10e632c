// The record set: a client-side cursor over rows fetched in full from a result set.
// Navigation (EOF/BOF, MoveFirst/Next/Previous/Last), Fields by zero-based position or
// by name without regard to case, edits kept on the client, Filter on simple
// criteria, and detaching (ActiveConnection = nothing) with every row kept. Also a
// late-bound object with the same members and a Fields collection of Field objects.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ado/provider.h"
#include "platform/ado/types.h"
#include "platform/automation/dispatch_object.h"

namespace morvesk::ado {

class Connection;
class Recordset;

// Saving an edited row: the row was changed or deleted by someone else since it was read
// (optimistic locking refuses to overwrite it).
inline constexpr int32_t kErrRowChanged = static_cast<int32_t>(0x80040E38);
// Saving an edited row of a record set that cannot write rows back (read-only, detached,
// not a query of one table with a key).
inline constexpr int32_t kErrNotUpdatable = static_cast<int32_t>(0x800A0CB3);

// A column of a record set seen at its current row; a short-lived handle.
class Field {
 public:
  Field(Recordset* rs, size_t index) : rs_(rs), index_(index) {}
  const std::string& Name() const;
  DataType Type() const;
  int32_t DefinedSize() const;
  uint8_t Precision() const;
  uint8_t NumericScale() const;
  // The value at the current row; ComError kErrNoCurrentRecord at EOF or BOF.
  const automation::Variant& Value() const;
  // Changes the value of the current row on the client; Recordset::Update sends it.
  void SetValue(automation::Variant value) const;
  size_t index() const { return index_; }

 private:
  Recordset* rs_;
  size_t index_;
};

class Recordset : public automation::DispatchObject<Recordset> {
 public:
  static std::shared_ptr<Recordset> Create();
  // An open record set over fetched result sets (the first is current), attached to
  // `connection` (may be null: detached).
  static std::shared_ptr<Recordset> FromRowsets(std::deque<Rowset> rowsets,
                                               std::shared_ptr<Connection> connection);
  static const automation::DispatchTable<Recordset>& Table();
  std::string ErrorSource() const override { return "Morvesk.Recordset"; }

  // Runs `source` on `connection` and fetches its first result set (a batch without
  // rows leaves the record set closed). Errors as Connection::Execute.
  void Open(std::string_view source, const std::shared_ptr<Connection>& connection,
            CursorType cursor_type = CursorType::kForwardOnly,
            LockType lock_type = LockType::kReadOnly);
  void Close();
  bool IsOpen() const { return open_; }

  // Cursor settings are kept as set; every cursor is client-side and scrollable.
  CursorLocation cursor_location() const { return cursor_location_; }
  void SetCursorLocation(CursorLocation v) { cursor_location_ = v; }
  CursorType cursor_type() const { return cursor_type_; }
  void SetCursorType(CursorType v) { cursor_type_ = v; }
  LockType lock_type() const { return lock_type_; }
  void SetLockType(LockType v) { lock_type_ = v; }

  const std::shared_ptr<Connection>& ActiveConnection() const { return connection_; }
  // Null detaches: the rows stay, the connection is no longer referenced.
  void SetActiveConnection(std::shared_ptr<Connection> connection);

  // Navigation over the rows the filter lets through. ComError kErrObjectClosed when
  // closed; moving past EOF (or before BOF) raises kErrNoCurrentRecord.
  bool Eof() const;
  bool Bof() const;
  void MoveFirst();
  void MoveNext();
  void MovePrevious();
  void MoveLast();
  int32_t RecordCount() const;
  // 1-based position of the current row, -1 at EOF/BOF.
  int32_t AbsolutePosition() const;

  size_t FieldCount() const;
  // By zero-based position (a number) or name without regard to case (text);
  // ComError kErrItemNotFound otherwise.
  Field Fields(const automation::Variant& index);
  Field FieldAt(size_t index) { return Field(this, CheckedIndex(index)); }
  std::optional<size_t> FindField(std::string_view name) const;
  const std::vector<ColumnInfo>& Columns() const;

  // Filter: "" or 0 clears it; otherwise criteria "Name op value" (op one of = <> < >
  // <= >= LIKE, value a number, 'text', #date# or Null) joined by AND or OR (AND
  // binds tighter). Setting it moves to the first row it lets through.
  void SetFilter(const automation::Variant& criteria);
  const automation::Variant& Filter() const { return filter_; }

  std::shared_ptr<Recordset> Self();

  // The next result set of the same batch, or a closed record set when there is none.
  std::shared_ptr<Recordset> NextRecordset();

  // The text the record set was opened on (empty for one made from rows).
  const std::string& Source() const { return source_; }

  // Edits of the current row (Field::SetValue) written back to the database: a record
  // set opened with optimistic (or pessimistic) locking on a query of one table, still
  // attached to its connection, saves the changed columns by the row's key. The row must
  // still hold every value of that table that the record set read, or the save is
  // refused with kErrRowChanged and the edit stays pending. No edit: nothing happens.
  void Update();
  // Puts the current row's edited values back as they were read.
  void CancelUpdate();
  // 1 while the current row has unsaved edits, 0 otherwise (the edit-mode values).
  int32_t EditMode() const;

 private:
  friend class Field;
  void RequireOpen() const;
  size_t CheckedIndex(size_t index) const;
  std::vector<automation::Variant>& CurrentRow();
  size_t CurrentRowIndex() const;
  void Load(Rowset rowset);
  void ApplyFilter();

  bool open_ = false;
  Rowset data_;
  std::vector<size_t> visible_;  // indices into data_.rows that the filter lets through
  int64_t pos_ = -1;             // index into visible_; -1 BOF, size() EOF
  std::deque<Rowset> pending_;   // later result sets of the same batch
  std::shared_ptr<Connection> connection_;
  std::string source_;
  // Rows with unsaved edits: their values as read (or as last saved).
  std::map<size_t, std::vector<automation::Variant>> originals_;
  automation::Variant filter_ = automation::Variant(std::string());
  CursorLocation cursor_location_ = CursorLocation::kClient;
  CursorType cursor_type_ = CursorType::kForwardOnly;
  LockType lock_type_ = LockType::kReadOnly;
};

}  // namespace morvesk::ado
