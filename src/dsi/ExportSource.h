// One data source's section of a DSI file, as an export writes it.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "core/Platform.h"
#include "core/ProfileFile.h"
#include "registry/Attributes.h"

// A line break or a zero byte: what a profile line cannot carry.
bool HoldsLineBreak(const std::string& text);

// Writes the section: driver, name, the System scope's view when `view` is
// given, and the first `count` rows, numbered densely so that the row count
// stays exact. Rows whose name a file cannot carry are left out; their
// names are returned, in order. With `withholdSecrets` each secret value
// is left out too, and named in a comment line at the section's end.
std::vector<std::string> WriteDsiSource(zentrel::ProfileFile& file, const std::string& section,
                                        const std::string& dsn, const std::string& driver,
                                        const zentrel::Platform* view, const std::vector<AttributeRow>& rows,
                                        size_t count, bool withholdSecrets = false);
