#include "registry/Catalogue.h"

#include "registry/OdbcSection.h"
#include "registry/WriteFault.h"

namespace {

// What changes whenever a key is made, deleted or renamed below the section.
struct SectionState {
    DWORD subkeys = 0;
    FILETIME written = {0, 0};
    bool operator==(const SectionState& other) const {
        return subkeys == other.subkeys && written.dwLowDateTime == other.written.dwLowDateTime &&
               written.dwHighDateTime == other.written.dwHighDateTime;
    }
};

LONG StateOf(HKEY section, SectionState* state) {
    return ::RegQueryInfoKeyW(section, NULL, NULL, NULL, &state->subkeys, NULL, NULL, NULL, NULL, NULL, NULL,
                              &state->written);
}

// Enumerations of a section another run changes meanwhile before one holds.
const int kEnumerationTries = 50;

}  // namespace

std::vector<std::string> EnumerateDataSources(const RegKey& odbcIni, std::vector<std::string>* unreachable,
                                              std::vector<std::string>* uncarried, LONG* failed) {
    std::vector<std::string> names;
    if (failed != nullptr) *failed = ERROR_SUCCESS;
    if (!odbcIni.Valid()) return names;
    std::vector<wchar_t> buffer;
    std::string name;
    // By index, a key renamed or deleted meanwhile shifts the others: a
    // source that exists throughout could be skipped. So the enumeration
    // counts only when the section did not change while it ran.
    LONG code = ERROR_SUCCESS;
    for (int attempt = 0; attempt < kEnumerationTries; ++attempt) {
        names.clear();
        std::vector<std::string> zeroNames, uncarriedNames;
        SectionState before, after;
        code = StateOf(odbcIni, &before);
        for (DWORD index = 0; code == ERROR_SUCCESS; ++index) {
            code = odbcIni.EnumSubkey(index, buffer, name);
            if (index == 0) PauseAt("enumerating");
            if (code == ERROR_NO_UNICODE_TRANSLATION) {
                uncarriedNames.push_back(name);
                code = ERROR_SUCCESS;
                continue;
            }
            if (code != ERROR_SUCCESS) break;
            if (name.find('\0') != std::string::npos) {
                zeroNames.push_back(name);
            } else if (!IsReservedDsnName(name.c_str())) {
                names.push_back(name);
            }
        }
        if (code == ERROR_NO_MORE_ITEMS) code = StateOf(odbcIni, &after);
        if (code != ERROR_SUCCESS) break;
        if (before == after) {
            if (unreachable != nullptr) unreachable->insert(unreachable->end(), zeroNames.begin(), zeroNames.end());
            if (uncarried != nullptr) uncarried->insert(uncarried->end(), uncarriedNames.begin(), uncarriedNames.end());
            return names;
        }
        code = ERROR_BUSY;
    }
    if (failed != nullptr) *failed = code;
    names.clear();
    return names;
}
