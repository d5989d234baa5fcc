#include "db/ado/result_reader.h"

#include "db/ado/ado_enums.h"
#include "db/ado/ado_error.h"
#include "db/ado/kept_original.h"
#include "db/ado/odbc_api.h"
#include "db/ado/odbc_check.h"
#include "db/ado/time_text.h"

#include <array>
#include <cstring>
#include <limits>
#include <optional>
#include <utility>

namespace pelto::ado {

namespace {

constexpr size_t kTextChunkUnits = 4096;
constexpr size_t kByteChunk = 65536;

using Fetch = ResultReader::Fetch;

struct TypeRow {
    SQLSMALLINT sql_type;
    int32_t ado_type;
    Fetch fetch;
};

// SQL Server's time(n) as its drivers report it (SQL_SS_TIME2). Its datetimeoffset
// (SQL_SS_TIMESTAMPOFFSET, -155) is not listed: it is text, as SQL Server's OLE DB
// provider hands it to VB.
constexpr SQLSMALLINT kSqlServerTime = -154;

// How each ODBC type reaches the program: the ADO type a field reports and the C type
// it is read as. Types not listed are read as text.
constexpr std::array kTypes{
    TypeRow{SQL_CHAR, adChar, Fetch::Text},
    TypeRow{SQL_VARCHAR, adVarChar, Fetch::Text},
    TypeRow{SQL_LONGVARCHAR, adLongVarChar, Fetch::Text},
    TypeRow{SQL_WCHAR, adWChar, Fetch::Text},
    TypeRow{SQL_WVARCHAR, adVarWChar, Fetch::Text},
    TypeRow{SQL_WLONGVARCHAR, adLongVarWChar, Fetch::Text},
    TypeRow{SQL_GUID, adGUID, Fetch::Text},
    TypeRow{SQL_DECIMAL, adNumeric, Fetch::Decimal},
    TypeRow{SQL_NUMERIC, adNumeric, Fetch::Decimal},
    TypeRow{SQL_INTEGER, adInteger, Fetch::Long},
    TypeRow{SQL_SMALLINT, adSmallInt, Fetch::Long},
    TypeRow{SQL_TINYINT, adTinyInt, Fetch::Long},
    TypeRow{SQL_BIGINT, adBigInt, Fetch::BigInt},
    TypeRow{SQL_REAL, adSingle, Fetch::Double},
    TypeRow{SQL_FLOAT, adDouble, Fetch::Double},
    TypeRow{SQL_DOUBLE, adDouble, Fetch::Double},
    TypeRow{SQL_BIT, adBoolean, Fetch::Bit},
    TypeRow{SQL_TYPE_TIMESTAMP, adDBTimeStamp, Fetch::Timestamp},
    TypeRow{SQL_TIMESTAMP, adDBTimeStamp, Fetch::Timestamp},
    TypeRow{SQL_TYPE_DATE, adDBDate, Fetch::Date},
    TypeRow{SQL_DATE, adDBDate, Fetch::Date},
    TypeRow{SQL_TYPE_TIME, adDBTime, Fetch::Time},
    TypeRow{SQL_TIME, adDBTime, Fetch::Time},
    TypeRow{kSqlServerTime, adDBTime, Fetch::Time},
    TypeRow{SQL_BINARY, adBinary, Fetch::Binary},
    TypeRow{SQL_VARBINARY, adVarBinary, Fetch::Binary},
    TypeRow{SQL_LONGVARBINARY, adLongVarBinary, Fetch::Binary},
};

const TypeRow* type_row(SQLSMALLINT sql_type) {
    for (const auto& row : kTypes) {
        if (row.sql_type == sql_type) {
            return &row;
        }
    }
    return nullptr;
}

Decimal decimal_of(int64_t value) {
    Decimal d;
    d.negative = value < 0;
    const uint64_t magnitude =
        d.negative ? uint64_t{0} - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    d.magnitude[0] = static_cast<uint32_t>(magnitude & 0xFFFFFFFFU);
    d.magnitude[1] = static_cast<uint32_t>(magnitude >> 32);
    return d;
}

// A decimal's text as a Decimal; "NaN" and any value a Decimal cannot hold exactly (more
// than 96 bits, more than 28 decimal places) stay text rather than be cut.
Variant decimal_of_text(Text text) {
    try {
        const Decimal d = Decimal::from_text(text);
        const size_t point = text.find(u'.');
        const size_t places = point == Text::npos ? 0 : text.size() - point - 1;
        if (places <= 28) {
            return d;
        }
    } catch (const VbError&) { // NOLINT(bugprone-empty-catch): such a value stays text
    }
    return text;
}

int milliseconds_of(SQLUINTEGER fraction_ns) {
    return static_cast<int>(fraction_ns / 1000000U);
}

} // namespace

// Where a column comes from is asked of drivers that may not tell: one that lacks the
// attribute answers with an empty text (noted); any other failure is the reader's.
Text ResultReader::column_text_attribute(uint16_t column, uint16_t field) {
    std::array<char16_t, 512> buffer{};
    SQLSMALLINT length = 0;
    const OdbcStatus status =
        answer(SQLColAttributeW(statement_->get(), column, field, odbc::wide_buffer(buffer.data()),
                                static_cast<SQLSMALLINT>(buffer.size() * sizeof(char16_t)), &length,
                                nullptr),
               *statement_, "SQLColAttributeW", OdbcContext::Statement, error_source_);
    if (status.unsupported()) {
        notes_.push_back(*status.failure);
        return Text();
    }
    status.or_raise();
    return odbc::text_of(buffer.data(), buffer.size());
}

// The C value of a column of a fixed size: written by the driver at every fetch when the
// column is bound, or by SQLGetData when it is not.
struct ResultReader::FixedCell {
    SQLLEN indicator = 0;
    alignas(8) std::array<unsigned char, sizeof(SQL_TIMESTAMP_STRUCT)> bytes{};
    SQLSMALLINT c_type = 0; // 0: not a column of a fixed size
    SQLLEN size = 0;
    bool bound = false;
};

namespace {

struct FixedType {
    SQLSMALLINT c_type;
    SQLLEN size;
};

// The C type a fixed-size column is read as; size 0 for the other columns. Integers are
// read as 64 bits (SQLite's driver reports its 64-bit INTEGER as SQL_INTEGER), except from
// drivers that hold 32 bits only and convert to nothing wider (Jet's).
FixedType fixed_type(Fetch fetch, bool integers_in_32_bits) {
    switch (fetch) {
    case Fetch::Long:
        if (integers_in_32_bits) {
            return {SQL_C_SLONG, sizeof(SQLINTEGER)};
        }
        return {SQL_C_SBIGINT, sizeof(SQLBIGINT)};
    case Fetch::BigInt:
        return {SQL_C_SBIGINT, sizeof(SQLBIGINT)};
    case Fetch::Double:
        return {SQL_C_DOUBLE, sizeof(SQLDOUBLE)};
    case Fetch::Bit:
        return {SQL_C_BIT, sizeof(unsigned char)};
    case Fetch::Timestamp:
        return {SQL_C_TYPE_TIMESTAMP, sizeof(SQL_TIMESTAMP_STRUCT)};
    case Fetch::Date:
        return {SQL_C_TYPE_DATE, sizeof(SQL_DATE_STRUCT)};
    default: // a time of day is read as text, which holds its fraction
        return {0, 0};
    }
}

template <typename T, size_t N> T value_in(const std::array<unsigned char, N>& bytes) {
    static_assert(sizeof(T) <= N);
    T value{};
    std::memcpy(&value, bytes.data(), sizeof(T));
    return value;
}

} // namespace

ResultReader::ResultReader(std::shared_ptr<odbc::Handle> statement, Text error_source,
                           const ReadOptions& options)
    : statement_(std::move(statement)), error_source_(std::move(error_source)),
      integers_in_32_bits_(options.dialect == Dialect::Jet), text_buffer_(kTextChunkUnits) {
    SQLSMALLINT count = 0;
    check(SQLNumResultCols(statement_->get(), &count), *statement_, "SQLNumResultCols",
          OdbcContext::Statement, error_source_);
    columns_.reserve(static_cast<size_t>(count));
    for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(count); ++c) {
        describe_column(c, options);
    }
    bind_fixed_columns(options.bind_anywhere);
}

// Whether an updatable result keeps the original of a column beside its shown value:
// SQLite's driver hands back neither a REAL nor a date exactly as stored, so there the
// original is the stored text; elsewhere a timestamp keeps its whole fraction and a time
// of day its text.
namespace {
enum class Keeping { Nothing, Text, Exact };
Keeping keeping(Fetch fetch, Dialect dialect) {
    const bool sqlite = dialect == Dialect::SQLite;
    switch (fetch) {
    case Fetch::Double:
    case Fetch::Decimal:
    case Fetch::Date:
        return sqlite ? Keeping::Text : Keeping::Nothing;
    case Fetch::Timestamp:
        return sqlite ? Keeping::Text : Keeping::Exact;
    case Fetch::Time:
        return Keeping::Text;
    default:
        return Keeping::Nothing;
    }
}
} // namespace

void ResultReader::describe_column(uint16_t c, const ReadOptions& options) {
    std::array<char16_t, 512> name{};
    SQLSMALLINT name_length = 0;
    SQLSMALLINT type = 0;
    SQLULEN size = 0;
    SQLSMALLINT digits = 0;
    SQLSMALLINT nullable = 0;
    check(SQLDescribeColW(statement_->get(), c, odbc::wide_buffer(name.data()),
                          static_cast<SQLSMALLINT>(name.size()), &name_length, &type, &size,
                          &digits, &nullable),
          *statement_, "SQLDescribeColW", OdbcContext::Statement, error_source_);
    ColumnInfo info;
    info.name = odbc::text_of(name.data(), name.size());
    info.sql_type = type;
    info.column_size = size;
    info.decimal_digits = digits;
    const TypeRow* row = type_row(type);
    info.ado_type = row != nullptr ? row->ado_type : adVarWChar;
    const Fetch fetch = row != nullptr ? row->fetch : Fetch::Text;
    fetches_.push_back(fetch);
    kept_text_.push_back(false);
    if (options.updatable) {
        info.base_schema = column_text_attribute(c, SQL_DESC_SCHEMA_NAME);
        info.base_table = column_text_attribute(c, SQL_DESC_BASE_TABLE_NAME);
        if (info.base_table.empty()) {
            info.base_table = column_text_attribute(c, SQL_DESC_TABLE_NAME);
        }
        info.base_column = column_text_attribute(c, SQL_DESC_BASE_COLUMN_NAME);
        info.type_name = column_text_attribute(c, SQL_DESC_TYPE_NAME);
        const Keeping keep = keeping(fetch, options.dialect);
        if (keep != Keeping::Nothing) {
            info.kept = static_cast<int32_t>(kept_.size());
            kept_.emplace_back(Null{});
            kept_text_.back() = keep == Keeping::Text && fetch != Fetch::Time;
        }
    }
    columns_.push_back(std::move(info));
}

// Columns of a fixed size are bound: the driver then writes them all in the one call that
// fetches the row, where one SQLGetData per cell would pass the driver manager and the
// driver again for each. Text and binary values of any length stay with SQLGetData.
// Without SQL_GD_ANY_COLUMN a driver reads unbound columns only after the last bound
// one, so then only the fixed columns before the first other one are bound.
void ResultReader::bind_fixed_columns(bool bind_anywhere) {
    fixed_.resize(columns_.size()); // never resized again: the driver holds the addresses
    bool all_before_bound = true;
    for (size_t c = 0; c < columns_.size(); ++c) {
        const FixedType type = fixed_type(fetches_[c], integers_in_32_bits_);
        FixedCell& cell = fixed_[c];
        cell.c_type = type.c_type;
        cell.size = type.size;
        // A column read as text first is read with SQLGetData only.
        if (type.size == 0 || kept_text_[c] || !(bind_anywhere || all_before_bound)) {
            all_before_bound = false;
            continue;
        }
        const OdbcStatus status =
            answer(SQLBindCol(statement_->get(), static_cast<SQLUSMALLINT>(c + 1), type.c_type,
                              cell.bytes.data(), type.size, &cell.indicator),
                   *statement_, "SQLBindCol", OdbcContext::Statement, error_source_);
        if (status.failure) {
            notes_.push_back(*status.failure); // read with SQLGetData instead
            all_before_bound = false;
            continue;
        }
        cell.bound = true;
        any_bound_ = true;
    }
}

ResultReader::~ResultReader() {
    if (any_bound_ && *statement_) {
        // The statement may outlive this reader; it must not write into freed cells.
        SQLFreeStmt(statement_->get(), SQL_UNBIND);
    }
}

void read_remaining_results(const odbc::Handle& statement, const Text& error_source) {
    for (;;) {
        const OdbcStatus status = answer(SQLMoreResults(statement.get()), statement,
                                         "SQLMoreResults", OdbcContext::Statement, error_source);
        if (status.unsupported()) {
            return; // a driver without batches has no later result
        }
        status.or_raise();
        if (status.no_data()) {
            return;
        }
    }
}

bool ResultReader::fetch() {
    if (finished_) {
        return false;
    }
    if (!*statement_) {
        raise(adoerr::kClosedObject, u"ADODB.Recordset");
    }
    const OdbcStatus status = answer(SQLFetch(statement_->get()), *statement_, "SQLFetch",
                                     OdbcContext::Statement, error_source_);
    status.or_raise();
    if (!status.no_data()) {
        return true;
    }
    finished_ = true;
    read_remaining_results(*statement_, error_source_);
    return false;
}

bool ResultReader::next(std::vector<Variant>& row) {
    if (!fetch()) {
        return false;
    }
    row.clear();
    read_row(row);
    return true;
}

bool ResultReader::append_next(RowStore& rows) {
    if (!fetch()) {
        return false;
    }
    read_row(rows.room_for_row());
    return true;
}

void ResultReader::read_row(std::vector<Variant>& cells) {
    for (size_t c = 0; c < columns_.size(); ++c) {
        append_cell(static_cast<uint16_t>(c + 1), fetches_[c], cells);
    }
    for (Variant& kept : kept_) {
        cells.push_back(std::exchange(kept, Null{}));
    }
}

// Each value is built in its place at the end of `cells` from the C value the driver
// wrote: a record set reads every cell of every row, and a Variant returned and then
// moved into its place costs a move and a destruction of each cell's temporary.
void ResultReader::append_cell(uint16_t column, Fetch fetch, std::vector<Variant>& cells) {
    if (!kept_.empty() && kept_text_[column - 1U]) {
        append_kept_text(column, fetch, cells);
        return;
    }
    switch (fetch) {
    case Fetch::Text:
        break; // below, as any type not listed
    case Fetch::Binary:
        cells.push_back(read_binary(column));
        return;
    case Fetch::Long:
    case Fetch::BigInt:
    case Fetch::Double:
    case Fetch::Bit:
    case Fetch::Timestamp:
    case Fetch::Date:
        append_fixed(column, fetch, cells);
        return;
    case Fetch::Time:
        append_time(column, cells);
        return;
    case Fetch::Decimal:
        cells.push_back(read_decimal(column));
        return;
    }
    // Read straight into its place: a text cell is the most common cell there is.
    Variant& cell = cells.emplace_back(Text());
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-const-cast): the cell is ours, not const
    if (!read_text(column, const_cast<Text&>(std::get<Text>(cell.storage())))) {
        cell = Null{};
    }
}

void ResultReader::append_fixed(uint16_t column, Fetch fetch, std::vector<Variant>& cells) {
    FixedCell& cell = fixed_[column - 1U];
    if (!cell.bound) {
        // SQL_NO_DATA (a driver that reads a value only once) is a failure here too.
        check(SQLGetData(statement_->get(), column, cell.c_type, cell.bytes.data(), cell.size,
                         &cell.indicator),
              *statement_, "SQLGetData", OdbcContext::Statement, error_source_);
    }
    if (cell.indicator == SQL_NULL_DATA) {
        cells.emplace_back(Null{});
        return;
    }
    switch (fetch) {
    case Fetch::Long: {
        const int64_t value = cell.c_type == SQL_C_SLONG ? value_in<SQLINTEGER>(cell.bytes)
                                                         : value_in<SQLBIGINT>(cell.bytes);
        if (value >= std::numeric_limits<int32_t>::min() &&
            value <= std::numeric_limits<int32_t>::max()) {
            cells.emplace_back(static_cast<int32_t>(value));
        } else {
            cells.emplace_back(decimal_of(value)); // what ADO hands VB for a 64-bit integer
        }
        return;
    }
    case Fetch::BigInt:
        cells.emplace_back(decimal_of(value_in<SQLBIGINT>(cell.bytes)));
        return;
    case Fetch::Double:
        cells.emplace_back(static_cast<double>(value_in<SQLDOUBLE>(cell.bytes)));
        return;
    case Fetch::Bit:
        cells.emplace_back(value_in<unsigned char>(cell.bytes) != 0);
        return;
    case Fetch::Timestamp: {
        const auto v = value_in<SQL_TIMESTAMP_STRUCT>(cell.bytes);
        cells.emplace_back(Date::from_parts(v.year, v.month, v.day, v.hour, v.minute, v.second,
                                            milliseconds_of(v.fraction)));
        const int32_t kept = kept_.empty() ? -1 : columns_[column - 1U].kept;
        if (kept >= 0 && !kept_text_[column - 1U] && v.fraction % 1000000U != 0) {
            kept_[static_cast<size_t>(kept)] =
                std::shared_ptr<Object>(std::make_shared<ExactTimestamp>(TimestampFields{
                    v.year, v.month, v.day, v.hour, v.minute, v.second, v.fraction}));
        }
        return;
    }
    case Fetch::Date: {
        const auto v = value_in<SQL_DATE_STRUCT>(cell.bytes);
        cells.emplace_back(Date::from_parts(v.year, v.month, v.day));
        return;
    }
    default:
        cells.emplace_back(Null{}); // not a fixed-size column: never called for one
        return;
    }
}

void ResultReader::append_time(uint16_t column, std::vector<Variant>& cells) {
    Text text;
    if (!read_text(column, text)) {
        cells.emplace_back(Null{});
        return;
    }
    const std::optional<Date> time = time_of_day(text);
    if (time) {
        cells.emplace_back(*time);
    } else {
        cells.emplace_back(text); // not a time of day: the driver's text as it is
    }
    const int32_t kept = columns_[column - 1U].kept;
    if (kept >= 0) {
        kept_[static_cast<size_t>(kept)] = std::move(text);
    }
}

void ResultReader::append_kept_text(uint16_t column, Fetch fetch, std::vector<Variant>& cells) {
    Text text;
    if (!read_text(column, text)) {
        cells.emplace_back(Null{});
        return;
    }
    Variant& kept = kept_[static_cast<size_t>(columns_[column - 1U].kept)];
    kept = text;
    if (fetch == Fetch::Decimal) {
        cells.push_back(decimal_of_text(std::move(text)));
    } else {
        append_fixed(column, fetch, cells); // the same value again, as the driver types it
    }
}

Variant ResultReader::read_decimal(uint16_t column) {
    Text text;
    if (!read_text(column, text)) {
        return Null{};
    }
    return decimal_of_text(std::move(text));
}

// The value through the reused buffer: a value that fits in one piece (the usual case)
// becomes its text in one allocation, a longer one grows piece by piece.
bool ResultReader::read_text(uint16_t column, Text& out) {
    const auto capacity = static_cast<SQLLEN>(text_buffer_.size() * sizeof(char16_t));
    for (;;) {
        SQLLEN indicator = 0;
        // Every text cell passes here: the usual answers are taken without a status.
        const SQLRETURN rc = SQLGetData(statement_->get(), column, SQL_C_WCHAR, text_buffer_.data(),
                                        capacity, &indicator);
        if (rc == SQL_NO_DATA) {
            break;
        }
        check(rc, *statement_, "SQLGetData", OdbcContext::Statement, error_source_);
        if (indicator == SQL_NULL_DATA) {
            return false;
        }
        // A chunk is cut when the value did not fit: the buffer then ends in the NUL.
        const bool more =
            rc == SQL_SUCCESS_WITH_INFO && (indicator == SQL_NO_TOTAL || indicator >= capacity);
        // A cut chunk fills the buffer but for its closing NUL; a whole value is as long
        // as the driver counts, NULs inside it included (SQL Server's text may hold them).
        size_t units = text_buffer_.size() - 1;
        if (!more) {
            units = indicator >= 0
                        ? std::min(units, static_cast<size_t>(indicator) / sizeof(char16_t))
                        : odbc::units_before_nul(text_buffer_.data(), units);
        }
        out.append(text_buffer_.data(), units);
        if (!more) {
            break;
        }
    }
    return true;
}

Variant ResultReader::read_binary(uint16_t column) {
    if (byte_buffer_.empty()) {
        byte_buffer_.resize(kByteChunk);
    }
    SQLLEN indicator = 0;
    const auto get_piece = [&](void* target, size_t room) {
        const OdbcStatus status =
            answer(SQLGetData(statement_->get(), column, SQL_C_BINARY, target,
                              static_cast<SQLLEN>(room), &indicator),
                   *statement_, "SQLGetData", OdbcContext::Statement, error_source_);
        status.or_raise();
        return status.rc;
    };
    SQLRETURN rc = get_piece(byte_buffer_.data(), byte_buffer_.size());
    if (rc == SQL_NO_DATA) {
        return ByteArray();
    }
    if (indicator == SQL_NULL_DATA) {
        return Null{};
    }
    if (rc == SQL_SUCCESS) {
        const auto n =
            std::min(static_cast<size_t>(std::max<SQLLEN>(indicator, 0)), byte_buffer_.size());
        return ByteArray(byte_buffer_.begin(),
                         byte_buffer_.begin() + static_cast<std::ptrdiff_t>(n));
    }
    // A long value: when the driver tells the whole length, the rest is read straight
    // into its place in one call; otherwise chunk by chunk.
    ByteArray out(byte_buffer_.begin(), byte_buffer_.end());
    size_t have = out.size();
    if (indicator != SQL_NO_TOTAL && static_cast<size_t>(indicator) > have) {
        out.resize(static_cast<size_t>(indicator));
    }
    for (;;) {
        if (have == out.size()) {
            out.resize(out.size() + kByteChunk);
        }
        const size_t room = out.size() - have;
        rc = get_piece(out.data() + have, room);
        if (rc == SQL_NO_DATA) {
            break;
        }
        if (rc == SQL_SUCCESS) {
            have += std::min(static_cast<size_t>(std::max<SQLLEN>(indicator, 0)), room);
            break;
        }
        have += room;
        if (indicator != SQL_NO_TOTAL && static_cast<size_t>(indicator) > room) {
            out.resize(have + static_cast<size_t>(indicator) - room);
        }
    }
    out.resize(have);
    return out;
}

} // namespace pelto::ado
