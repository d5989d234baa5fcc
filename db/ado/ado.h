// Our ADO object model over ODBC: Connection, Recordset, Field, Command, Parameter.
#pragma once

#include "db/ado/ado_enums.h"
#include "db/ado/command.h"
#include "db/ado/connection.h"
#include "db/ado/field.h"
#include "db/ado/parameter.h"
#include "db/ado/recordset.h"
