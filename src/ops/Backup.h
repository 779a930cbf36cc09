// Backups of the data sources an import replaces or a removal deletes,
// written as export writes them, so that importing a backup restores them.
#pragma once
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

class RunContext;
struct RegistryPlace;

// A source to back up: where it is, and its name.
typedef std::pair<RegistryPlace, std::string> BackedUpSource;

// %LOCALAPPDATA%\Zentrel\Backups, created when missing. Returns 0 or the
// platform's error code.
DWORD BackupFolder(std::string& folder);

// Writes the sources (each must exist; all of one scope) into a new file of the backup folder, whose path goes to *path, and
// deletes the oldest backups beyond the number kept. False, reported, when
// the file cannot be written: the caller then changes nothing.
bool WriteBackup(RunContext& run, const std::vector<BackedUpSource>& sources, std::string* path);
