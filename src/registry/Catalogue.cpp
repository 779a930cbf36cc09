#include "registry/Catalogue.h"

#include "registry/OdbcSection.h"

std::vector<std::string> EnumerateDataSources(const RegKey& odbcIni, std::vector<std::string>* unreachable) {
    std::vector<std::string> names;
    if (!odbcIni.Valid()) return names;
    std::vector<char> buffer;
    std::string name;
    for (DWORD index = 0;; ++index) {
        if (odbcIni.EnumSubkey(index, buffer, name) != ERROR_SUCCESS) break;
        if (name.find('\0') != std::string::npos) {
            if (unreachable != nullptr) unreachable->push_back(name);
        } else if (!IsReservedDsnName(name.c_str())) {
            names.push_back(name);
        }
    }
    return names;
}
