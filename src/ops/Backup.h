// Backups of the data sources an import replaces or a removal deletes,
// written as export writes them, so that importing a backup restores them.
#pragma once
#include <windows.h>

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "core/SourceCompare.h"
#include "registry/Attributes.h"

class RunContext;
struct RegistryPlace;

// A source to back up: where it is, and its name, held by the caller until
// the backup is written: a large import backs up many.
struct BackedUpSource {
    const RegistryPlace& place;
    const std::string& name;
};

// %LOCALAPPDATA%\Zentrel\Backups, created when missing, its account's alone.
// Returns 0 or the platform's error code.
DWORD BackupFolder(std::string& folder);

// A source as it stood when it was read whole: a later reading that differs
// means someone changed it since.
struct SourceImage {
    std::string driver;
    // Stands for its entries, which a large import could not hold.
    std::array<uint8_t, 32> digest{};
    // Its key's stamp when read; unknown where anything in it was left out.
    KeyStamp stamp;
    // Left out of the backup, as what replaces it would write it again as
    // it is: it may be kept, never changed, on the strength of this image.
    bool leftOut = false;
    // Its driver entry holds exactly what writing the driver's text stores.
    bool driverExact = false;
    // The same driver, and entries exactly the same, names letter for letter
    // and in their order.
    bool operator==(const SourceImage& other) const;
};

// Reads the connected section's source whole into *image. False when any
// part of it cannot be read: *key says which (the source's name and the
// levels below it), *why why. *rows, when given, gets the rows as listed.
// `entries`: the driver entries' key, already opened and found no link.
// *read, when given, gets the source's entries.
bool ReadSourceImage(HKEY odbc, REGSAM view, const std::string& name, SourceImage* image, std::string* key,
                     std::string* why, std::vector<AttributeRow>* rows = nullptr, HKEY entries = NULL,
                     std::vector<zentrel::SourceEntry>* read = nullptr);

struct BackupOutcome {
    std::string path;  // empty when no source needed a file
    // Per source, in order: held whole by the backup (or read whole and
    // left out), and as it was read.
    std::vector<bool> held;
    std::vector<SourceImage> images;
};

// Whether source i, read whole, needs no backup.
typedef std::function<bool(size_t i, const SourceImage& image, const std::vector<zentrel::SourceEntry>& entries)>
    BackupNeedless;

// Writes the sources (all of one scope) into a new file of the backup
// folder, reads it back and checks each against what was read, then
// deletes the oldest backups beyond the number kept. A source the file
// cannot hold whole is reported by name and not held: the caller leaves it
// alone. False, reported, when the file cannot be written at all: the
// caller then changes nothing. A source `needless` names is read whole and
// left out of the file, its image marked so.
bool WriteBackup(RunContext& run, const std::vector<BackedUpSource>& sources, BackupOutcome* outcome,
                 const BackupNeedless& needless = nullptr);
