// Removal of one data source, backed up first.
#pragma once
#include <string>

#include "registry/Place.h"

class RunContext;

// Removes the source at its place after writing its backup; false,
// reported, when it is gone, cannot be backed up or is not removed.
bool RemoveSource(RunContext& run, const RegistryPlace& place, const std::string& name);
