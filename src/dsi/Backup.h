// Backups of the data sources an import replaces or a removal deletes,
// written as export writes them, so that importing a backup restores them.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

class MainWindow;

// %LOCALAPPDATA%\Zentrel\Backups, created when missing. Returns 0 or the
// platform's error code.
DWORD BackupFolder(std::string& folder);

// Writes the named sources of the connected scope and view into a new file
// of the backup folder, whose path goes to *path, and deletes the oldest
// backups beyond the number kept. False, reported, when the backup is not
// whole: the caller then changes nothing.
bool WriteBackup(MainWindow& window, const std::vector<std::string>& sources, std::string* path);
