// Names of the backups written before sources are replaced or removed, and
// which of them to keep. Portable: no <windows.h>.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

namespace zentrel {

// How many backups a folder keeps: the newest; older ones are deleted as
// new ones are written. At a few kilobytes each this bounds the folder to a
// few megabytes while covering weeks of ordinary use.
const size_t kBackupsKept = 50;

struct BackupTime {
    int year, month, day, hour, minute, second;
};

// "<yyyymmdd-hhmmss>-<scope>.dsi", scope "user" or "system"; a later backup
// of the same second is "<yyyymmdd-hhmmss>-<scope>-<n>.dsi", n from 2. With
// a computer (a run on another one), its name as a file name can hold it comes
// before the scope: "<yyyymmdd-hhmmss>-<computer>-<scope>.dsi".
std::string BackupFileName(const BackupTime& time, bool systemScope, int attempt,
                           const std::string& computer = std::string());

// What a backup's file name says of it.
struct BackupNameParts {
    BackupTime time = {0, 0, 0, 0, 0, 0};
    std::string computer;  // as the name holds it; empty for this computer
    bool systemScope = false;
};
// False for a name BackupFileName did not make.
bool ReadBackupFileName(const std::string& name, BackupNameParts* parts);

// A file of the backup folder and when it was last written, in any unit
// that grows with time.
struct BackupFile {
    std::string name;
    unsigned long long written = 0;
};

// Of the files in a backup folder, those to delete so that `keep` backups
// of each computer (and of those named by none) stay: `latest` (the one just
// written) always, then the newest by the files' own times, since a clock
// set wrong once puts any date in a name.
// Names not made by BackupFileName are never chosen.
std::vector<std::string> BackupsBeyond(const std::vector<BackupFile>& files, size_t keep, const std::string& latest);

// Whether any part of the path is a device's name (CON, NUL, AUX, PRN,
// COM1 to COM9, LPT1 to LPT9, CONIN$, CONOUT$), in any case, with or without
// an extension: opening such a path reaches the device, never a file, and a
// port may never answer.
bool NamesDevice(const std::string& path);

}  // namespace zentrel
