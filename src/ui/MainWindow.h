// The main dialog and the holder of all state that outlives one command: the
// registry connection, the attribute table, the DSI file, the toolbar and the
// two lists. Batch mode uses the same object without ever creating its window.
#pragma once
#include <windows.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/DsiSource.h"
#include "core/Platform.h"
#include "core/ProfileFile.h"
#include "dsi/DsiFileIo.h"
#include "framework/Framework.h"
#include "registry/Attributes.h"
#include "registry/Catalogue.h"
#include "registry/OdbcSection.h"
#include "registry/Place.h"
#include "registry/RegKey.h"
#include "ui/Prompts.h"
#include "ui/Report.h"

class SettingsDialog;

class ScopeDrivers;

// The account this process runs as ("DOMAIN\\user"), when it is not the
// one that owns the desktop's shell; empty when it is, or cannot be told.
std::string OtherAccountName();

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

    // Where a command acts on the scope: the computer of the remote-system
    // box (batch mode: of the command line) and the view the command line
    // forces; nothing is asked.
    ScopePlace PlaceOf(BOOL systemScope) const;
    // Registry connection: the scope in the program's own view.
    int ConnectOdbcIni(BOOL systemScope);
    // The connection to a place, made anew unless it is the one held;
    // FALSE, reported, when that fails.
    BOOL ConnectTo(const RegistryPlace& place);
    static std::string SystemErrorText(LONG code);

    // Keys of the window that no control handles itself; TRUE when taken.
    // The window's message loop offers it every message first.
    BOOL PreTranslateMessage(const MSG* msg);

    // Data-source catalogue. A fill keeps the current data source, and its
    // highlight, when the list still shows it; otherwise none is current.
    // The computer is the remote-system box's, or with sameComputer the one
    // the list showed (the refill after a command that worked there).
    void FillDsnList(bool sameComputer = false);
    void OnRefresh();
    LRESULT OnScopeChanged(const NMHDR* = nullptr);
    void OnSelectAll();
    void OnClearSelection();
    void OnNextTab();
    void OnPreviousTab();
    // A click on a column heading sorts by it; again, the other way round.
    // The order holds across refills.
    LRESULT OnDsnColumnClick(const NMHDR* header);
    // The status line: computer, scope, views and how many sources are listed.
    void ShowStatusLine();
    // A note after the status line (what a command did) until the next fill.
    void NoteInStatusLine(const std::string& note);
    // Names of the data sources below the connected key, reserved names
    // skipped. A name with a zero byte inside cannot be reached through the
    // platform's calls (they would reach the key its first part names): it
    // is left out, and added to *unreachable when given. So is a name
    // without an exact form in the code page, added to *uncarried (escaped).
    std::vector<std::string> EnumerateDataSources(std::vector<std::string>* unreachable = nullptr,
                                                  std::vector<std::string>* uncarried = nullptr) const;
    // The data sources of the place's scope, view by view: the System scope
    // in both views of a 64-bit Windows, or in the place's one view. Each
    // with its driver and whether that driver is installed for its platform.
    // FALSE when the first view cannot be connected (reported); a second view
    // without an ODBC section holds no sources.
    // With `later`, drivers are not read: their keys are kept there for the
    // rows that are shown.
    BOOL CatalogueScope(const ScopePlace& place, std::vector<ListedSource>& sources,
                        std::vector<std::string>* unreachable = nullptr,
                        std::unique_ptr<ScopeDrivers>* later = nullptr);
    // Reports each source that the catalogue found but cannot reach by name.
    void ReportUnreachable(const std::vector<std::string>& names, const char* caption, UINT text);
    // Where row `row` of the data-source list comes from.
    RegistryPlace RowPlace(int row) const;

    // Attribute listing: the table holds the source `subkey` below `parent`,
    // in the connected view, and what could not be listed is reported. A
    // listing always covers the whole source; the last argument is unused.
    void FillSubTree(HKEY parent, const char* subkey, const char* prefix);
    // The same without a word: the problems are kept in m_listingProblems.
    void ListSubTree(HKEY parent, const char* subkey);
    std::string ListingProblemText(const ListingProblem& problem) const;
    // Marks the rows of the keys the listing could not finish; a short text
    // of what is missing, empty when nothing is.
    std::string MarkIncompleteListing();
    LRESULT OnDsnItemChanged(const NMHDR* header);
    LRESULT OnDsnListClick(const NMHDR* header);
    // The row of the current data source in the list as it stands, or -1.
    int CurrentRow() const;
    // Makes the row current: caption line and attribute list show it.
    void ListRow(int row);
    // No data source current; caption line and attribute list empty.
    void ClearCurrent();
    // A text about a source that names its view (outside the quotes) when
    // the list holds the name in both views: viewId then takes the view too.
    // With `wrapped`, for a message box: a long name is broken into lines
    // that fit the screen.
    std::string SourceText(UINT plainId, UINT viewId, const std::string& name, const RegistryPlace& place,
                           bool wrapped = false) const;
    // The selected rows of the attribute list as name, value and type,
    // tab-separated, to the clipboard; the selected row's value shown whole.
    void OnCopyProperties();
    // The highlighted rows of the data-source list as name, driver and
    // platform, tab-separated, to the clipboard.
    void OnCopySources();
    // The selected row's value whole, in the value viewer.
    void OnViewValue();
    LRESULT OnAttributeRightClick(const NMHDR* header);
    LRESULT OnAttributeDoubleClick(const NMHDR* header);
    // A row's Platform column, with its driver check, asked for when shown:
    // a fill of thousands of rows reads no driver it does not show.
    LRESULT OnDsnListDisplayInfo(const NMHDR* header);

    // Removal.
    void OnRemove();
    // Whether the current data source is a row of the list as it now stands,
    // picked in the same scope on the same computer as the list shows.
    bool IsCurrentDsnListed() const;

    // Export.
    // A single source's file is proposed under `proposed`, else the current
    // source's name.
    BOOL BeginDsiExport(int count, BOOL askFile, const char* proposed = nullptr);
    void ExportDsn(const char* name);
    void OnExport();
    void OnExportAll();
    void OnExportSelected();
    void ExportScopeToFile(const char* file, BOOL systemScope);
    void ExportScope(const ScopePlace& place, const char* file);
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

    // The toolbar's Export drop-down and the lists' context menus.
    LRESULT OnToolBarDropDown(const NMHDR* header);
    LRESULT OnDsnListRightClick(const NMHDR* header);
    // The context menu of a list, from the keyboard: at its focused row.
    void ShowContextMenu(HWND control);

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
    void OnWindowGone() override {
        m_pTabCtrl = nullptr;
        m_fontNames.Close();
    }

    void MarkFailed() { m_bFailed = TRUE; }
    void CloseConnection();
    // Connects to the scope's view on the computer, which m_szRemoteSystem
    // then holds. Quiet: a refused connection or a missing ODBC section
    // fails without a message (a second view, whose first is reported on its own).
    int ConnectToRemoteSystem(const std::string& computer, BOOL systemScope, zentrel::Platform platform,
                              bool quiet = false);
    void CreateToolBar();
    // The list painted with the sources of a fill, all rows checked, in the
    // order chosen by a column heading.
    void ShowDataSources(std::vector<ListedSource> sources);
    // Sorts the rows by the chosen column; checks, when given, move along.
    void SortListedSources(std::vector<bool>* checks);
    void ShowSortMark();
    // A row's driver and driver check, read once, when first needed.
    void PrepareRow(ListedSource& source);
    bool NameInOtherView(const std::string& name, zentrel::Platform platform) const;
    // Highlights and focuses the row (none for -1) without listing it.
    void HighlightRow(int row);
    // Places a pop-up of the popups resource and runs its choice.
    void TrackMenu(int index, POINT screen, UINT flags);
    // The controls grow with the window; its placement and the columns'
    // widths are kept per user.
    void CaptureLayout();
    void LayoutControls();
    void SaveWindowLayout();
    void RestoreWindowLayout();
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
    // Tells the user which rows of a source are left out, and why.
    void ReportDsiSourceProblems(const zentrel::DsiSourceRows& source, const std::string& section,
                                 const std::string& dsn);

public:
    CListCtrl m_lstDataSources;
    CListCtrl m_lstAttributes;
    std::vector<AttributeRow> m_aAttributeRows;  // grows as needed; never cut
    std::vector<AttributeRow> m_shownAttributes;  // the attribute list's rows, in its order
    int m_nAttributeRows;
    HICON m_hIcon;
    CToolBar m_wndToolBar;
    CImageList m_imlToolBar;
    CTabCtrl m_tabScopes;   // bound to the tab strip while the window lives
    CTabCtrl* m_pTabCtrl;   // &m_tabScopes while the window lives, else null
    // Large enough for the longest path and key name in UTF-8.
    char m_szDsiFile[zentrel::kDsiPathBytes + 1];
    char m_szCurrentDsn[zentrel::kMaxKeyNameLength * 3 + 1];
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
    std::vector<ListingProblem> m_listingProblems;  // of the last listing
    std::string m_strIncomplete;     // what the current source's listing misses, for the lines
    std::set<std::string> m_reportedListings;  // sources told about since the last fill
    std::string m_strStatusNote;     // what the last command did, after the status line
    // The account whose User DSNs this process sees, when it is not the
    // desktop's user (an elevation with another account); else empty.
    std::string m_strOtherAccount;
    std::vector<ListedSource> m_listedSources;     // the list's rows, in order
    std::unique_ptr<ScopeDrivers> m_listedDrivers;  // for their Platform column
    std::string m_strListedDsn;      // the source of the last listing
    const std::string* m_pFillComputer;  // set by FillDsnList(true) while it runs
    int m_nSortColumn;               // -1: the registry's order
    bool m_bSortDescending;

private:
    int Show(const std::string& caption, UINT flags, const std::string& text);

    std::unique_ptr<Prompts> m_prompts;
    BOOL m_bFailed;
    FontHandle m_fontNames;  // has the glyphs of names in any script
    // An export in progress: the file, built in memory and written once at
    // the end, and the driver entries' key, opened once per connection.
    struct PendingExport {
        zentrel::ProfileFile file;
        zentrel::DsiEncoding encoding = zentrel::DsiEncoding::Ansi;  // kept when the file is written
        RegKey driverEntries;
        RegistryPlace driverEntriesPlace;
        std::string driverEntriesProblem;  // why they cannot be read; empty when they can
    };
    // Lists one source of the list's row into the table and exports it.
    void ExportListedRow(int row);
    std::unique_ptr<PendingExport> m_pendingExport;
    // The template's client size and each resized control's place in it.
    struct Anchor {
        int id;
        RECT rect;
    };
    SIZE m_sizeTemplate;
    SIZE m_sizeMinimum;
    std::vector<Anchor> m_anchors;
};
