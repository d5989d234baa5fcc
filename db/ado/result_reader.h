// Reading the result of an executed ODBC statement: its columns as ADO describes them
// and its rows as variants, one row at a time.
#pragma once

#include "core/error.h"
#include "core/variant.h"
#include "db/ado/dialect.h"
#include "db/ado/odbc_handle.h"
#include "db/ado/row_store.h"

#include <memory>
#include <vector>

namespace pelto::ado {

struct ColumnInfo {
    Text name;
    int16_t sql_type = 0; // SQL_* data type the driver reports
    uint64_t column_size = 0;
    int16_t decimal_digits = 0;
    int32_t ado_type = 0; // DataTypeEnum
    // Only read for record sets that can be updated: where the column comes from as the
    // driver names it, and the server's own name of its type ("nvarchar", "json"); empty
    // where the driver does not say.
    Text base_schema;
    Text base_table;
    Text base_column;
    Text type_name;
    // Where a row keeps the original of this column beside its shown values (its index
    // after them, kept_original.h), or -1 when the shown value is always exact.
    int32_t kept = -1;
};

// How a result is read.
struct ReadOptions {
    Dialect dialect = Dialect::Other;
    // The driver reads unbound columns in any order around bound ones (SQL_GD_ANY_COLUMN).
    bool bind_anywhere = false;
    // The result of a record set that can be updated: the origin and type name of every
    // column are read, and each row keeps the originals the server holds where the shown
    // value may differ from them.
    bool updatable = false;
};

// Reads every later result of an executed statement's batch (SQLMoreResults), letting go
// of the current one's rows. A driver reports an error of a later statement only when its
// result is reached, and output values only after the last result: so an error in any of
// them is thrown here, and output values are complete afterwards.
void read_remaining_results(const odbc::Handle& statement, const Text& error_source);

class ResultReader {
public:
    // The C type a column is read as. Integers are read as 64 bits whatever the driver
    // reports: a Long where the value fits, else a Decimal.
    enum class Fetch { Text, Long, BigInt, Double, Decimal, Bit, Timestamp, Date, Time, Binary };

    // `statement` has just been executed and has result columns.
    ResultReader(std::shared_ptr<odbc::Handle> statement, Text error_source,
                 const ReadOptions& options);
    ResultReader(const ResultReader&) = delete;
    ResultReader& operator=(const ResultReader&) = delete;
    ~ResultReader();

    const std::vector<ColumnInfo>& columns() const { return columns_; }
    // How many originals a row keeps after its shown values (0 unless updatable).
    size_t kept_count() const { return kept_.size(); }
    // The next row into `row` (its shown values, then its kept originals); false after the last
    // row, when the later results of the batch have been read too. Throws VbError 3704 when the
    // connection closed the statement, or the driver's error.
    bool next(std::vector<Variant>& row);
    // The next row's values added at the end of `rows`; false after the last row.
    bool append_next(RowStore& rows);
    // The driver failures the reader went on without (a column origin the driver cannot
    // tell), for the connection to report.
    const std::vector<Error>& notes() const { return notes_; }

private:
    bool fetch();
    struct FixedCell;
    void describe_column(uint16_t column, const ReadOptions& options);
    void bind_fixed_columns(bool bind_anywhere);
    void read_row(std::vector<Variant>& cells);
    void append_cell(uint16_t column, Fetch fetch, std::vector<Variant>& cells);
    void append_fixed(uint16_t column, Fetch fetch, std::vector<Variant>& cells);
    // A column whose original is its text: the text is kept, the shown value read after.
    void append_kept_text(uint16_t column, Fetch fetch, std::vector<Variant>& cells);
    // A time of day: read as text, which holds the whole fraction.
    void append_time(uint16_t column, std::vector<Variant>& cells);
    // The text of a column into `out` (empty on entry); false for Null.
    bool read_text(uint16_t column, Text& out);
    Variant read_decimal(uint16_t column);
    Variant read_binary(uint16_t column);
    Text column_text_attribute(uint16_t column, uint16_t field);

    std::shared_ptr<odbc::Handle> statement_;
    Text error_source_;
    std::vector<ColumnInfo> columns_;
    std::vector<Fetch> fetches_;   // by column: decided once, not for every cell
    std::vector<FixedCell> fixed_; // by column; bound ones are written at every fetch
    // By column: its original is the text the driver gives (SQLite, whose driver cannot
    // hand back a REAL or a date exactly as stored), read before its shown value.
    std::vector<bool> kept_text_;
    std::vector<Variant> kept_; // the current row's kept originals
    bool integers_in_32_bits_ = false;
    bool any_bound_ = false;
    std::vector<char16_t> text_buffer_;
    std::vector<uint8_t> byte_buffer_;
    std::vector<Error> notes_;
    bool finished_ = false; // the last row and every later result are read
};

} // namespace pelto::ado
