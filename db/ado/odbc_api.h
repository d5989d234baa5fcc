// The ODBC API, for the .cpp files of db/ado only. On Windows the ODBC headers need the
// Windows base types, so <windows.h> comes in here and nowhere else in db/. Only the
// "W" functions are called: Wine's odbc32 has no working "A" exports, and text crosses
// ODBC as UTF-16 on every system (SQLWCHAR is two bytes on both).
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

#include "core/text.h"

#include <cstddef>
#include <cstdint>
#include <sql.h>
#include <sqlext.h>

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "SQLWCHAR must be a UTF-16 code unit");

namespace pelto::ado::odbc {

// The text as the SQLWCHAR* an ODBC call takes. ODBC does not write through input
// strings; the const is dropped only because the C prototypes lack it.
inline SQLWCHAR* wide(const Text& text) {
    return reinterpret_cast<SQLWCHAR*>(const_cast<char16_t*>(text.c_str()));
}

inline SQLWCHAR* wide_buffer(char16_t* buffer) {
    return reinterpret_cast<SQLWCHAR*>(buffer);
}

// ODBC passes integer attribute values (and data-at-execution tokens) in its pointer
// argument; this is the one place that turns the integer into that pointer.
inline SQLPOINTER integer_argument(uintptr_t value) {
    return reinterpret_cast<SQLPOINTER>(value); // NOLINT(performance-no-int-to-ptr)
}

// Text of a NUL-terminated buffer of at most `capacity` units. Lengths that drivers
// report beside such buffers are not trusted: through unixODBC, a driver without
// wide entry points reports column-name lengths in UTF-8 bytes.
inline size_t units_before_nul(const char16_t* buffer, size_t capacity) {
    size_t n = 0;
    while (n < capacity && buffer[n] != 0) {
        ++n;
    }
    return n;
}
inline Text text_of(const char16_t* buffer, size_t capacity) {
    return Text(buffer, units_before_nul(buffer, capacity));
}

} // namespace pelto::ado::odbc
