// One row of a data source's attribute listing.
#pragma once
#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

struct AttributeRow {
    std::string name;        // path below the data source's key, backslash-joined
    std::string valueText;   // display text, or "<SUBKEY>"
    std::string typeText;    // "REG_SZ", "REG_DWORD", "REG_BINARY"; empty for a nested key
    DWORD dwordValue = 0;    // meaningful when typeCode is 4
    int typeCode = 0;        // registry type, -1 for a nested key
    bool subkey = false;     // a nested key's row (a value may have type -1 too)
    size_t valueNameAt = 0;  // where the value's own name starts in `name`
    // The complete data as read, so that an export never loses what the
    // display text shortens.
    std::vector<unsigned char> data;
    // Text-type data kept as the registry stores it: not whole, exactly
    // convertible UTF-16.
    bool stored = false;
};
