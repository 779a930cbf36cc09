#include "ops/ChangeReports.h"

#include <vector>

#include "core/DsiSource.h"
#include "registry/Views.h"
#include "ops/RunContext.h"
#include "registry/OdbcSection.h"
#include "res/resource.h"

namespace {
std::vector<RegistryPlace> g_recovered;
}  // namespace

void ForgetRecoveredPlaces() { g_recovered.clear(); }

void RecoverPlaceOnce(RunContext& run, HKEY odbc, const RegistryPlace& place) {
    if (run.facts.Preview()) return;
    for (const RegistryPlace& seen : g_recovered)
        if (seen == place) return;
    g_recovered.push_back(place);
    const REGSAM view = ViewFlag(place.platform);
    for (const RecoveredChange& change : RecoverInterruptedChanges(odbc, view)) {
        const std::string source = zentrel::ShownName(change.source);
        switch (change.outcome) {
        case RecoveredChange::Undone:
            run.Remark("Warning", MB_OK | MB_ICONINFORMATION, IDS_RECOVERY_UNDONE, source);
            break;
        case RecoveredChange::Completed:
            run.Remark("Warning", MB_OK | MB_ICONINFORMATION, IDS_RECOVERY_COMPLETED, source);
            break;
        case RecoveredChange::Failed:
            if (change.source.empty()) {
                run.Fail("Warning", IDS_TEMPORARY_LEFT_OVER, change.key,
                              RunContext::SystemErrorText(change.code));
            } else {
                run.Fail("Warning", IDS_RECOVERY_FAILED, source,
                              RunContext::SystemErrorText(change.code));
            }
            break;
        default:
            // A key no journal named held nothing that was not also elsewhere.
            break;
        }
    }
}

bool ReportChange(RunContext& run, const ChangeResult& result, const std::string& source) {
    const std::string text = RunContext::SystemErrorText(result.code);
    switch (result.step) {
    case ChangeStep::None:
        if (result.leftover)
            run.Remark("Warning", MB_OK | MB_ICONINFORMATION, IDS_OLD_LEFT_OVER, zentrel::ShownName(source));
        return true;
    case ChangeStep::CreateKey:
    case ChangeStep::Journal:
        run.Fail("RegCreateKey Error", IDS_KEY_ERROR, zentrel::ShownName(source), text);
        break;
    case ChangeStep::SetAside:
    case ChangeStep::SwapIn:
        run.Fail("SHDeleteKey Error", text);
        break;
    case ChangeStep::DriverEntriesKey:
        run.Fail("RegCreateKey Error", IDS_KEY_ERROR, kDriverEntriesKey, text);
        break;
    default:
        run.Fail("RegSetValueEx2 Error", text);
        break;
    }
    return false;
}
