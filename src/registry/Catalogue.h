#pragma once
#include <string>
#include <vector>

#include "core/Platform.h"
#include "registry/RegKey.h"

// One data source as a catalogue of its scope finds it.
struct ListedSource {
    std::string name;
    zentrel::Platform platform = zentrel::Platform::Shared;
    std::string driver;
    zentrel::DriverCheck check = zentrel::DriverCheck::Unknown;
    std::string column;  // the Platform column, once the row has been shown
};

// Names of the data sources below an ODBC section key, reserved names
// skipped. A name with a zero byte inside cannot be reached through the
// platform's calls (they would reach the key its first part names): it is
// left out, and added to *unreachable when given. So is a name without an
// exact form in the code page, added to *uncarried (escaped). Sources that
// exist throughout a concurrent change are all listed; when the section
// cannot be read, or keeps changing, the list is empty and *failed (when
// given) says why.
std::vector<std::string> EnumerateDataSources(const RegKey& odbcIni, std::vector<std::string>* unreachable,
                                              std::vector<std::string>* uncarried = nullptr, LONG* failed = nullptr);
