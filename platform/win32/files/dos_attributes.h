// The DOS attribute bits as VB's GetAttr, SetAttr and Dir know them on Windows.
#pragma once

#include "platform/filesystem.h"

namespace pelto::platform::win32 {

// The attribute bits the program knows; Windows adds others (not indexed, compressed,
// FILE_ATTRIBUTE_NORMAL ...) that VB's GetAttr and Dir never report.
constexpr uint32_t kKnownAttributes = attr::kReadOnly | attr::kHidden | attr::kSystem |
                                      attr::kDirectory | attr::kArchive | attr::kReparsePoint;
// What SetAttr can change.
constexpr uint32_t kSettableAttributes =
    attr::kReadOnly | attr::kHidden | attr::kSystem | attr::kArchive;

} // namespace pelto::platform::win32
