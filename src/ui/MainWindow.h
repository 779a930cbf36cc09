// The main dialog: the toolbar, the two lists and what they show. It is the
// run context of its own commands (the connection, the attribute table, the
// DSI file); the batch run has a context of its own and no window.
#pragma once
#include <windows.h>

#include <map>
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
#include "ops/RunContext.h"

class SettingsDialog;
struct BackupEntry;
struct ImportSummary;
struct PlacedSource;

class ScopeDrivers;

// The account this process runs as ("DOMAIN\\user"), when it is not the
// one that owns the desktop's shell; empty when it is, or cannot be told.
std::string OtherAccountName();

// Two questions look alike and are not the same:
// - facts.Batch(): does this run have a window at all? It decides where the
//   computer name comes from, whether a file chooser can be shown and
//   whether the list is refilled after an import.
// - g_pSettings == nullptr: is there anybody to confirm with? Without the
//   settings object (before the window's initialisation) no confirmation is
//   asked.
extern SettingsDialog* g_pSettings;
extern HINSTANCE g_hInstance;

// The window is the run context of its commands: each command sets where it
// acts and calls the operation.
class MainWindow : public CDialog, public RunContext {
public:
    explicit MainWindow(CWnd* parent = nullptr);
    ~MainWindow() override;

    // Where a command acts on the scope: the computer of the remote-system
    // box (batch mode: of the command line) and the view the command line
    // forces; nothing is asked.
    ScopePlace PlaceOf(BOOL systemScope) const;
    HWND OwnerWindow() const override { return m_hWnd; }
    bool AskSourceName(std::string& name, const std::string& caption) override;
    // Registry connection: the scope in the program's own view.
    int ConnectOdbcIni(BOOL systemScope);

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
    // in the connected view, and what could not be listed is reported.
    void FillSubTree(HKEY parent, const char* subkey);
    // The same without a word: the problems are kept in m_listingProblems.
    void ListSubTree(HKEY parent, const char* subkey);
    std::string ListingProblemText(const ListingProblem& problem) const;
    // Marks the rows of the keys the listing could not finish; a short text
    // of what is missing, empty when nothing is.
    std::string MarkIncompleteListing();
    LRESULT OnDsnItemChanged(const NMHDR* header);
    LRESULT OnDsnListClick(const NMHDR* header);
    // Focus that comes to a list without a focused row marks its top row.
    LRESULT OnDsnListFocus(const NMHDR* header);
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
    // Whether row `row` of the attribute list is a secret shown as the mask:
    // the setting hides secrets and it has not been revealed.
    bool SecretMasked(int row) const;
    // The selected rows' secrets shown, copied and viewed as they are,
    // until the source is listed again.
    void OnRevealSecret();
    // The attribute list's value cells, each masked or not, as it stands.
    void ShowValueCells();
    // Whether the exports from now on leave secrets out (a check mark).
    void OnWithholdSecrets();
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
    // Whose User DSNs another computer's User tab shows: an account named
    // (empty: the running account's), and those whose are loaded there.
    void OnUserAccount();
    void OnLoadedAccounts();
    void ShowWaiting(const std::string& text) override;

    // Copy to: the highlighted source (with none, the ticked ones) into
    // another view or scope, through the import, after its preview.
    void OnCopyTo32();
    void OnCopyTo64();
    void OnCopyToUser();
    void CopyTo(BOOL systemScope, zentrel::Platform view);
    std::vector<PlacedSource> PickedSources() const;
    void SummariseCopy(const std::string& target, const ImportSummary& summary);
    // Restore from Backup: the picked sources of a backup into its
    // computer and scope, through the import; the preview first when asked
    // for (true: go ahead).
    void OnRestore();
    bool PreviewRestore(const BackupEntry& backup, const std::vector<bool>& picked);
    void RestoreBackup(const BackupEntry& backup, const std::vector<bool>& picked);
    // Find (over names and drivers of the rows shown, from the current one
    // on) and the filter box, which shows only the rows that hold its text.
    void OnFind();
    void OnFindNext();
    void ApplyFilter();
    std::string FilterText() const;
    // The rows of the fill that the filter lets through, painted; ticks
    // kept for rows it hides.
    void ShowFilteredRows();
    bool RowHolds(ListedSource& source, const std::string& part);

    // The toolbar's Export drop-down and the lists' context menus.
    LRESULT OnToolBarDropDown(const NMHDR* header);
    LRESULT OnListRightClick(const NMHDR* header);
    // The context menu of a list, from the keyboard: at its focused row.
    void ShowContextMenu(HWND control);

    // Companion tools and help.
    void OnOdbcAdministrator();
    void MailSupport();
    int LaunchProduct(int index);
    void OnAbout();
    virtual BOOL ShowHelp();

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
    void OnUnexpected(const char* what) override;

    void CreateToolBar();
    // Toolbar buttons and images, fonts, column widths and layout at the new scale.
    void ScaleToolBar();
    void OnDpiChanged(UINT oldDpi) override;
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
    // The template's sizes and the controls' places from one scale to another.
    void ScaleLayout(UINT oldDpi);
    // The attribute list painted with the rows of the table.
    void ShowAttributeRows();
    // The file chosen for an import and the place of the tab, connected;
    // false when cancelled or not connectable.
    bool ChooseImport(BOOL systemScope);

public:
    CListCtrl m_lstDataSources;
    CListCtrl m_lstAttributes;
    std::vector<AttributeRow> m_shownAttributes;  // the attribute list's rows, in its order
    std::vector<bool> m_revealedSecrets;          // of those rows, the secrets shown as they are
    HICON m_hIcon;
    CToolBar m_wndToolBar;
    CImageList m_imlToolBar;
    CTabCtrl m_tabScopes;   // bound to the tab strip while the window lives
    CTabCtrl* m_pTabCtrl;   // &m_tabScopes while the window lives, else null
    // Large enough for the longest key name in UTF-8.
    char m_szCurrentDsn[zentrel::kMaxKeyNameLength * 3 + 1];
    char m_szHelpFile[261];
    BOOL m_bFilling;
    RegistryPlace m_placeListed;     // of the data-source list's rows
    RegistryPlace m_placeCurrent;    // where the current data source was picked
    std::string m_strIncomplete;     // what the current source's listing misses, for the lines
    std::set<std::string> m_reportedListings;  // sources told about since the last fill
    std::string m_strStatusNote;     // what the last command did, after the status line
    // The account whose User DSNs this process sees, when it is not the
    // desktop's user (an elevation with another account); else empty.
    std::string m_strOtherAccount;
    // Whose hive the list's User DSNs came from on another computer; else empty.
    std::string m_strListedAccount;
    std::vector<ListedSource> m_listedSources;     // the list's rows, in order
    std::vector<ListedSource> m_allSources;        // every source of the fill, shown or filtered out
    std::map<std::string, bool> m_ticks;           // of rows the filter hid, by name and view
    std::string m_strFind;                         // what Find looks for
    std::unique_ptr<ScopeDrivers> m_listedDrivers;  // for their Platform column
    const std::string* m_pFillComputer;  // set by FillDsnList(true) while it runs
    int m_nSortColumn;               // -1: the registry's order
    bool m_bSortDescending;
    bool m_bEndsLoop;  // the program's own window: its end ends the message loop

private:
    FontHandle m_fontNames;  // has the glyphs of names in any script
    // Lists one source of the list's row into the table and exports it.
    void ExportListedRow(int row);
    // The template's client size and each resized control's place in it.
    struct Anchor {
        int id;
        RECT rect;
    };
    SIZE m_sizeTemplate;
    SIZE m_sizeMinimum;
    SIZE m_sizeToolBarButton;  // at 96 DPI
    std::vector<Anchor> m_anchors;
};
