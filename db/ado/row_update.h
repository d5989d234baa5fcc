// The statement of a record set's Update, as ADO's client cursor makes it: the edits are
// written into the row read, which is found by its key and the originals of the columns
// the update criteria compare. An original is compared as the server holds it (a kept
// original where the shown value is not exactly that, kept_original.h), so a value nobody
// changed never looks changed, and a column the server cannot compare is left out.
#pragma once

#include "core/variant.h"
#include "db/ado/dialect.h"
#include "db/ado/parameter_binder.h"
#include "db/ado/result_reader.h"

#include <map>
#include <vector>

namespace pelto::ado {

class Connection;

// How the server compares a column's original.
enum class Comparison {
    None,       // not at all: binary large values, SQL Server's text, ntext, image and xml
    Value,      // "column = ?" with the value as its column binds it
    ServerText, // "CAST(column AS TEXT) = ?" with its text: PostgreSQL's json and xml, and
                // the types psqlODBC calls "unknown" (jsonb, arrays), which have no "=" with
                // a parameter or none at all
};
Comparison comparison_of(const ColumnInfo& column, Dialect dialect);

// The row's version, which changes with every change of the row: SQL Server's rowversion
// (its type name "timestamp"), PostgreSQL's xmin.
bool is_row_version(const ColumnInfo& column, Dialect dialect);

// A value bound as its column is described: decimals keep the column's precision and
// scale, timestamps its fraction digits, a column of another type read as text (a time,
// a datetimeoffset) its own SQL type; errors name the field.
BindValue bind_as_column(const ColumnInfo& column);

// The row an update writes: its columns, and its values as read (or as last written)
// followed by its kept originals.
struct RowImage {
    const std::vector<ColumnInfo>& columns;
    const Variant* values;
};

struct UpdateStatement {
    Text sql;
    std::vector<BindValue> binds;
};

// "UPDATE table SET edited = ? ... WHERE key = ? AND criterion = ? ...": `keys` and
// `criteria` are fields of `row`; a Null original is compared with IS NULL.
UpdateStatement update_statement(Connection& connection, const Text& schema, const Text& table,
                                 const RowImage& row, const std::map<size_t, Variant>& edits,
                                 const std::vector<size_t>& keys,
                                 const std::vector<size_t>& criteria);

} // namespace pelto::ado
