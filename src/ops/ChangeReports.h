// What the user is told about changes with a way back: interrupted changes
// put right, and a change's step that failed.
#pragma once
#include <windows.h>

#include "registry/SafeReplace.h"

class RunContext;
struct RegistryPlace;

// The first connection of a run to a place finishes or undoes the changes
// an earlier run left there, and says so. A preview (-n) changes nothing.
void RecoverPlaceOnce(RunContext& run, HKEY odbc, const RegistryPlace& place);
// As if a new run started (tests run many in one process).
void ForgetRecoveredPlaces();

// Reports a replacement or removal that did not happen, or happened with
// its old definition left hidden, in the boxes the program has always shown
// for those steps. Returns whether the source was changed.
bool ReportChange(RunContext& run, const ChangeResult& result, const std::string& source);
