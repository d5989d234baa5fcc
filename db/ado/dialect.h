// The kind of server behind a connection, as far as the ADO layer must tell them apart:
// how a change is made undoable, which columns a server can compare, and how a driver
// reports integers and values it cannot hand back exactly.
#pragma once

#include "core/text.h"

namespace pelto::ado {

enum class Dialect {
    SqlServer,  // SAVE TRANSACTION, nested BEGIN/COMMIT TRANSACTION
    PostgreSql, // savepoints inside a transaction block only
    SQLite,     // savepoints inside and outside a transaction; values stored as text
    Jet,        // MDBTools, the Access driver: 32-bit integers only
    Other,
};

// The dialect of the DBMS a driver names (SQL_DBMS_NAME).
Dialect dialect_of(TextView dbms_name);

} // namespace pelto::ado
