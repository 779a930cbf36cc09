#include "registry/Catalogue.h"

#include "registry/OdbcSection.h"

std::vector<std::string> EnumerateDataSources(const RegKey& odbcIni, std::vector<std::string>* unreachable,
                                              std::vector<std::string>* uncarried) {
    std::vector<std::string> names;
    if (!odbcIni.Valid()) return names;
    std::vector<wchar_t> buffer;
    std::string name;
    for (DWORD index = 0;; ++index) {
        const LONG code = odbcIni.EnumSubkey(index, buffer, name);
        if (code == ERROR_NO_UNICODE_TRANSLATION) {
            if (uncarried != nullptr) uncarried->push_back(name);
            continue;
        }
        if (code != ERROR_SUCCESS) break;
        if (name.find('\0') != std::string::npos) {
            if (unreachable != nullptr) unreachable->push_back(name);
        } else if (!IsReservedDsnName(name.c_str())) {
            names.push_back(name);
        }
    }
    return names;
}
