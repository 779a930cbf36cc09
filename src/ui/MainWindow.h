// The main dialog and the holder of all state that outlives one command: the
// registry connection, the attribute table, the DSI file, the toolbar and the
// two lists. Batch mode uses the same object without ever creating its window.
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "dsi/ProfileFile.h"
#include "framework/Framework.h"
#include "registry/RegKey.h"
#include "ui/Prompts.h"

class SettingsDialog;

struct AttributeRow {
    std::string name;        // path below the data source's key, backslash-joined
    std::string valueText;   // display text, or "<SUBKEY>"
    std::string typeText;    // "REG_SZ", "REG_DWORD", "REG_BINARY"; empty for a nested key
    DWORD dwordValue = 0;    // meaningful when typeCode is 4
    int typeCode = 0;        // registry type, -1 for a nested key
    // The complete data as read, so that an export never loses what the
    // display text shortens.
    std::vector<unsigned char> data;
};

extern SettingsDialog* g_pSettings;
extern HINSTANCE g_hInstance;

class MainWindow : public CDialog {
public:
    explicit MainWindow(CWnd* parent = nullptr);
    ~MainWindow() override;

    // Replaces the prompt implementation (tests script their answers).
    void SetPrompts(std::unique_ptr<Prompts> prompts);
    Prompts& GetPrompts() { return *m_prompts; }
    // Owner of message boxes: none in batch mode, where the window never exists.
    HWND OwnerWindow() const { return m_hWnd; }
    int Message(const char* text, const char* caption, UINT type);
    // A string resource, empty when missing.
    static std::string LoadText(UINT id);

    // Registry connection.
    int ConnectOdbcIni(BOOL systemScope);
    static std::string SystemErrorText(LONG code);

    // Data-source catalogue.
    void FillDsnList();
    void OnRefresh();
    LRESULT OnScopeChanged();
    void OnSelectAll();
    void OnClearSelection();
    // Names of the data sources below the connected key, reserved names skipped.
    std::vector<std::string> EnumerateDataSources() const;

    // Attribute listing.
    void FillSubTree(HKEY parent, const char* subkey, const char* prefix);
    LRESULT OnDsnItemChanged(const NMLISTVIEW* change);

    // Removal.
    void OnRemove();
    // Whether the current data source is a row of the list as it now stands.
    bool IsCurrentDsnListed() const;

    // Export.
    BOOL BeginDsiExport(int count, BOOL askFile);
    void ExportDsn(const char* name);
    void OnExport();
    void OnExportAll();
    void OnExportSelected();
    void ExportScopeToFile(const char* file, BOOL systemScope);
    // Writes the file that BeginDsiExport and ExportDsn built, once; FALSE
    // (reported) when it cannot be written.
    BOOL FinishDsiExport();

    // Import.
    void ImportDsiFile(BOOL askName, const char* file, BOOL systemScope);
    void OnImport();
    void OnImportAs();

    // Companion tools and help.
    void OnOdbcAdministrator();
    void MailSupport();
    int LaunchProduct(int index);
    void OnAbout();
    virtual BOOL ShowHelp();

    // Whether every operation asked for so far completed (batch exit code).
    BOOL Succeeded() const { return !m_bFailed; }
    void ResetOutcome() { m_bFailed = FALSE; }

    BOOL OnInitDialog() override;
    void OnOK() override;

protected:
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    BOOL OnCmdMsg(UINT id) override;
    BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    BOOL OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    void DoDataExchange(CDataExchange* pDX) override;

    void MarkFailed() { m_bFailed = TRUE; }
    void CloseConnection();
    void CreateToolBar();
    LRESULT OnToolBarDropDown(const NMTOOLBARA* notify);
    LRESULT OnDsnListRightClick(const NMITEMACTIVATE* click);
    // A file that cannot be used: "File: '<path>'" and the platform's text.
    void ReportFileError(const char* path, DWORD code, const char* caption);
    // The rows of one source of a DSI file, into m_hDsnKey. maxRows bounds
    // how many rows the file can hold at all.
    void ImportDsiRows(const zentrel::ProfileFile& file, const std::string& section, const std::string& dsn,
                       long long maxRows);

public:
    CListCtrl m_lstDataSources;
    CListCtrl m_lstAttributes;
    std::vector<AttributeRow> m_aAttributeRows;  // grows as needed; never cut
    int m_nAttributeRows;
    HICON m_hIcon;
    CToolBar m_wndToolBar;
    CImageList m_imlToolBar;
    CWnd* m_pTabCtrl;
    char m_szDsiFile[261];
    char m_szCurrentDsn[261];
    char m_szHelpFile[261];
    char m_szRemoteSystem[261];
    HKEY m_hRootKey;
    HKEY m_hOdbcIniKey;
    HKEY m_hDsnKey;
    int m_nDsnSection;
    BOOL m_bFilling;

private:
    std::unique_ptr<Prompts> m_prompts;
    BOOL m_bFailed;
    // An export in progress: the file, built in memory and written once at
    // the end, and the driver entries' key, opened once for all its sources.
    struct PendingExport {
        zentrel::ProfileFile file;
        RegKey driverEntries;
        bool driverEntriesTried = false;
    };
    std::unique_ptr<PendingExport> m_pendingExport;
};

// The registry path of the ODBC section below a scope's root.
extern const char kOdbcIniPath[];
// The subkey of the ODBC section whose values name each source's driver.
extern const char kDriverEntriesKey[];
// Subkeys of the ODBC section that are not data sources.
extern const char* const kReservedDsnNames[3];
// Whether a subkey name is one of them, compared as the list shows them.
bool IsReservedDsnName(const char* name);
