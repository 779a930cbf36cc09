// What the registry accepts in names and nesting. Portable: no <windows.h>.
#pragma once
#include <cstddef>

namespace zentrel {

// Registry names are counted strings with 16-bit lengths: a longer name
// arrives cut to its length modulo 65,536, possibly empty, so every name is
// measured before it is passed on.
const size_t kMaxKeyNameLength = 255;
const size_t kMaxValueNameLength = 16383;
// Keys nest at most 512 levels below a hive's root, and a data source's key
// already lies four below its scope's root.
const size_t kMaxDsnDepth = 508;

}  // namespace zentrel
