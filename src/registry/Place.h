#pragma once
#include <windows.h>

#include <string>

#include "core/Platform.h"

// Where a connection, the rows of the data-source list or the current data
// source belong: a scope on a computer, and the registry view.
struct RegistryPlace {
    bool known = false;
    BOOL systemScope = FALSE;
    std::string computer;  // as connected; empty for this computer
    zentrel::Platform platform = zentrel::Platform::Shared;
    bool operator==(const RegistryPlace& other) const;
    bool operator!=(const RegistryPlace& other) const { return !(*this == other); }
    // The same scope on the same computer, whichever view.
    bool SameScope(const RegistryPlace& other) const;
};

// Where an operation acts, as its caller knows it: built once by the caller
// (a command, the batch run, a test) and passed down, so that no operation
// reads the window or the command line for it.
struct ScopePlace {
    std::string computer;  // as typed; empty for this computer
    BOOL systemScope = FALSE;
    // The System scope in `view` only; otherwise in every view it has.
    bool oneView = false;
    zentrel::Platform view = zentrel::Platform::Shared;
    // Whether the operation may ask before it replaces or removes anything;
    // without asking it goes ahead.
    bool mayAsk = false;
};
