// ADO's Recordset over ODBC. A client-side record set (cursor location 3) reads every
// row when it opens, so RecordCount is exact and it lives on when detached from its
// connection; a server-side one streams its rows forward only and read-only, and reports
// so in CursorType and LockType whatever was asked. A client-side record set
// opened with a lock type other than read-only writes edits back with Update, finding
// its row by the table's key and the original values of the changed columns, as ADO's
// client cursor does; only columns whose table and column are known for certain can be
// edited.
#pragma once

#include "core/variant.h"
#include "db/ado/ado_enums.h"
#include "db/ado/field.h"
#include "db/ado/odbc_handle.h"
#include "db/ado/property.h"
#include "db/ado/result_reader.h"
#include "db/ado/row_store.h"

#include <map>
#include <memory>
#include <utility>
#include <vector>

namespace pelto::ado {

class ChunkSpool;
class Connection;

class Recordset final : public Object {
public:
    Recordset() = default;
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;
    ~Recordset() override;

    int32_t CursorLocation() const { return cursor_location_; }
    void CursorLocation(int32_t value); // 3705 while open
    int32_t CursorType() const { return cursor_type_; }
    void CursorType(int32_t value);
    int32_t LockType() const { return lock_type_; }
    void LockType(int32_t value);
    const Text& Source() const { return source_; }
    void Source(const Text& value);
    std::shared_ptr<Connection> ActiveConnection() const { return connection_; }
    // Null detaches an open client-side record set from its connection.
    void ActiveConnection(std::shared_ptr<Connection> connection);

    // Opens with the properties set before.
    void Open();
    // ADO's Open(Source, ActiveConnection, CursorType, LockType, Options): an empty
    // source or a null connection leaves the property as it is; -1 leaves a type as it
    // is. A statement that returns no rows leaves the record set closed.
    void Open(const Text& source, std::shared_ptr<Connection> connection,
              int32_t cursor_type = adOpenUnspecified, int32_t lock_type = adLockUnspecified,
              int32_t options = adOptionUnspecified);
    int32_t State() const { return open_ ? adStateOpen : adStateClosed; }
    // ADO's EOF property; C's EOF macro takes the name.
    bool Eof() const;
    int32_t RecordCount() const; // exact client-side, -1 server-side
    void MoveNext();
    void MoveFirst();
    int32_t FieldsCount() const;
    // By position from 0 (read for every value of a row, so kept here to be inlined);
    // 3704 when closed, 3265 for a position that is not there.
    Field& Fields(int32_t index) {
        require_open();
        if (index < 0 || static_cast<size_t>(index) >= fields_.size()) {
            raise_no_field();
        }
        return *fields_[static_cast<size_t>(index)];
    }
    Field& Fields(const Text& name); // case-insensitive
    // The rows from the current one on, [field][row]; the record set ends at EOF.
    Variant GetRows(int32_t rows = adGetRowsRest);
    void Update();
    void CancelUpdate();
    // ADO's dynamic properties; the one here is "Update Criteria" (adCriteriaKey,
    // adCriteriaAllCols, adCriteriaUpdCols, the default, or adCriteriaTimeStamp, which
    // compares the row's version column and, where the record set has none, every
    // column). 3265 for any other name.
    Property& Properties(const Text& name);
    // 3219 while an edit is in progress (until Update or CancelUpdate).
    void Close();

    // --- for the ADO classes ---
    // Makes this (closed) record set the read-only result of an executed statement, with
    // the connection's cursor location: client side every row at once (static), server
    // side a forward-only stream. `keep_alive` holds what the statement still writes
    // into while it streams (bound output buffers).
    void attach_result(std::shared_ptr<Connection> connection,
                       std::shared_ptr<odbc::Handle> statement, const Text& source,
                       std::shared_ptr<const void> keep_alive = nullptr);

private:
    friend class Field;

    void require_open() const {
        if (!open_) {
            raise_closed();
        }
    }
    [[noreturn]] static void raise_closed();
    [[noreturn]] static void raise_no_field();
    void require_current_row() const;
    void require_updatable() const;
    // The field can take an edit: an updatable record set, a current row, and a column
    // whose table and column are known for certain (else ADO's multiple-step error).
    void require_editable(size_t field);
    bool origin_certain(size_t field);
    bool decide_origin(const ColumnInfo& column);
    void build_fields();
    // Opens on the rows of `reader`: all of them now (client side) or one at a time.
    void take_result(std::unique_ptr<ResultReader> reader, bool client,
                     std::shared_ptr<const void> keep_alive);
    void end_chunk_sequence() const {
        appending_field_ = kNoField;
        reading_field_ = kNoField;
    }
    const Variant& stored_value(size_t field) const;
    // The values of client-side row `row`.
    Variant* client_row(size_t row) { return rows_.row(row); }
    const Variant* client_row(size_t row) const { return rows_.row(row); }
    // Update's write: the one table the edited fields come from (schema, table), the
    // fields of its key, and the statement that writes the edits into the row read.
    void write_back();
    std::pair<Text, Text> edited_table() const;
    std::vector<size_t> key_fields(Connection& connection, const Text& schema, const Text& table);
    // The fields of `table` whose originals the update compares beside the key, as the
    // property "Update Criteria" says.
    std::vector<size_t> criteria_fields(const Text& table);

    static constexpr size_t kNoField = static_cast<size_t>(-1);

    int32_t cursor_location_ = adUseServer;
    int32_t cursor_type_ = adOpenForwardOnly;
    int32_t lock_type_ = adLockReadOnly;
    Text source_;
    std::shared_ptr<Connection> connection_;
    bool open_ = false;
    bool client_ = false;
    std::vector<ColumnInfo> columns_;
    std::vector<std::unique_ptr<Field>> fields_;
    // By field: whether its origin is known for certain, decided at its first edit
    // (-1 not yet).
    std::vector<int8_t> origin_known_;
    // Client side: every row (a row is as many values as there are columns), and the
    // current position (row_count_ at EOF).
    RowStore rows_;
    size_t row_count_ = 0;
    size_t position_ = 0;
    // Server side: the reader and its current row.
    std::shared_ptr<const void> reader_keep_alive_; // outlives the reader's statement
    std::unique_ptr<ResultReader> reader_;
    std::vector<Variant> current_;
    bool stream_eof_ = true;
    // Edits of the current row, by field; a value appended in chunks is a ChunkSpool.
    std::map<size_t, Variant> edits_;
    mutable size_t appending_field_ = kNoField;
    mutable size_t reading_field_ = kNoField; // the field a GetChunk sequence reads
    uint64_t move_count_ = 0;
    Property update_criteria_{
        u"Update Criteria",
        adCriteriaUpdCols,
        {adCriteriaKey, adCriteriaAllCols, adCriteriaUpdCols, adCriteriaTimeStamp}};
};

} // namespace pelto::ado
