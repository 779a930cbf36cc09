// Removal of data sources, backed up first.
#pragma once
#include <string>
#include <vector>

#include "core/CommandLine.h"
#include "registry/Place.h"

class RunContext;

// Removes the source at its place after writing its backup; false,
// reported, when it is gone, cannot be backed up or is not removed.
bool RemoveSource(RunContext& run, const RegistryPlace& place, const std::string& name);

// Removes the sources at one place after writing one backup of them all;
// how many were removed. Each one gone, not held whole by the backup,
// changed meanwhile or not removed is reported and left. *backupPath gets
// the backup's file, empty when none was written.
size_t RemoveSources(RunContext& run, const RegistryPlace& place, const std::vector<std::string>& names,
                     std::string* backupPath = nullptr);

// The batch removal: each name (none read from a file) from its scope on
// the run's computer, in every view the scope has there (-p32/-p64: that
// one), without a question; a preview (-n) prints what it would remove.
// A name that is no data source's is refused, one not there is told.
// Returns how many were removed; anything refused or failed fails the run.
int RemoveNamedSources(RunContext& run, const std::vector<zentrel::RemovalSwitch>& names);
