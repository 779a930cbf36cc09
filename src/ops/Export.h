// Export of data sources into a DSI file. The file is built in memory, on top
// of whatever it held before, and written once when the export ends.
#pragma once
#include <string>

#include "registry/Place.h"

class RunContext;

// Starts an export of `count` sources into run.m_szDsiFile; false,
// reported, when the file is there but cannot be read faithfully.
bool BeginExport(RunContext& run, int count);
// Adds the source whose rows the run's table holds, under its name, from
// the connected place; a source that cannot travel whole is reported and
// left out. `driver`: its driver entry, when read already.
void ExportSource(RunContext& run, const std::string& name, const std::string* driver = nullptr);
// Lists the source at its place into the table, then adds it.
void ExportListed(RunContext& run, const RegistryPlace& place, const std::string& name);
// Writes the file that BeginExport and ExportSource built, once; false
// (reported) when it cannot be written.
bool FinishExport(RunContext& run);
// Every source of run.where's scope into the file; false when the file is
// not written (reported). run.m_nDsnSection then holds how many it took.
bool ExportScope(RunContext& run, const char* file);
