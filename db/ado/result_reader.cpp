#include "db/ado/result_reader.h"

#include "db/ado/ado_enums.h"
#include "db/ado/ado_error.h"
#include "db/ado/odbc_api.h"
#include "db/ado/odbc_check.h"

#include <array>
#include <cstring>
#include <limits>

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
    bool bound = false;
};

namespace {

struct FixedType {
    SQLSMALLINT c_type;
    SQLLEN size;
};

// The C type a fixed-size column is read as; size 0 for the other columns.
FixedType fixed_type(Fetch fetch) {
    switch (fetch) {
    case Fetch::Long: // some drivers report 64-bit integers as SQL_INTEGER (SQLite)
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
    case Fetch::Time:
        return {SQL_C_TYPE_TIME, sizeof(SQL_TIME_STRUCT)};
    default:
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
                           bool with_origins, bool bind_anywhere)
    : statement_(std::move(statement)), error_source_(std::move(error_source)),
      text_buffer_(kTextChunkUnits) {
    SQLSMALLINT count = 0;
    check(SQLNumResultCols(statement_->get(), &count), *statement_, "SQLNumResultCols",
          OdbcContext::Statement, error_source_);
    columns_.reserve(static_cast<size_t>(count));
    for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(count); ++c) {
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
        fetches_.push_back(row != nullptr ? row->fetch : Fetch::Text);
        if (with_origins) {
            info.base_schema = column_text_attribute(c, SQL_DESC_SCHEMA_NAME);
            info.base_table = column_text_attribute(c, SQL_DESC_BASE_TABLE_NAME);
            if (info.base_table.empty()) {
                info.base_table = column_text_attribute(c, SQL_DESC_TABLE_NAME);
            }
            info.base_column = column_text_attribute(c, SQL_DESC_BASE_COLUMN_NAME);
        }
        columns_.push_back(std::move(info));
    }
    bind_fixed_columns(bind_anywhere);
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
        const FixedType type = fixed_type(fetches_[c]);
        if (type.size == 0 || !(bind_anywhere || all_before_bound)) {
            all_before_bound = false;
            continue;
        }
        FixedCell& cell = fixed_[c];
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
}

// Each value is built in its place at the end of `cells` from the C value the driver
// wrote: a record set reads every cell of every row, and a Variant returned and then
// moved into its place costs a move and a destruction of each cell's temporary.
void ResultReader::append_cell(uint16_t column, Fetch fetch, std::vector<Variant>& cells) {
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
    case Fetch::Time:
        append_fixed(column, fetch, cells);
        return;
    case Fetch::Decimal:
        cells.push_back(read_decimal(column));
        return;
    }
    Text text;
    if (!read_text(column, text)) {
        cells.emplace_back(Null{});
        return;
    }
    cells.emplace_back(std::move(text));
}

void ResultReader::append_fixed(uint16_t column, Fetch fetch, std::vector<Variant>& cells) {
    FixedCell& cell = fixed_[column - 1U];
    if (!cell.bound) {
        const FixedType type = fixed_type(fetch);
        check(SQLGetData(statement_->get(), column, type.c_type, cell.bytes.data(), type.size,
                         &cell.indicator),
              *statement_, "SQLGetData", OdbcContext::Statement, error_source_);
    }
    if (cell.indicator == SQL_NULL_DATA) {
        cells.emplace_back(Null{});
        return;
    }
    switch (fetch) {
    case Fetch::Long: {
        const auto value = value_in<SQLBIGINT>(cell.bytes);
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
        return;
    }
    case Fetch::Date: {
        const auto v = value_in<SQL_DATE_STRUCT>(cell.bytes);
        cells.emplace_back(Date::from_parts(v.year, v.month, v.day));
        return;
    }
    case Fetch::Time: {
        const auto v = value_in<SQL_TIME_STRUCT>(cell.bytes);
        // A time of day alone is the fraction of day zero (1899-12-30).
        cells.emplace_back(Date::from_parts(1899, 12, 30, v.hour, v.minute, v.second));
        return;
    }
    default:
        cells.emplace_back(Null{}); // not a fixed-size column: never called for one
        return;
    }
}

Variant ResultReader::read_decimal(uint16_t column) {
    Text text;
    if (!read_text(column, text)) {
        return Null{};
    }
    try {
        return Decimal::from_text(text);
    } catch (const VbError&) {
        return text; // "NaN" and other values a decimal cannot hold stay text
    }
}

// The value through the reused buffer: a value that fits in one piece (the usual case)
// becomes its text in one allocation, a longer one grows piece by piece.
bool ResultReader::read_text(uint16_t column, Text& out) {
    const auto capacity = static_cast<SQLLEN>(text_buffer_.size() * sizeof(char16_t));
    for (;;) {
        SQLLEN indicator = 0;
        const OdbcStatus status =
            answer(SQLGetData(statement_->get(), column, SQL_C_WCHAR, text_buffer_.data(), capacity,
                              &indicator),
                   *statement_, "SQLGetData", OdbcContext::Statement, error_source_);
        status.or_raise();
        if (status.no_data()) {
            break;
        }
        const SQLRETURN rc = status.rc;
        if (indicator == SQL_NULL_DATA) {
            return false;
        }
        // A chunk is cut when the value did not fit: the buffer then ends in the NUL.
        const bool more =
            rc == SQL_SUCCESS_WITH_INFO && (indicator == SQL_NO_TOTAL || indicator >= capacity);
        size_t units = text_buffer_.size();
        if (!more && indicator >= 0) {
            units = std::min(units, static_cast<size_t>(indicator) / sizeof(char16_t));
        }
        // The value ends at its first NUL, even when the driver counts further.
        units = odbc::units_before_nul(text_buffer_.data(), units);
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
