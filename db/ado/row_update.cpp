#include "db/ado/row_update.h"

#include "db/ado/ado_enums.h"
#include "db/ado/chunk_spool.h"
#include "db/ado/connection.h"
#include "db/ado/kept_original.h"
#include "db/ado/odbc_api.h"

#include <algorithm>

namespace pelto::ado {

namespace {

bool binary(int16_t sql_type) {
    return sql_type == SQL_BINARY || sql_type == SQL_VARBINARY || sql_type == SQL_LONGVARBINARY;
}

bool long_text(int16_t sql_type) {
    return sql_type == SQL_LONGVARCHAR || sql_type == SQL_WLONGVARCHAR;
}

bool character(int16_t sql_type) {
    return sql_type == SQL_CHAR || sql_type == SQL_VARCHAR || sql_type == SQL_WCHAR ||
           sql_type == SQL_WVARCHAR || long_text(sql_type) || sql_type == SQL_GUID;
}

// SQL Server's types its drivers report beyond ODBC's own (sqlncli.h): a CLR type and xml.
constexpr int16_t kSqlServerUdt = -151;
constexpr int16_t kSqlServerXml = -152;

bool type_is(const ColumnInfo& column, TextView name) {
    return equals_ignore_case(column.type_name, name);
}

} // namespace

Comparison comparison_of(const ColumnInfo& column, Dialect dialect) {
    if (binary(column.sql_type)) {
        // Only SQL Server's short binary values (binary(n), varbinary(n), rowversion) are
        // compared; SQLite's BLOB and PostgreSQL's bytea may be any size.
        const bool short_value = column.sql_type != SQL_LONGVARBINARY && column.column_size > 0 &&
                                 column.column_size <= 8000 && !type_is(column, u"image");
        return dialect == Dialect::SqlServer && short_value ? Comparison::Value : Comparison::None;
    }
    switch (dialect) {
    case Dialect::SqlServer:
        if (type_is(column, u"text") || type_is(column, u"ntext") || type_is(column, u"xml") ||
            column.sql_type == kSqlServerUdt || column.sql_type == kSqlServerXml) {
            return Comparison::None;
        }
        return Comparison::Value; // varchar(max) and nvarchar(max) compare like any text
    case Dialect::PostgreSql:
        if (type_is(column, u"json") || type_is(column, u"xml") || type_is(column, u"unknown") ||
            type_is(column, u"xid")) {
            return Comparison::ServerText;
        }
        return Comparison::Value;
    case Dialect::SQLite:
        return Comparison::Value; // every stored value compares with "="
    default:
        return long_text(column.sql_type) ? Comparison::None : Comparison::Value; // Jet's memo
    }
}

bool is_row_version(const ColumnInfo& column, Dialect dialect) {
    if (dialect == Dialect::SqlServer) {
        return type_is(column, u"timestamp") || type_is(column, u"rowversion");
    }
    return dialect == Dialect::PostgreSql && type_is(column, u"xid") &&
           equals_ignore_case(column.name, u"xmin");
}

BindValue bind_as_column(const ColumnInfo& column) {
    BindValue bind;
    bind.ado_type = column.ado_type;
    bind.what = u"field '" + column.name + u"'";
    switch (column.ado_type) {
    case adDecimal:
    case adNumeric:
    case adCurrency:
        bind.precision = static_cast<int32_t>(std::min<uint64_t>(column.column_size, 38));
        bind.scale = column.decimal_digits;
        break;
    case adDBTimeStamp:
        bind.scale = column.decimal_digits;
        bind.sql_type = column.sql_type;
        break;
    case adDBTime:
        bind.sql_type = column.sql_type;
        bind.precision = static_cast<int32_t>(std::min<uint64_t>(column.column_size, 64));
        bind.scale = column.decimal_digits;
        break;
    default:
        if (!character(column.sql_type) && column.ado_type == adVarWChar) {
            bind.sql_type = column.sql_type; // SQL Server's datetimeoffset, read as text
            bind.precision = static_cast<int32_t>(std::min<uint64_t>(column.column_size, 64));
            bind.scale = column.decimal_digits;
        }
        break;
    }
    return bind;
}

namespace {

// The column's name in the statement. psqlODBC gives "oid" as xmin's origin.
Text column_name(Connection& connection, const ColumnInfo& column, Dialect dialect) {
    if (dialect == Dialect::PostgreSql && is_row_version(column, dialect)) {
        return u"xmin";
    }
    return connection.quoted(column.base_column);
}

// One "column = ?" (or IS NULL) of the WHERE clause, with its value bound.
void append_criterion(Connection& connection, Dialect dialect, const RowImage& row, size_t field,
                      Text& sql, std::vector<BindValue>& binds) {
    const ColumnInfo& column = row.columns[field];
    const Text name = column_name(connection, column, dialect);
    const Variant shown = visible(row.values[field]);
    const Variant kept = column.kept >= 0
                             ? row.values[row.columns.size() + static_cast<size_t>(column.kept)]
                             : Variant(Null{});
    BindValue bind = bind_as_column(column);
    if (kept.is_text() && dialect == Dialect::SQLite) {
        sql += u"CAST(" + name + u" AS TEXT) = ?"; // the stored text, as it was read
        bind.ado_type = adVarWChar;
        bind.sql_type = 0;
        bind.value = kept;
    } else if (kept.is_text()) {
        sql += name + u" = ?"; // a time's text, converted by the server to its column's type
        bind.ado_type = adVarWChar;
        bind.value = kept;
    } else if (exact_timestamp(kept) != nullptr) {
        sql += name + u" = ?"; // the whole fraction, as the driver gave it
        bind.value = kept;
    } else if (shown.is_null()) {
        sql += name + u" IS NULL";
        return;
    } else if (comparison_of(column, dialect) == Comparison::ServerText) {
        sql += u"CAST(" + name + u" AS TEXT) = ?";
        bind.ado_type = adVarWChar;
        bind.sql_type = 0;
        bind.value = shown.to_text();
    } else {
        sql += name + u" = ?";
        bind.value = shown;
    }
    binds.push_back(std::move(bind));
}

} // namespace

UpdateStatement update_statement(Connection& connection, const Text& schema, const Text& table,
                                 const RowImage& row, const std::map<size_t, Variant>& edits,
                                 const std::vector<size_t>& keys,
                                 const std::vector<size_t>& criteria) {
    const Dialect dialect = connection.dialect();
    UpdateStatement out;
    out.sql = u"UPDATE ";
    if (!schema.empty()) {
        out.sql += connection.quoted(schema) + u".";
    }
    out.sql += connection.quoted(table) + u" SET ";
    for (const auto& [field, value] : edits) {
        if (!out.binds.empty()) {
            out.sql += u", ";
        }
        out.sql += connection.quoted(row.columns[field].base_column) + u" = ?";
        BindValue bind = bind_as_column(row.columns[field]);
        if (value.is_object()) {
            bind.stream = std::dynamic_pointer_cast<ChunkSpool>(value.object());
        } else {
            bind.value = value;
        }
        out.binds.push_back(std::move(bind));
    }
    std::vector<size_t> compared = keys;
    for (const size_t field : criteria) {
        if (std::find(compared.begin(), compared.end(), field) == compared.end()) {
            compared.push_back(field);
        }
    }
    for (size_t k = 0; k < compared.size(); ++k) {
        out.sql += k == 0 ? u" WHERE " : u" AND ";
        append_criterion(connection, dialect, row, compared[k], out.sql, out.binds);
    }
    return out;
}

} // namespace pelto::ado
