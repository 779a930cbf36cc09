// The main dialog and the holder of all state that outlives one command: the
// registry connection, the attribute table, the DSI file, the toolbar and the
// two lists. Batch mode uses the same object without ever creating its window.
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "dsi/DsiFileIo.h"
#include "dsi/DsiSource.h"
#include "dsi/ProfileFile.h"
#include "framework/Framework.h"
#include "registry/OdbcSection.h"
#include "registry/Platform.h"
#include "registry/RegKey.h"
#include "ui/Prompts.h"
#include "ui/Report.h"

class SettingsDialog;

struct AttributeRow {
    std::string name;        // path below the data source's key, backslash-joined
    std::string valueText;   // display text, or "<SUBKEY>"
    std::string typeText;    // "REG_SZ", "REG_DWORD", "REG_BINARY"; empty for a nested key
    DWORD dwordValue = 0;    // meaningful when typeCode is 4
    int typeCode = 0;        // registry type, -1 for a nested key
    bool subkey = false;     // a nested key's row (a value may have type -1 too)
    size_t valueNameAt = 0;  // where the value's own name starts in `name`
    // The complete data as read, so that an export never loses what the
    // display text shortens.
    std::vector<unsigned char> data;
};

// Where a connection, the rows of the data-source list or the current data
// source belong: a scope on a computer, and the registry view.
struct RegistryPlace {
    bool known = false;
    BOOL systemScope = FALSE;
    std::string computer;  // as connected; empty for this computer
    zentrel::Platform platform = zentrel::Platform::Shared;
    bool operator==(const RegistryPlace& other) const;
    bool operator!=(const RegistryPlace& other) const { return !(*this == other); }
    // The same scope on the same computer, whichever view.
    bool SameScope(const RegistryPlace& other) const;
};

// One data source as a catalogue of its scope finds it.
struct ListedSource {
    std::string name;
    zentrel::Platform platform = zentrel::Platform::Shared;
    std::string driver;
    zentrel::DriverCheck check = zentrel::DriverCheck::Unknown;
    std::string column;  // the Platform column, once the row has been shown
};

class ScopeDrivers;

// Two questions look alike and are not the same:
// - TheApp().m_bBatchMode: does this run have a window at all? It decides
//   where the computer name comes from, whether a file chooser can be shown
//   and whether the list is refilled after an import.
// - g_pSettings == nullptr: is there anybody to confirm with? Without the
//   settings object (batch mode, or before the window's initialisation) no
//   confirmation is asked.
extern SettingsDialog* g_pSettings;
extern HINSTANCE g_hInstance;

class MainWindow : public CDialog {
public:
    explicit MainWindow(CWnd* parent = nullptr);
    ~MainWindow() override;

    // Replaces the prompt implementation (tests script their answers); the
    // one replaced is handed back.
    std::unique_ptr<Prompts> SetPrompts(std::unique_ptr<Prompts> prompts);
    Prompts& GetPrompts() { return *m_prompts; }
    // Owner of message boxes: none in batch mode, where the window never exists.
    HWND OwnerWindow() const { return m_hWnd; }
    // The reporting funnel: shows text through the prompts and returns the
    // answer. A box with the stop icon records that the run did not
    // complete; after a question the caller decides.
    int Report(const std::string& caption, UINT flags, const std::string& text);
    // The same with the text formatted from a string resource.
    template <class... Args>
    int Report(const std::string& caption, UINT flags, UINT textId, const Args&... args) {
        return Report(caption, flags, zentrel::FormatText(LoadText(textId), args...));
    }
    // The same box for an outcome that still counts as complete.
    template <class... Args>
    int Remark(const std::string& caption, UINT flags, UINT textId, const Args&... args) {
        return Show(caption, flags, zentrel::FormatText(LoadText(textId), args...));
    }
    // A string resource, empty when missing.
    static std::string LoadText(UINT id);

    // Registry connection: the scope in the program's own view.
    int ConnectOdbcIni(BOOL systemScope);
    // The connection to a place, made anew unless it is the one held;
    // FALSE, reported, when that fails.
    BOOL ConnectTo(const RegistryPlace& place);
    static std::string SystemErrorText(LONG code);

    // Data-source catalogue.
    void FillDsnList();
    void OnRefresh();
    LRESULT OnScopeChanged(const NMHDR* = nullptr);
    void OnSelectAll();
    void OnClearSelection();
    // Names of the data sources below the connected key, reserved names
    // skipped. A name with a zero byte inside cannot be reached through the
    // platform's calls (they would reach the key its first part names): it
    // is left out, and added to *unreachable when given.
    std::vector<std::string> EnumerateDataSources(std::vector<std::string>* unreachable = nullptr) const;
    // The data sources of a scope on the computer of the remote-system box
    // (batch mode: of the command line), view by view: the System scope in
    // both views of a 64-bit Windows, or in `only` when given. Each with its
    // driver and whether that driver is installed for its platform. FALSE
    // when the first view cannot be connected (reported); a second view
    // without an ODBC section holds no sources.
    // With `later`, drivers are not read: their keys are kept there for the
    // rows that are shown.
    BOOL CatalogueScope(BOOL systemScope, const zentrel::Platform* only, std::vector<ListedSource>& sources,
                        std::vector<std::string>* unreachable = nullptr,
                        std::unique_ptr<ScopeDrivers>* later = nullptr);
    // Where row `row` of the data-source list comes from.
    RegistryPlace RowPlace(int row) const;

    // Attribute listing.
    void FillSubTree(HKEY parent, const char* subkey, const char* prefix);
    LRESULT OnDsnItemChanged(const NMHDR* header);
    // A row's Platform column, with its driver check, asked for when shown:
    // a fill of thousands of rows reads no driver it does not show.
    LRESULT OnDsnListDisplayInfo(const NMHDR* header);

    // Removal.
    void OnRemove();
    // Whether the current data source is a row of the list as it now stands,
    // picked in the same scope on the same computer as the list shows.
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

    // Import. systemScope counts only with a file named by the caller: a
    // file from the chooser goes into the scope of the tab.
    void ImportDsiFile(BOOL askName, const char* file, BOOL systemScope);
    void OnImport();
    void OnImportAs();
    // Compare with File: the tab's scope against a DSI file, in a dialog.
    void OnCompare();

    // The toolbar's Export drop-down and the list's context menu.
    LRESULT OnToolBarDropDown(const NMHDR* header);
    LRESULT OnDsnListRightClick(const NMHDR* header);

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
    void OnWindowGone() override { m_pTabCtrl = nullptr; }

    void MarkFailed() { m_bFailed = TRUE; }
    void CloseConnection();
    // The computer of the remote-system box, or in batch mode of the command
    // line, into m_szRemoteSystem.
    void ReadRemoteSystem();
    // Connects to the scope's view on the computer named in m_szRemoteSystem.
    // Quiet: a refused connection or a missing ODBC section fails without a
    // message (a second view, whose first is reported on its own).
    int ConnectToRemoteSystem(BOOL systemScope, zentrel::Platform platform, bool quiet = false);
    void CreateToolBar();
    // The list painted with the sources of a fill, all rows checked.
    void ShowDataSources(std::vector<ListedSource> sources);
    // The attribute list painted with the rows of the table.
    void ShowAttributeRows();
    // A file that cannot be used: "File: '<path>'", the platform's text and
    // the detail, when there is one, on a line of its own.
    void ReportFileError(const char* path, DWORD code, const char* caption, const std::string& detail = std::string());
    // A DSI file read whole, as text in the ANSI code page, into the profile
    // reader, with its encoding and line count; false, reported with the
    // caption and what follows for the file, when it cannot be read.
    bool ReadDsiFile(const char* path, const char* caption, const char* outcome, zentrel::ProfileFile& file,
                     zentrel::DsiEncoding* encoding, long long* lines);
    // Writes the checked rows of one source of a DSI file into its new key;
    // false, reported, at the first that cannot be written.
    bool ImportDsiRows(HKEY key, const zentrel::DsiSourceRows& source, const std::string& dsn);
    // Tells the user which rows of a source are left out, and why.
    void ReportDsiSourceProblems(const zentrel::DsiSourceRows& source, const std::string& section,
                                 const std::string& dsn);

public:
    CListCtrl m_lstDataSources;
    CListCtrl m_lstAttributes;
    std::vector<AttributeRow> m_aAttributeRows;  // grows as needed; never cut
    int m_nAttributeRows;
    HICON m_hIcon;
    CToolBar m_wndToolBar;
    CImageList m_imlToolBar;
    CTabCtrl m_tabScopes;   // bound to the tab strip while the window lives
    CTabCtrl* m_pTabCtrl;   // &m_tabScopes while the window lives, else null
    char m_szDsiFile[261];
    char m_szCurrentDsn[261];
    char m_szHelpFile[261];
    char m_szRemoteSystem[261];
    // Released by CloseConnection in this order: the root, then the section.
    RegKey m_hRootKey;
    RegKey m_hOdbcIniKey;
    RegKey m_hDsnKey;       // open only while an import writes the source's rows
    int m_nDsnSection;
    BOOL m_bFilling;
    RegistryPlace m_placeConnected;  // of the connection held
    RegistryPlace m_placeListed;     // of the data-source list's rows
    RegistryPlace m_placeCurrent;    // where the current data source was picked
    // The last listing left keys out (a registry link, or nesting too deep):
    // the table does not hold the whole source.
    BOOL m_bListingIncomplete;
    std::vector<ListedSource> m_listedSources;     // the list's rows, in order
    std::unique_ptr<ScopeDrivers> m_listedDrivers;  // for their Platform column
    std::string m_strListedDsn;      // the source of the last listing

private:
    int Show(const std::string& caption, UINT flags, const std::string& text);

    std::unique_ptr<Prompts> m_prompts;
    BOOL m_bFailed;
    // An export in progress: the file, built in memory and written once at
    // the end, and the driver entries' key, opened once per connection.
    struct PendingExport {
        zentrel::ProfileFile file;
        zentrel::DsiEncoding encoding = zentrel::DsiEncoding::Ansi;  // kept when the file is written
        RegKey driverEntries;
        RegistryPlace driverEntriesPlace;
    };
    // Lists one source of the list's row into the table and exports it.
    void ExportListedRow(int row);
    std::unique_ptr<PendingExport> m_pendingExport;
};
