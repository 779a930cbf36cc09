// Compare: the data sources of a scope against those of a DSI file, and the
// import's preview, which compares what it would write with what is there.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "core/DsiSource.h"
#include "core/SourceCompare.h"
#include "registry/Attributes.h"

class RunContext;

// How a comparison ended: the batch run's exit code.
enum CompareOutcome { kCompareIdentical = 0, kCompareDiffers = 1, kCompareFailed = 2 };

// Compares run.where's scope (the System scope in both views unless the
// place names one) with the file. Sources that cannot be read whole on
// either side are reported and make the outcome kCompareFailed; the others
// are still compared. A secret's data is shown only when maskSecrets is false.
CompareOutcome CompareScopeWithFile(RunContext& run, const char* file,
                                    std::vector<zentrel::SourceComparison>& comparisons, bool maskSecrets = true);

// The definition import would write for each source of a file, in the
// file's order, for run.where's scope, read through the import's plan;
// false, reported, when the file cannot be read at all. A section the plan
// refuses is reported and *refused set; *unread, when given, gets its name
// and view.
bool ReadFileSources(RunContext& run, const char* file, std::vector<zentrel::SourceDefinition>& sources,
                     bool* refused, std::vector<zentrel::SourceDefinition>* unread = nullptr);

// One line of an import's preview: what would happen, the source, its
// platform and, for a refused one, why.
std::string PreviewLine(const char* what, const std::string& name, zentrel::Platform platform,
                        const std::string& reason = std::string());
// The preview of a source import would write into the connected place:
// new, identical, or replace followed by the entries that would change.
std::string PreviewSource(RunContext& run, const std::string& name, zentrel::Platform platform,
                          const std::string& driver, const zentrel::DsiSourceRows& rows, bool replaces);

// A source's listed rows (the first `count`), and the rows a file gives it,
// as the entries a comparison takes.
std::vector<zentrel::SourceEntry> EntriesOf(const std::vector<AttributeRow>& rows, size_t count);
std::vector<zentrel::SourceEntry> FileEntries(const zentrel::DsiSourceRows& rows);
