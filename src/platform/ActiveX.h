#pragma once

#include <QString>

// Registers or unregisters the self-registering server in the library at
// `path`: the library is loaded, its export "DllRegisterServer" (mode 1) or
// "DllUnregisterServer" (any other mode) is called with no arguments, and the
// library is unloaded again whatever happened. True only when the export
// exists and its 32-bit status result is not negative; a file that cannot be
// loaded as a library gives false. A relative path is taken from the current
// folder, never looked up on the library search path; an empty path gives
// false.
bool RegisterActiveXFile(const QString& path, int mode);
