// Copy to another view or scope, and Restore from Backup: each shows what the
// import would do before it writes, then imports as Import does.
#include <algorithm>
#include <cstdio>
#include <memory>

#include "core/ValueFormat.h"
#include "registry/Views.h"
#include "ui/Fonts.h"
#include "ui/MainWindow.h"
#include "ui/Settings.h"
#include "ui/TransferDialogs.h"
#include "ui/resource.h"

PreviewDialog::PreviewDialog(CWnd* parent, std::string caption, std::string text, std::string proceed)
    : CDialog(IDD_PREVIEW, parent),
      m_strCaption(std::move(caption)),
      m_strText(std::move(text)),
      m_strProceed(std::move(proceed)) {}

BOOL PreviewDialog::OnInitDialog() {
    CDialog::OnInitDialog();
    static const int kText[] = {IDC_PREVIEW_TEXT};
    m_font.Attach(CreateMessageFont());
    SetControlsFont(m_hWnd, kText, 1, m_font);
    ::SetWindowTextA(m_hWnd, m_strCaption.c_str());
    // Read whole, however long: the box's own limit is far too small.
    ::SendMessageA(GetDlgItemHwnd(IDC_PREVIEW_TEXT), EM_SETLIMITTEXT, 0, 0);
    ::SetDlgItemTextA(m_hWnd, IDC_PREVIEW_TEXT, m_strText.c_str());
    ::SetDlgItemTextA(m_hWnd, IDOK, m_strProceed.c_str());
    return TRUE;
}

RestoreDialog::RestoreDialog(MainWindow& owner, std::vector<BackupEntry> backups)
    : CDialog(IDD_RESTORE, &owner), m_backups(std::move(backups)), m_owner(owner) {}

void RestoreDialog::DoDataExchange(CDataExchange* pDX) {
    DDX_Control(pDX, IDC_RESTORE_BACKUPS, m_lstBackups);
    DDX_Control(pDX, IDC_RESTORE_SOURCES, m_lstSources);
}

namespace {

std::string TimeText(const zentrel::BackupTime& t) {
    char text[32];
    snprintf(text, sizeof(text), "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
    return text;
}

// Where a backup goes back to: its computer and scope, in every view.
ScopePlace RestorePlace(const BackupEntry& backup) {
    ScopePlace place;
    place.computer = backup.parts.computer;
    place.systemScope = backup.parts.systemScope ? TRUE : FALSE;
    place.mayAsk = g_pSettings != nullptr && g_pSettings->m_bAskImport;
    return place;
}

}  // namespace

BOOL RestoreDialog::OnInitDialog() {
    CDialog::OnInitDialog();
    static const int kNamed[] = {IDC_RESTORE_BACKUPS, IDC_RESTORE_SOURCES};
    m_font.Attach(CreateMessageFont());
    SetControlsFont(m_hWnd, kNamed, 2, m_font);
    m_lstBackups.InsertColumn(0, "Time", LVCFMT_LEFT, 130);
    m_lstBackups.InsertColumn(1, "Computer", LVCFMT_LEFT, 120);
    m_lstBackups.InsertColumn(2, "Scope", LVCFMT_LEFT, 90);
    m_lstBackups.InsertColumn(3, "Sources", LVCFMT_RIGHT, 70);
    m_lstBackups.SetExtendedStyle(LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
    m_lstSources.InsertColumn(0, "Data Source Name", LVCFMT_LEFT, 300);
    m_lstSources.InsertColumn(1, "Platform", LVCFMT_LEFT, 100);
    m_lstSources.SetExtendedStyle(LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT | LVS_EX_CHECKBOXES);
    for (size_t i = 0; i < m_backups.size(); ++i) {
        const BackupEntry& backup = m_backups[i];
        const int row = m_lstBackups.InsertItem((int)i, TimeText(backup.parts.time).c_str());
        m_lstBackups.SetItemText(row, 1, backup.parts.computer.empty() ? MainWindow::LoadText(IDS_THIS_COMPUTER).c_str()
                                                                        : backup.parts.computer.c_str());
        m_lstBackups.SetItemText(row, 2, backup.parts.systemScope ? "System DSN" : "User DSN");
        m_lstBackups.SetItemText(row, 3, backup.sources < 0 ? "?" : std::to_string(backup.sources).c_str());
    }
    if (!m_backups.empty()) m_lstBackups.SetItemState(0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    return TRUE;
}

void RestoreDialog::ShowSources(int backup) {
    m_chosen = backup;
    m_lstSources.DeleteAllItems();
    if (backup < 0 || backup >= (int)m_backups.size()) return;
    std::vector<FileSource> sources;
    const BackupEntry& entry = m_backups[backup];
    if (!ListFileSources(m_owner, entry.path.c_str(), entry.parts.systemScope, sources)) return;
    for (size_t i = 0; i < sources.size(); ++i) {
        const int row = m_lstSources.InsertItem((int)i, sources[i].name.c_str());
        m_lstSources.SetItemText(row, 1, zentrel::PlatformText(sources[i].platform));
    }
    m_lstSources.SetCheck(-1, TRUE);
}

BOOL RestoreDialog::OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result) {
    const NMLISTVIEW* change = reinterpret_cast<const NMLISTVIEW*>(lParam);
    if (change->hdr.idFrom == IDC_RESTORE_BACKUPS && change->hdr.code == LVN_ITEMCHANGED &&
        (change->uNewState & LVIS_SELECTED) != 0 && (change->uOldState & LVIS_SELECTED) == 0) {
        ShowSources(change->iItem);
        *result = 0;
        return TRUE;
    }
    return CDialog::OnNotify(wParam, lParam, result);
}

bool RestoreDialog::Pick() {
    if (m_chosen < 0 || m_chosen >= (int)m_backups.size()) {
        m_owner.Fail("Restore", IDS_NO_BACKUP_CHOSEN);
        return false;
    }
    m_picked.clear();
    for (int i = 0; i < m_lstSources.GetItemCount(); ++i) m_picked.push_back(m_lstSources.GetCheck(i) != FALSE);
    if (m_picked.empty() || std::find(m_picked.begin(), m_picked.end(), true) == m_picked.end()) {
        m_owner.Fail("Restore", IDS_NOTHING_TICKED_RESTORE);
        return false;
    }
    return true;
}

void RestoreDialog::OnOK() {
    if (Pick() && m_owner.PreviewRestore(m_backups[m_chosen], m_picked)) EndDialog(ID_RESTORE);
}

BOOL RestoreDialog::OnCommand(WPARAM wParam, LPARAM lParam) {
    if (wParam == IDC_RESTORE_PREVIEW) {
        OnOK();
        return TRUE;
    }
    if (wParam == ID_RESTORE) {
        if (Pick()) EndDialog(ID_RESTORE);
        return TRUE;
    }
    return CDialog::OnCommand(wParam, lParam);
}

void MainWindow::OnRestore() {
    RestoreDialog dialog(*this, ListBackups());
    if (GetPrompts().RunDialog(dialog) != ID_RESTORE) return;
    if (dialog.m_chosen < 0 || dialog.m_chosen >= (int)dialog.m_backups.size()) return;
    RestoreBackup(dialog.m_backups[dialog.m_chosen], dialog.m_picked);
}

namespace {

// The backup whole, or a file of its picked sources named as it is, so that
// what the import says names the backup.
struct RestoredFile {
    std::unique_ptr<TemporaryDsi> picked;
    std::string path;
    bool Make(RunContext& run, const BackupEntry& backup, const std::vector<bool>& which) {
        path = backup.path;
        if (std::find(which.begin(), which.end(), false) == which.end()) return true;
        picked.reset(new TemporaryDsi(backup.name));
        path = picked->Path();
        return WritePickedSources(run, backup.path.c_str(), which, path.c_str());
    }
};

}  // namespace

bool MainWindow::PreviewRestore(const BackupEntry& backup, const std::vector<bool>& picked) {
    RestoredFile file;
    if (!file.Make(*this, backup, picked)) return false;
    where = RestorePlace(backup);
    std::string text;
    PreviewImportText(*this, file.path.c_str(), text);
    PreviewDialog preview(this, zentrel::FormatText(LoadText(IDS_RESTORE_CAPTION), backup.name), text, "&Restore");
    return GetPrompts().RunDialog(preview) == IDOK;
}

void MainWindow::RestoreBackup(const BackupEntry& backup, const std::vector<bool>& picked) {
    RestoredFile file;
    if (!file.Make(*this, backup, picked)) return;
    where = RestorePlace(backup);
    const ImportSummary summary = ImportNamedFile(*this, file.path.c_str());
    if (!summary.ran) return;
    if (m_pTabCtrl != nullptr) FillDsnList(true);
    SummariseImport(*this, summary);
}

std::vector<PlacedSource> MainWindow::PickedSources() const {
    std::vector<PlacedSource> sources;
    const int current = CurrentRow();
    if (current >= 0) {
        sources.push_back(PlacedSource{RowPlace(current), m_szCurrentDsn});
        return sources;
    }
    for (int i = 0; i < m_lstDataSources.GetItemCount(); ++i)
        if (m_lstDataSources.GetCheck(i)) sources.push_back(PlacedSource{RowPlace(i), m_lstDataSources.GetItemText(i, 0)});
    return sources;
}

void MainWindow::CopyTo(BOOL systemScope, zentrel::Platform view) {
    ScopePlace to;
    to.computer = m_placeListed.computer;
    to.systemScope = systemScope;
    to.oneView = systemScope != FALSE;
    to.view = view;
    to.mayAsk = g_pSettings != nullptr && g_pSettings->m_bAskImport;
    const std::string target = systemScope ? zentrel::FormatText(LoadText(IDS_SCOPE_SYSTEM), zentrel::PlatformText(view))
                                           : LoadText(IDS_SCOPE_USER);
    if (systemScope && view != OwnPlatform() && !HasTwoViews()) {
        Fail("Copy", IDS_NO_SUCH_VIEW, zentrel::PlatformText(view));
        return;
    }
    std::vector<PlacedSource> sources = PickedSources();
    if (sources.empty()) {
        Fail("Copy", IDS_NO_CURRENT_ITEM);
        return;
    }
    // A source already where it would go has nothing to be copied to.
    sources.erase(std::remove_if(sources.begin(), sources.end(),
                                 [&](const PlacedSource& s) {
                                     return s.place.systemScope == systemScope &&
                                            (!systemScope || s.place.platform == view);
                                 }),
                  sources.end());
    if (sources.empty()) {
        Fail("Copy", IDS_COPY_SAME, target);
        return;
    }
    const std::string caption = zentrel::FormatText(LoadText(IDS_COPY_CAPTION), target);
    const ImportSummary summary =
        CopySources(*this, sources, to, [&](const std::string& checks, const std::string& preview) {
            PreviewDialog dialog(this, caption, zentrel::FormatText(LoadText(IDS_PREVIEW_TEXT), checks, preview), "&Copy");
            return GetPrompts().RunDialog(dialog) == IDOK;
        });
    if (!summary.ran) return;
    FillDsnList(true);
    SummariseCopy(target, summary);
}

void MainWindow::SummariseCopy(const std::string& target, const ImportSummary& summary) {
    const ImportTally tally = TallyImport(Outcomes(), summary);
    Remark("Copy", MB_OK | MB_ICONINFORMATION, IDS_COPY_SUMMARY, target, std::to_string(tally.written),
           std::to_string(tally.replaced), std::to_string(tally.skipped), tally.stopped);
}

void MainWindow::OnCopyTo32() { CopyTo(TRUE, zentrel::Platform::Bit32); }
void MainWindow::OnCopyTo64() { CopyTo(TRUE, zentrel::Platform::Bit64); }
void MainWindow::OnCopyToUser() { CopyTo(FALSE, zentrel::Platform::Shared); }
