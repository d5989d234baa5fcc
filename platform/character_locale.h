// The program's character-type locale. unixODBC converts the wide text of drivers without
// wide entry points (Debian's SQLite3 driver) with it, and in the "C" locale Korean names
// and values are cut short; so the character type must be UTF-8. Only LC_CTYPE is ever
// touched: numbers and dates keep the "C" forms that the program and the drivers read.
#pragma once

namespace pelto::platform {

// Makes LC_CTYPE the user's when that is UTF-8, else C.UTF-8 where the system has it (on
// Windows the user's: text crosses the system as UTF-16 there).
void use_utf8_character_locale();

} // namespace pelto::platform
