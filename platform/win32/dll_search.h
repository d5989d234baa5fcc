// Where the program's libraries come from. The program runs as administrator and may be
// started from a download folder that anyone can write to: a library found beside it
// would run with those rights. System libraries that are not KnownDLLs (odbc32.dll among
// them) are therefore looked for in System32 only.
#pragma once

namespace pelto::platform::win32 {

// Restricts the library search of this process to System32 (or, on a Windows without
// SetDefaultDllDirectories, at least drops the current folder from it). Called before
// anything else loads a library; odbc32.dll is loaded late, when the program first
// reaches a database, and by its full System32 path.
void load_libraries_from_system32_only();

} // namespace pelto::platform::win32
