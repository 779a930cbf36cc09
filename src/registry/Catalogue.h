#pragma once
#include <string>

#include "core/Platform.h"

// One data source as a catalogue of its scope finds it.
struct ListedSource {
    std::string name;
    zentrel::Platform platform = zentrel::Platform::Shared;
    std::string driver;
    zentrel::DriverCheck check = zentrel::DriverCheck::Unknown;
    std::string column;  // the Platform column, once the row has been shown
};
