// Values bound to the markers of a statement for one execution: input values converted
// to the ODBC type of their ADO type, buffers for output values, and binary content
// streamed at execution time (SQLPutData) from a chunk spool.
#pragma once

#include "core/variant.h"
#include "db/ado/ado_error.h"
#include "db/ado/odbc_handle.h"

#include <memory>
#include <vector>

namespace pelto::ado {

class ChunkSpool;

struct BindValue {
    int32_t ado_type = 0;
    int32_t direction = 1; // ParameterDirectionEnum
    int32_t size = 0;      // characters or bytes; needed for variable-length output values
    int32_t precision = 0; // digits of a decimal; the column size where sql_type is given
    int32_t scale = 0;     // decimal digits (of a decimal, of a timestamp's fraction)
    // The SQL type the value goes to, where it is a column's own (a record set's Update
    // binds its values as their columns: SQL Server's time(7), a date as SQLite stores it
    // as text); 0 takes it from ado_type.
    int16_t sql_type = 0;
    // Null, Empty or missing bind SQL NULL. An ExactTimestamp (kept_original.h) binds
    // its whole fraction.
    Variant value;
    std::shared_ptr<ChunkSpool> stream; // binary content sent in pieces at execution
    Text what; // "field '이름'", "parameter 'x'": what an error about the value names
};

class ParameterBinder {
public:
    ParameterBinder(std::vector<BindValue> values, Text error_source);
    ParameterBinder(const ParameterBinder&) = delete;
    ParameterBinder& operator=(const ParameterBinder&) = delete;
    ~ParameterBinder();

    // Binds every value, marker by marker. Throws VbError 3708 for a value whose type
    // cannot be bound (adEmpty, adIUnknown, an output text without a size), 3421 for an
    // input value that does not convert to its type, and -2147217833 for a text holding
    // NUL, which drivers cut there.
    void bind(const odbc::Handle& statement);
    // Sends the streamed value that SQLParamData asked for with `token`.
    void put_data(const odbc::Handle& statement, void* token);
    // What the driver said beside pieces it took (SQL_SUCCESS_WITH_INFO of SQLPutData).
    const std::vector<DiagRecord>& put_warnings() const { return put_warnings_; }
    // After execution: the value of each marker (Empty for input-only markers).
    std::vector<Variant> outputs() const;

private:
    struct Slot;
    // What each kind of value puts into its slot: the C and SQL types, the buffer and the
    // indicator. `null_input` marks a value sent as NULL, `output` one the driver writes.
    void fill_text(Slot& slot, bool null_input, bool output) const;
    void fill_number_text(Slot& slot, bool null_input) const;
    void fill_long(Slot& slot, bool null_input) const;
    static void fill_date(Slot& slot, bool null_input);
    static void fill_exact_timestamp(Slot& slot);
    void fill_time_text(Slot& slot, bool null_input) const;
    void refuse_nul(const Slot& slot, const Text& text) const;
    void fill_binary(Slot& slot, bool input, bool null_input, bool output) const;
    void fill(Slot& slot) const;
    std::vector<std::unique_ptr<Slot>> slots_;
    Text error_source_;
    std::vector<DiagRecord> put_warnings_;
};

} // namespace pelto::ado
