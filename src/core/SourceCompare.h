// Comparing data sources as the registry holds them with those a DSI file
// holds: which are only on one side, and, value by value, how the others
// differ. Portable: no <windows.h>.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/Platform.h"

namespace zentrel {

// One row of a source: a nested key, or a value of the source's key or of a
// nested key.
struct SourceEntry {
    std::vector<std::string> levels;  // nested keys below the source's key
    bool key = false;                 // the nested key `levels` itself
    std::string valueName;
    uint32_t type = 0;
    std::vector<unsigned char> data;
    // Text-type data as the registry stores it, not converted.
    bool stored = false;
};

struct SourceDefinition {
    std::string name;
    Platform platform = Platform::Shared;
    std::string driver;
    std::vector<SourceEntry> entries;
    // A file's side: row names of the secrets it left out, which an import
    // keeps as the registry holds them; neither side's is a difference.
    std::vector<std::string> withheld;
};

enum class SourceStatus { Identical, Differs, OnlyInRegistry, OnlyInFile };
// "identical", "differs", "only in registry", "only in file".
const char* SourceStatusText(SourceStatus status);

// One entry that is not the same on both sides. A side's text is "-" when
// that side has no such entry.
struct EntryDifference {
    const char* kind;      // "driver", "key" or "value"
    std::string path;      // keys and value name joined by backslashes; empty for the driver
    std::string registry;  // the value's type, its text, and its bytes where the text would hide a difference
    std::string file;
};

struct SourceComparison {
    std::string name;
    Platform platform = Platform::Shared;
    SourceStatus status = SourceStatus::Identical;
    std::vector<EntryDifference> differences;  // the driver first, then in the registry's order
};

// A source remembered exactly: its driver and entries, names letter for
// letter and in their order, types, bytes and how the text was read.
std::array<uint8_t, 32> SourceDigest(const std::string& driver, const std::vector<SourceEntry>& entries);

// What a source is matched by: its view and its name, ASCII letters folded.
std::string SourceKey(const std::string& name, Platform platform);

// Names of keys and values compare as the registry does for ASCII letters;
// beyond ASCII exactly. A secret's side shows its type and the mask, never
// its data, unless `maskSecrets` is false.
std::vector<EntryDifference> CompareSource(const SourceDefinition& registry, const SourceDefinition& file,
                                           bool maskSecrets = true);
// Each source of the file against the registry's source of the same name in
// the same view, in the file's order (a source the file holds twice counts
// as its last), then the registry's sources the file does not hold.
std::vector<SourceComparison> CompareSources(const std::vector<SourceDefinition>& registry,
                                             const std::vector<SourceDefinition>& file, bool maskSecrets = true);

// The differences as lines, each ended by CR LF, fields separated by tabs:
//   only in file / only in registry / differs, then name and platform;
//   after a "differs" line one line per entry: kind, name, platform, path,
//   registry side, file side.
// Identical sources give no line. Control characters in texts are escaped
// as EscapeControls does, so that no field or line is split.
std::string FormatComparison(const std::vector<SourceComparison>& comparisons);
// The lines of one source's differences alone.
std::string FormatDifferences(const std::string& name, Platform platform,
                              const std::vector<EntryDifference>& differences);

}  // namespace zentrel
