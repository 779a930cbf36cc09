#include "registry/Catalogue.h"

#include "registry/OdbcSection.h"
#include "registry/ScopeLock.h"
#include "registry/WriteFault.h"

namespace {

// Enumerations of a section another run changes meanwhile before two in a
// row agree.
const int kEnumerationTries = 20;
const DWORD kChangePollMs = 50;

// Whether another live run holds the section, waiting a moment for it
// before the next pass; false once `deadline` has passed.
bool ChangeEnding(HKEY section, ULONGLONG deadline) {
    LockHolder holder;
    if (::GetTickCount64() >= deadline || !LockedByLiveRun(section, 0, &holder) ||
        holder.process == ::GetCurrentProcessId())
        return false;
    ::Sleep(kChangePollMs);
    return true;
}

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
    // counts only once two in a row agree.
    LONG code = ERROR_SUCCESS;
    std::vector<std::string> previous;
    // Passes a live run's change keeps apart agree once it ends: waited for
    // as long as a writer waits for the lock.
    const ULONGLONG deadline = ::GetTickCount64() + ScopeLockWait();
    for (int attempt = 0; attempt < kEnumerationTries || ChangeEnding(odbcIni, deadline); ++attempt) {
        names.clear();
        std::vector<std::string> zeroNames, uncarriedNames;
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
        if (code != ERROR_NO_MORE_ITEMS) break;
        code = ERROR_SUCCESS;
        std::vector<std::string> all = names;
        all.insert(all.end(), zeroNames.begin(), zeroNames.end());
        all.insert(all.end(), uncarriedNames.begin(), uncarriedNames.end());
        if (attempt > 0 && all == previous) {
            if (unreachable != nullptr) unreachable->insert(unreachable->end(), zeroNames.begin(), zeroNames.end());
            if (uncarried != nullptr) uncarried->insert(uncarried->end(), uncarriedNames.begin(), uncarriedNames.end());
            return names;
        }
        previous = std::move(all);
    }
    if (code == ERROR_SUCCESS) code = ERROR_BUSY;
    if (failed != nullptr) *failed = code;
    names.clear();
    return names;
}
