#include "db/ado/recordset.h"

#include "db/ado/ado_error.h"
#include "db/ado/chunk_spool.h"
#include "db/ado/connection.h"
#include "db/ado/parameter_binder.h"
#include "db/ado/row_update.h"
#include "db/ado/select_origin.h"
#include "db/ado/undo_point.h"

#include <algorithm>
#include <limits>

namespace pelto::ado {

namespace {

constexpr const char16_t* kSource = u"ADODB.Recordset";

int32_t clamp32(uint64_t n) {
    return static_cast<int32_t>(std::min<uint64_t>(n, std::numeric_limits<int32_t>::max()));
}

[[noreturn]] void insufficient(const char16_t* what) {
    throw VbError(adoerr::kFail, kSource, what);
}

} // namespace

Recordset::~Recordset() = default;

void Recordset::raise_closed() {
    raise(adoerr::kClosedObject, kSource);
}

void Recordset::require_current_row() const {
    require_open();
    if (Eof()) {
        raise(adoerr::kBofOrEof, kSource);
    }
}

void Recordset::require_updatable() const {
    require_open();
    if (!client_ || lock_type_ == adLockReadOnly) {
        raise(adoerr::kUpdateNotSupported, kSource);
    }
}

void Recordset::CursorLocation(int32_t value) {
    if (open_) {
        raise(adoerr::kObjectOpen, kSource);
    }
    if (value != adUseClient && value != adUseServer) {
        raise(adoerr::kArgumentsWrongType, kSource);
    }
    cursor_location_ = value;
}

void Recordset::CursorType(int32_t value) {
    if (open_) {
        raise(adoerr::kObjectOpen, kSource);
    }
    cursor_type_ = value;
}

void Recordset::LockType(int32_t value) {
    if (open_) {
        raise(adoerr::kObjectOpen, kSource);
    }
    lock_type_ = value;
}

void Recordset::Source(const Text& value) {
    if (open_) {
        raise(adoerr::kObjectOpen, kSource);
    }
    source_ = value;
}

void Recordset::ActiveConnection(std::shared_ptr<Connection> connection) {
    if (open_ && !(client_ && connection == nullptr) && connection != connection_) {
        raise(adoerr::kObjectOpen, kSource);
    }
    connection_ = std::move(connection);
}

void Recordset::build_fields() {
    fields_.clear();
    fields_.reserve(columns_.size());
    for (size_t i = 0; i < columns_.size(); ++i) {
        fields_.push_back(std::make_unique<Field>(*this, i));
    }
    origin_known_.assign(columns_.size(), -1);
}

bool Recordset::decide_origin(const ColumnInfo& column) {
    if (column.base_table.empty() || column.base_column.empty()) {
        return false; // an expression, or a driver that does not say
    }
    if (!equals_ignore_case(column.base_column, column.name)) {
        return true; // the driver named the origin, not the label
    }
    // The driver's base column is the label; one that names every column by its label
    // says so for an alias too ("a AS b" would land in b).
    std::optional<bool> names_origins = false;
    if (connection_ && connection_->State() == adStateOpen) {
        names_origins = connection_->names_column_origins(column.base_schema, column.base_table,
                                                          column.base_column);
    }
    if (!names_origins) {
        return false; // no such column in that table
    }
    return *names_origins || selects_column_itself(source_, column.base_table, column.name);
}

bool Recordset::origin_certain(size_t field) {
    if (origin_known_[field] < 0) {
        origin_known_[field] = decide_origin(columns_[field]) ? 1 : 0;
    }
    return origin_known_[field] == 1;
}

void Recordset::require_editable(size_t field) {
    require_updatable();
    require_current_row();
    if (!origin_certain(field)) {
        raise(adoerr::kParameterTypeUnsupported, u"ADODB.Field");
    }
}

void Recordset::Open(const Text& source, std::shared_ptr<Connection> connection,
                     int32_t cursor_type, int32_t lock_type, int32_t /*options*/) {
    if (open_) {
        raise(adoerr::kObjectOpen, kSource);
    }
    if (!source.empty()) {
        source_ = source;
    }
    if (connection) {
        connection_ = std::move(connection);
    }
    if (cursor_type != adOpenUnspecified) {
        cursor_type_ = cursor_type;
    }
    if (lock_type != adLockUnspecified) {
        lock_type_ = lock_type;
    }
    Open();
}

void Recordset::Open() {
    if (open_) {
        raise(adoerr::kObjectOpen, kSource);
    }
    if (!connection_ || connection_->State() != adStateOpen) {
        raise(adoerr::kInvalidConnection, kSource);
    }
    if (source_.empty()) {
        raise(adoerr::kNoCommandText, kSource);
    }
    const bool client = cursor_location_ == adUseClient;
    const bool with_origins = client && lock_type_ != adLockReadOnly;
    auto done = connection_->execute_statement(source_, nullptr, connection_->CommandTimeout());
    if (done.columns == 0) {
        return; // a statement without rows leaves the record set closed
    }
    const ReadOptions options{connection_->dialect(), connection_->reads_columns_in_any_order(),
                              with_origins};
    take_result(std::make_unique<ResultReader>(std::move(done.statement),
                                               connection_->error_source(), options),
                client, nullptr);
}

void Recordset::take_result(std::unique_ptr<ResultReader> reader, bool client,
                            std::shared_ptr<const void> keep_alive) {
    for (const Error& note : reader->notes()) {
        connection_->note(note);
    }
    edits_.clear();
    end_chunk_sequence();
    if (client) {
        // Every row now: the count is exact, the record set can move back, and the
        // statement no longer holds the connection.
        RowStore store(reader->columns().size() + reader->kept_count());
        size_t rows = 0;
        while (reader->append_next(store)) {
            ++rows;
        }
        columns_ = reader->columns();
        rows_ = std::move(store);
        row_count_ = columns_.empty() ? 0 : rows;
        position_ = 0;
        cursor_type_ = adOpenStatic; // what a client-side cursor always is
        reader_.reset();
        reader_keep_alive_.reset();
        current_.clear();
    } else {
        std::vector<Variant> first;
        stream_eof_ = !reader->next(first);
        columns_ = reader->columns();
        current_ = std::move(first);
        reader_ = std::move(reader);
        reader_keep_alive_ = std::move(keep_alive);
        rows_.clear();
        row_count_ = 0;
        // What a stream is, whatever was asked: ADO reports the cursor and lock type a
        // provider delivers.
        cursor_type_ = adOpenForwardOnly;
        lock_type_ = adLockReadOnly;
    }
    cursor_location_ = client ? adUseClient : adUseServer;
    client_ = client;
    ++move_count_;
    build_fields();
    open_ = true;
}

void Recordset::attach_result(std::shared_ptr<Connection> connection,
                              std::shared_ptr<odbc::Handle> statement, const Text& source,
                              std::shared_ptr<const void> keep_alive) {
    if (open_) {
        raise(adoerr::kObjectOpen, kSource);
    }
    auto reader = std::make_unique<ResultReader>(
        std::move(statement), connection->error_source(),
        ReadOptions{connection->dialect(), connection->reads_columns_in_any_order()});
    const bool client = connection->CursorLocation() == adUseClient;
    connection_ = std::move(connection);
    source_ = source;
    lock_type_ = adLockReadOnly;
    take_result(std::move(reader), client, std::move(keep_alive));
}

bool Recordset::Eof() const {
    require_open();
    return client_ ? position_ >= row_count_ : stream_eof_;
}

int32_t Recordset::RecordCount() const {
    require_open();
    return client_ ? clamp32(row_count_) : -1;
}

void Recordset::MoveNext() {
    require_current_row();
    if (!edits_.empty()) {
        write_back(); // ADO writes pending edits before it leaves the row
    }
    if (client_) {
        ++position_;
    } else {
        current_.clear();
        stream_eof_ = !reader_->next(current_);
    }
    ++move_count_;
    end_chunk_sequence();
}

void Recordset::MoveFirst() {
    require_open();
    if (!client_) {
        raise(adoerr::kNoBackwardFetch, kSource);
    }
    if (!edits_.empty() && !Eof()) {
        write_back();
    }
    position_ = 0;
    ++move_count_;
    end_chunk_sequence();
}

int32_t Recordset::FieldsCount() const {
    require_open();
    return clamp32(fields_.size());
}

void Recordset::raise_no_field() {
    raise(adoerr::kNotFoundInCollection, u"ADODB.Fields");
}

Field& Recordset::Fields(const Text& name) {
    require_open();
    for (size_t i = 0; i < columns_.size(); ++i) {
        if (equals_ignore_case(columns_[i].name, name)) {
            return *fields_[i];
        }
    }
    raise(adoerr::kNotFoundInCollection, u"ADODB.Fields");
}

const Variant& Recordset::stored_value(size_t field) const {
    if (!edits_.empty()) {
        if (auto edit = edits_.find(field); edit != edits_.end()) {
            return edit->second;
        }
    }
    return client_ ? client_row(position_)[field] : current_[field];
}

Variant Recordset::GetRows(int32_t rows) {
    require_current_row();
    if (!edits_.empty()) {
        write_back();
    }
    std::vector<std::vector<Variant>> taken;
    const auto wanted = rows < 0 ? std::numeric_limits<size_t>::max() : static_cast<size_t>(rows);
    if (client_) {
        const size_t count = std::min(wanted, row_count_ - position_);
        Array2D array(columns_.size(), count);
        for (size_t r = 0; r < count; ++r) {
            for (size_t f = 0; f < columns_.size(); ++f) {
                array.at(f, r) = visible(client_row(position_ + r)[f]);
            }
        }
        position_ += count;
        ++move_count_;
        end_chunk_sequence();
        return array;
    }
    while (!stream_eof_ && taken.size() < wanted) {
        taken.push_back(std::move(current_));
        current_.clear();
        stream_eof_ = !reader_->next(current_);
    }
    Array2D array(columns_.size(), taken.size());
    for (size_t r = 0; r < taken.size(); ++r) {
        for (size_t f = 0; f < columns_.size(); ++f) {
            array.at(f, r) = std::move(taken[r][f]);
        }
    }
    ++move_count_;
    end_chunk_sequence();
    return array;
}

void Recordset::Update() {
    require_updatable();
    if (edits_.empty()) {
        end_chunk_sequence();
        return;
    }
    require_current_row();
    write_back();
}

Property& Recordset::Properties(const Text& name) {
    if (!equals_ignore_case(name, update_criteria_.Name())) {
        raise(adoerr::kNotFoundInCollection, u"ADODB.Properties");
    }
    return update_criteria_;
}

void Recordset::CancelUpdate() {
    require_open();
    edits_.clear();
    end_chunk_sequence();
}

std::pair<Text, Text> Recordset::edited_table() const {
    Text schema;
    Text table;
    for (const auto& [field, value] : edits_) {
        const ColumnInfo& column = columns_[field];
        if (column.base_table.empty() ||
            (!table.empty() && !equals_ignore_case(table, column.base_table))) {
            insufficient(u"Insufficient base table information for updating or refreshing.");
        }
        table = column.base_table;
        schema = column.base_schema;
    }
    return {schema, table};
}

std::vector<size_t> Recordset::key_fields(Connection& connection, const Text& schema,
                                          const Text& table) {
    std::vector<size_t> fields;
    for (const Text& key : connection.primary_key_columns(schema, table)) {
        size_t found = kNoField;
        for (size_t i = 0; i < columns_.size(); ++i) {
            if (equals_ignore_case(columns_[i].base_table, table) &&
                equals_ignore_case(columns_[i].base_column, key) && origin_certain(i)) {
                found = i;
                break;
            }
        }
        if (found == kNoField) {
            insufficient(u"Insufficient key column information for updating or refreshing.");
        }
        fields.push_back(found);
    }
    if (fields.empty()) {
        insufficient(u"Insufficient key column information for updating or refreshing.");
    }
    return fields;
}

std::vector<size_t> Recordset::criteria_fields(const Text& table) {
    const Dialect dialect = connection_->dialect();
    const auto compared = [&](size_t f) {
        return equals_ignore_case(columns_[f].base_table, table) &&
               comparison_of(columns_[f], dialect) != Comparison::None;
    };
    std::vector<size_t> fields;
    const int32_t mode = update_criteria_.number();
    if (mode == adCriteriaUpdCols) {
        for (const auto& [field, value] : edits_) {
            if (compared(field)) {
                fields.push_back(field);
            }
        }
        return fields;
    }
    if (mode == adCriteriaTimeStamp) {
        for (size_t f = 0; f < columns_.size(); ++f) {
            if (is_row_version(columns_[f], dialect) && compared(f)) {
                fields.push_back(f);
            }
        }
        if (!fields.empty()) {
            return fields;
        }
        // No row version in the record set: every column, as ADO's client cursor does.
    }
    if (mode != adCriteriaKey) {
        for (size_t f = 0; f < columns_.size(); ++f) {
            if (compared(f) && (is_row_version(columns_[f], dialect) || origin_certain(f))) {
                fields.push_back(f);
            }
        }
    }
    return fields;
}

void Recordset::write_back() {
    if (!connection_ || connection_->State() != adStateOpen) {
        raise(adoerr::kInvalidConnection, kSource);
    }
    Connection& connection = *connection_;
    const auto [schema, table] = edited_table();
    const std::vector<size_t> keys = key_fields(connection, schema, table);
    Variant* row = client_ ? client_row(position_) : current_.data();
    UpdateStatement update = update_statement(connection, schema, table, RowImage{columns_, row},
                                              edits_, keys, criteria_fields(table));
    ParameterBinder binder(std::move(update.binds), connection.error_source());
    {
        // Nothing stays written unless exactly this row took exactly these values.
        UndoPoint undo(connection);
        const auto done =
            connection.execute_statement(update.sql, &binder, connection.CommandTimeout());
        if (auto cut = truncation_among(done.warnings, connection.error_source())) {
            throw VbError(std::move(*cut));
        }
        if (done.rows_affected == 0) {
            raise(adoerr::kRowNotFound, kSource);
        }
        if (done.rows_affected > 1) {
            // A key that is not unique for every row (a partial unique index).
            insufficient(u"Key column information is insufficient or incorrect. Too many rows "
                         u"were affected by update.");
        }
        undo.keep();
    }
    // The values written are the originals from now on, as they were bound.
    for (auto& [field, value] : edits_) {
        row[field] = std::move(value);
        if (columns_[field].kept >= 0) {
            row[columns_.size() + static_cast<size_t>(columns_[field].kept)] = Null{};
        }
    }
    edits_.clear();
    end_chunk_sequence();
}

void Recordset::Close() {
    require_open();
    if (!edits_.empty()) {
        // ADO refuses to throw an edit in progress away: Update or CancelUpdate first.
        raise(adoerr::kNotAllowedHere, kSource);
    }
    open_ = false;
    rows_.clear();
    row_count_ = 0;
    current_.clear();
    reader_.reset();
    reader_keep_alive_.reset();
    edits_.clear();
    end_chunk_sequence();
    stream_eof_ = true;
    position_ = 0;
    ++move_count_;
}

} // namespace pelto::ado
