// Values placed into ODBC connection strings ("PWD=...").
#pragma once

#include "core/text.h"

namespace pelto::platform {

// `value` as an ODBC attribute value: in braces (closing braces doubled) when it holds a
// character that would end it or start another attribute, or blanks at either end that a
// driver would drop, so that a password with ";" can never add attributes of its own.
// Only for drivers that read braces (the driver managers, SQL Server, FreeTDS).
Text odbc_value(TextView value);

} // namespace pelto::platform
