#include "ui/ChangeReports.h"

#include <vector>

#include "app/ManagerApp.h"
#include "core/DsiSource.h"
#include "registry/Views.h"
#include "ui/MainWindow.h"
#include "ui/resource.h"

namespace {
std::vector<RegistryPlace> g_recovered;
}  // namespace

void ForgetRecoveredPlaces() { g_recovered.clear(); }

void RecoverPlaceOnce(MainWindow& window, HKEY odbc, const RegistryPlace& place) {
    if (TheApp().m_bBatchMode && TheApp().m_bPreview) return;
    for (const RegistryPlace& seen : g_recovered)
        if (seen == place) return;
    g_recovered.push_back(place);
    const REGSAM view = ViewFlag(place.platform);
    for (const RecoveredChange& change : RecoverInterruptedChanges(odbc, view)) {
        const std::string source = zentrel::ShownName(change.source);
        switch (change.outcome) {
        case RecoveredChange::Undone:
            window.Remark("Warning", MB_OK | MB_ICONINFORMATION, IDS_RECOVERY_UNDONE, source);
            break;
        case RecoveredChange::Completed:
            window.Remark("Warning", MB_OK | MB_ICONINFORMATION, IDS_RECOVERY_COMPLETED, source);
            break;
        case RecoveredChange::Failed:
            if (change.source.empty()) {
                window.Report("Warning", MB_OK | MB_ICONSTOP, IDS_TEMPORARY_LEFT_OVER, change.key,
                              MainWindow::SystemErrorText(change.code));
            } else {
                window.Report("Warning", MB_OK | MB_ICONSTOP, IDS_RECOVERY_FAILED, source,
                              MainWindow::SystemErrorText(change.code));
            }
            break;
        default:
            // A key no journal named held nothing that was not also elsewhere.
            break;
        }
    }
}

bool ReportChange(MainWindow& window, const ChangeResult& result, const std::string& source) {
    const std::string text = MainWindow::SystemErrorText(result.code);
    switch (result.step) {
    case ChangeStep::None:
        if (result.leftover)
            window.Remark("Warning", MB_OK | MB_ICONINFORMATION, IDS_OLD_LEFT_OVER, zentrel::ShownName(source));
        return true;
    case ChangeStep::CreateKey:
    case ChangeStep::Journal:
        window.Report("RegCreateKey Error", MB_OK | MB_ICONSTOP, IDS_KEY_ERROR, zentrel::ShownName(source), text);
        break;
    case ChangeStep::SetAside:
    case ChangeStep::SwapIn:
        window.Report("SHDeleteKey Error", MB_OK | MB_ICONSTOP, text);
        break;
    case ChangeStep::DriverEntriesKey:
        window.Report("RegCreateKey Error", MB_OK | MB_ICONSTOP, IDS_KEY_ERROR, kDriverEntriesKey, text);
        break;
    default:
        window.Report("RegSetValueEx2 Error", MB_OK | MB_ICONSTOP, text);
        break;
    }
    return false;
}
