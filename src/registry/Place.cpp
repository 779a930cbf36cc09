#include "registry/Place.h"

#include "registry/RegKey.h"

bool RegistryPlace::SameScope(const RegistryPlace& other) const {
    if (known != other.known) return false;
    return !known || ((systemScope != FALSE) == (other.systemScope != FALSE) &&
                      SameKeyName(computer.c_str(), other.computer.c_str()));
}

bool RegistryPlace::operator==(const RegistryPlace& other) const {
    return SameScope(other) && (!known || platform == other.platform);
}
