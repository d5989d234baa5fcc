// Where a column of a query's result comes from, read from the query's own text, for
// drivers that name every result column's origin by its label (Debian's SQLite3 driver
// reports the alias of "a AS b" as b's base column). Only the plainest queries are read;
// anything else counts as unknown, so that an edit never lands in a column it was not
// meant for.
#pragma once

#include "core/text.h"

namespace pelto::ado {

// Whether the result column labelled `label` of `sql` is, for certain, column `label` of
// the table `table`: `sql` selects from that one table (no join, no subquery, no
// compound query), and the column comes from a select item that is that column itself
// ("label", "table.label", a quoted name) or from "*", and no other select item could be
// labelled so (an alias, with or without AS).
bool selects_column_itself(TextView sql, TextView table, TextView label);

} // namespace pelto::ado
