// Compare with File: the tab's scope against a DSI file, in a dialog.
#include "ui/Compare.h"

#include "ops/Compare.h"
#include "ui/CompareDialog.h"
#include "ui/DsiFileDialog.h"
#include "ui/MainWindow.h"
#include "ui/Settings.h"
#include "ui/resource.h"

CompareOutcome CompareScopeWithFile(MainWindow& window, const char* file, BOOL systemScope,
                                    std::vector<zentrel::SourceComparison>& comparisons) {
    window.where = window.PlaceOf(systemScope);
    const bool mask = g_pSettings == nullptr || g_pSettings->m_bMaskSecrets;
    return CompareScopeWithFile(static_cast<RunContext&>(window), file, comparisons, mask);
}

namespace {

// The dialog's summary line: the scope, the file and how many of each.
std::string CompareSummary(BOOL systemScope, const std::string& file, CompareOutcome outcome,
                           const std::vector<zentrel::SourceComparison>& comparisons) {
    int counts[4] = {0, 0, 0, 0};
    for (const zentrel::SourceComparison& c : comparisons) ++counts[static_cast<int>(c.status)];
    std::string summary = zentrel::FormatText(
        MainWindow::LoadText(IDS_COMPARE_SUMMARY), systemScope ? "System DSN" : "User DSN", file,
        counts[static_cast<int>(zentrel::SourceStatus::Identical)],
        counts[static_cast<int>(zentrel::SourceStatus::Differs)],
        counts[static_cast<int>(zentrel::SourceStatus::OnlyInRegistry)],
        counts[static_cast<int>(zentrel::SourceStatus::OnlyInFile)]);
    if (outcome == kCompareFailed) summary += " " + MainWindow::LoadText(IDS_COMPARE_PARTIAL);
    return summary;
}

}  // namespace

void MainWindow::OnCompare() {
    MainWindow& window = *this;
    DsiFileDialog chooser(window.GetPrompts());
    const std::string filter = MainWindow::LoadText(IDS_DSI_FILTER);
    if (!chooser.ShowOpen(filter.c_str(), "", window.OwnerWindow(), MainWindow::LoadText(IDS_COMPARE_TITLE).c_str(),
                          OFN_FILEMUSTEXIST | OFN_HIDEREADONLY))
        return;
    const std::string file = chooser.GetPathName();
    const BOOL systemScope = window.m_pTabCtrl == nullptr || window.m_pTabCtrl->GetCurSel() == 0;
    std::vector<zentrel::SourceComparison> comparisons;
    const CompareOutcome outcome = CompareScopeWithFile(window, file.c_str(), systemScope, comparisons);
    if (outcome == kCompareFailed && comparisons.empty()) return;
    const std::string summary = CompareSummary(systemScope, file, outcome, comparisons);
    CompareDialog dialog(&window, std::move(comparisons), summary);
    window.GetPrompts().RunDialog(dialog);
}
