// Sources copied to another view or scope, and backups restored: both go
// through the ordinary import (its driver check, questions, backup and way
// back), from a DSI file written for the purpose.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "core/BackupNames.h"
#include "ops/Import.h"
#include "registry/Place.h"

class RunContext;

// A source where it is now.
struct PlacedSource {
    RegistryPlace place;
    std::string name;
};

// A file of the temporary folder, named `name`, deleted with this object.
class TemporaryDsi {
public:
    explicit TemporaryDsi(const std::string& name);
    ~TemporaryDsi();
    TemporaryDsi(const TemporaryDsi&) = delete;
    TemporaryDsi& operator=(const TemporaryDsi&) = delete;
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

// The lines that tell, for each source of a DSI file, the driver it names
// and whether that driver is installed for the place it would go to:
// "<name>\t<driver>\t<platform>[, driver missing]". False, reported, when
// the file cannot be read.
bool DriverCheckLines(RunContext& run, const char* file, const ScopePlace& to, std::string& lines);

// The import's preview of a file into run.where, added to `text`.
void PreviewImportText(RunContext& run, const char* file, std::string& text);

// Asked with the driver check and the preview before anything is written;
// false stops the run.
typedef std::function<bool(const std::string& checks, const std::string& preview)> TransferConfirm;

// Copies the sources into `to` (a System scope in its one view): exported
// into a temporary file, then imported with the import's questions and
// backup. Without `confirm` (a batch run) the driver check goes to the
// run's output first. The summary's file is the temporary one, gone since.
ImportSummary CopySources(RunContext& run, const std::vector<PlacedSource>& sources, const ScopePlace& to,
                          const TransferConfirm& confirm);

// The sections of a DSI file whose sources are picked (by their order in
// the file), as a file of their own; false, reported, when the file cannot
// be read or written.
bool WritePickedSources(RunContext& run, const char* file, const std::vector<bool>& picked, const char* into);

// A backup of the backup folder, as its name and content tell.
struct BackupEntry {
    std::string path, name;
    zentrel::BackupNameParts parts;
    int sources = -1;  // -1 when the file cannot be read
};
// The backups, newest first.
std::vector<BackupEntry> ListBackups();

// A source of a DSI file, where an import into the scope would put it.
struct FileSource {
    std::string name;
    zentrel::Platform platform = zentrel::Platform::Shared;
};
// The sources in the file's order; false, reported, when it cannot be read.
bool ListFileSources(RunContext& run, const char* file, bool systemScope, std::vector<FileSource>& sources);
