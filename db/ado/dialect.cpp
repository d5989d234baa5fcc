#include "db/ado/dialect.h"

namespace pelto::ado {

Dialect dialect_of(TextView dbms_name) {
    if (contains(dbms_name, u"SQL Server")) {
        return Dialect::SqlServer;
    }
    if (equals_ignore_case(dbms_name, u"PostgreSQL")) {
        return Dialect::PostgreSql;
    }
    if (equals_ignore_case(dbms_name, u"SQLite")) {
        return Dialect::SQLite;
    }
    if (equals_ignore_case(dbms_name, u"ACCESS") || equals_ignore_case(dbms_name, u"MDBTOOLS")) {
        return Dialect::Jet;
    }
    return Dialect::Other;
}

} // namespace pelto::ado
