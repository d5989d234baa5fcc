// Stands in for the suite's installer and updater in the fault sweep
// (tests/win32/fault_sweep.cpp): it makes C:\Pelto_H\bin and C:\Pelto_H\Resource, as the
// real installer does, and ends with exit code 0. Built without the C runtime and a few
// kilobytes small: the run compares each staged program with its source byte for byte, a
// call per 64 KiB piece, and a larger stand-in would only add that same call to the sweep
// again and again.
#include <windows.h>

// Entered on a stack a 32-bit Windows aligns to 4 bytes only.
extern "C" __attribute__((force_align_arg_pointer)) void sweep_child_entry() {
    CreateDirectoryW(L"C:\\Pelto_H", nullptr);
    CreateDirectoryW(L"C:\\Pelto_H\\bin", nullptr);
    CreateDirectoryW(L"C:\\Pelto_H\\Resource", nullptr);
    ExitProcess(0);
}
