// Import of a DSI file into a scope. The file is read once, through the
// import plan; every source it announces is written whole, replacing a
// source of the same name, or not at all.
#pragma once
#include <string>

#include "core/DsiSource.h"
#include "core/ImportPlan.h"
#include "core/ProfileFile.h"
#include "dsi/DsiFileIo.h"
#include "registry/Place.h"

class RunContext;
class Reporter;

// A DSI file read whole, as text in the ANSI code page, into the profile
// reader, with its encoding and line count; false, reported with the
// caption, when it cannot be read. `outcome`, when given, follows a text
// the file's bytes do not form.
bool ReadDsiFile(RunContext& run, const char* path, const char* caption, const char* outcome,
                 zentrel::ProfileFile& file, zentrel::DsiEncoding* encoding, long long* lines);

// A DSI file as an import reads it: its sections, its count and where its
// sources would go. Compare reads a file through the same, so that both
// judge each source alike.
struct PlannedFile {
    zentrel::ProfileFile dsi;
    zentrel::DsiFileCount count;
    zentrel::DsiImportTarget target;
};
// False, reported, when the file cannot be read.
bool ReadPlannedFile(RunContext& run, const char* path, const ScopePlace& where, const char* outcome,
                     PlannedFile& file);
// Source `index` planned whole (rows read unless refused).
zentrel::DsiSourcePlan PlanSource(const PlannedFile& file, int index);
// Why the plan refuses a source as a whole, as the user reads it.
std::string RefusalText(const zentrel::DsiSourcePlan& plan);

// Tells the user which rows of a source are left out, and why.
void ReportDsiSourceProblems(RunContext& run, const zentrel::DsiSourceRows& source, const std::string& section,
                             const std::string& dsn);

// What an import came to, for its summary.
struct ImportSummary {
    bool ran = false;  // the file was read and its sources written or left
    int count = 0;     // sources the file announces
    std::string stopSection, stopReason;  // where it stopped early, and why
    size_t firstOutcome = 0;              // the run's first outcome of this import
};
// Imports run.m_szDsiFile into the connected place's scope (each source into
// its view); askName asks a name for each source first.
ImportSummary ImportConnected(RunContext& run, bool askName);
// The file named by the caller into run.where's scope: missing, too long or
// not connectable is reported.
ImportSummary ImportNamedFile(RunContext& run, const char* path, bool askName = false);
// The box that tells a user who chose the file what came of it.
// What an import's outcomes since its start come to, and where it stopped.
struct ImportTally {
    int written = 0, replaced = 0, skipped = 0;
    std::string stopped;  // "" or a line saying where and why it stopped
};
ImportTally TallyImport(const Reporter& outcomes, const ImportSummary& summary);
void SummariseImport(RunContext& run, const ImportSummary& summary);
