// The dialogs of Copy to and Restore from Backup: what would happen, shown
// before anything is written, and the backups to choose from.
#pragma once
#include <string>
#include <vector>

#include "framework/Framework.h"
#include "framework/Handle.h"
#include "ops/Transfer.h"

class MainWindow;

// A text to read through, and a button that goes ahead (IDOK) or not.
class PreviewDialog : public CDialog {
public:
    PreviewDialog(CWnd* parent, std::string caption, std::string text, std::string proceed);

    std::string m_strCaption, m_strText, m_strProceed;

protected:
    BOOL OnInitDialog() override;

private:
    FontHandle m_font;
};

// The backups, newest first, and the sources of the one chosen, ticked to
// be restored. Ends with ID_RESTORE when the ticked sources of m_chosen are
// to be restored.
class RestoreDialog : public CDialog {
public:
    RestoreDialog(MainWindow& owner, std::vector<BackupEntry> backups);

    std::vector<BackupEntry> m_backups;
    int m_chosen = -1;
    std::vector<bool> m_picked;  // by the sources' order in the file

    CListCtrl m_lstBackups;
    CListCtrl m_lstSources;

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    // Enter previews: restoring is a button's, never a stray key's.
    void OnOK() override;

private:
    void ShowSources(int backup);
    bool Pick();

    MainWindow& m_owner;
    FontHandle m_font;
};
