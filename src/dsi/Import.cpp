// Import of a DSI file into a scope. The file is read once; every source it
// announces is written whole, replacing a source of the same name.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/ManagerApp.h"
#include "app/Settings.h"
#include "dsi/DsiCodec.h"
#include "dsi/DsiFileDialog.h"
#include "dsi/DsiFileIo.h"
#include "dsi/DsiSource.h"
#include "dsi/DsnNameDialog.h"
#include "dsi/ProfileFile.h"
#include "registry/RegKey.h"
#include "registry/ValueFormat.h"
#include "ui/MainWindow.h"
#include "ui/resource.h"

namespace {

// Closes the source's key held in the window on every way out.
class DsnKeyGuard {
public:
    explicit DsnKeyGuard(HKEY& key) : m_key(key) {}
    ~DsnKeyGuard() {
        if (m_key != NULL) ::RegCloseKey(m_key);
        m_key = NULL;
    }
    DsnKeyGuard(const DsnKeyGuard&) = delete;
    DsnKeyGuard& operator=(const DsnKeyGuard&) = delete;

private:
    HKEY& m_key;
};

// Formats a pattern of the program's own texts with string arguments.
std::string Format(const char* pattern, const char* a, const char* b = "", const char* c = "") {
    const int length = snprintf(nullptr, 0, pattern, a, b, c);
    if (length <= 0) return std::string();
    std::vector<char> text(static_cast<size_t>(length) + 1);
    snprintf(text.data(), text.size(), pattern, a, b, c);
    return std::string(text.data(), static_cast<size_t>(length));
}

// Why a name cannot be a data source's key, or empty when it can.
std::string RefusalReason(const std::string& name) {
    const std::string problem = zentrel::DsnNameProblem(name);
    if (!problem.empty()) return problem;
    if (IsReservedDsnName(name.c_str())) return "'" + name + "' is a reserved name of the ODBC section";
    return std::string();
}

// Rows cannot outnumber the file's lines; beyond that every row is missing.
long long LineCount(const std::string& bytes) {
    long long lines = 1;
    for (char c : bytes)
        if (c == '\n' || c == '\r') ++lines;
    return lines;
}

// The keys along the last row's path stay open: the rows of one subkey
// follow each other, so most rows open nothing.
class KeyChain {
public:
    explicit KeyChain(HKEY root) : m_root(root) {}
    ~KeyChain() { Keep(0); }
    KeyChain(const KeyChain&) = delete;
    KeyChain& operator=(const KeyChain&) = delete;

    // Opens, or creates, each level below the root. Returns 0 with the last
    // level's key in *target, or the code of the level that failed with its
    // index in *failed.
    LONG Reach(const std::vector<std::string>& levels, HKEY* target, size_t* failed) {
        size_t common = 0;
        while (common < m_levels.size() && common < levels.size() && m_levels[common] == levels[common]) ++common;
        Keep(common);
        for (size_t i = common; i < levels.size(); ++i) {
            const HKEY parent = i == 0 ? m_root : m_keys.back();
            HKEY next = NULL;
            LONG code = ::RegOpenKeyA(parent, levels[i].c_str(), &next);
            if (code != ERROR_SUCCESS) code = ::RegCreateKeyA(parent, levels[i].c_str(), &next);
            if (code != ERROR_SUCCESS) {
                *failed = i;
                return code;
            }
            m_keys.push_back(next);
            m_levels.push_back(levels[i]);
        }
        *target = m_keys.empty() ? m_root : m_keys.back();
        return ERROR_SUCCESS;
    }

private:
    void Keep(size_t count) {
        while (m_keys.size() > count) {
            ::RegCloseKey(m_keys.back());
            m_keys.pop_back();
            m_levels.pop_back();
        }
    }

    HKEY m_root;
    std::vector<HKEY> m_keys;
    std::vector<std::string> m_levels;
};

// Row problems shown one by one before the rest are summed up.
const size_t kRowProblemsShown = 10;

}  // namespace

void MainWindow::ImportDsiRows(const zentrel::DsiSourceRows& source, const std::string& dsn) {
    KeyChain chain(m_hDsnKey);
    for (const zentrel::DsiImportRow& row : source.rows) {
        HKEY target = NULL;
        size_t failed = 0;
        const LONG opened = chain.Reach(row.levels, &target, &failed);
        if (opened != ERROR_SUCCESS) {
            std::string shown = dsn;
            for (size_t i = 0; i <= failed && i < row.levels.size(); ++i) shown += "\\" + row.levels[i];
            const std::string text =
                Format("Key: '%s'\n%s", zentrel::ShownName(shown).c_str(), SystemErrorText(opened).c_str());
            Message(text.c_str(), "RegCreateKey Error", MB_OK | MB_ICONSTOP);
            MarkFailed();
            continue;
        }
        if (row.subkey) continue;
        static const unsigned char kNothing = 0;
        const LONG code = ::RegSetValueExA(target, row.valueName.c_str(), 0, static_cast<DWORD>(row.type),
                                           row.data.empty() ? &kNothing : row.data.data(),
                                           static_cast<DWORD>(row.data.size()));
        if (code != ERROR_SUCCESS) {
            Message(SystemErrorText(code).c_str(), "RegSetValueEx Error", MB_OK | MB_ICONSTOP);
            MarkFailed();
        }
    }
}

void MainWindow::ReportDsiSourceProblems(const zentrel::DsiSourceRows& source, const std::string& section,
                                         const std::string& dsn) {
    const std::string where = "Data source '" + zentrel::ShownName(dsn) + "', ";
    for (size_t k = 0; k < source.problems.size() && k < kRowProblemsShown; ++k) {
        const zentrel::DsiRowProblem& problem = source.problems[k];
        const std::string text = where + "Name" + std::to_string(problem.index) + " '" +
                                 zentrel::ShownName(problem.name) + "' in section " + section + " of file '" +
                                 m_szDsiFile + "': " + problem.problem + "; the row is not written.";
        Message(text.c_str(), "RegSetValueEx Error", MB_OK | MB_ICONSTOP);
        MarkFailed();
    }
    if (source.problems.size() > kRowProblemsShown) {
        const std::string text = where + std::to_string(source.problems.size() - kRowProblemsShown) +
                                 " more rows in section " + section + " of file '" + m_szDsiFile +
                                 "' cannot be written either; they are left out.";
        Message(text.c_str(), "RegSetValueEx Error", MB_OK | MB_ICONSTOP);
    }
}

void MainWindow::ImportDsiFile(BOOL askName, const char* file, BOOL systemScope) {
    const char* path = file ? file : "";
    if (path[0] != '\0' && zentrel::DsiFileExists(path)) {
        if (strlen(path) > zentrel::kMaxDsiPath) {
            ReportFileError(path, ERROR_FILENAME_EXCED_RANGE, "Error");
            return;
        }
        strcpy(m_szDsiFile, path);
        if (ConnectOdbcIni(systemScope) != 0) return;
    } else if (TheApp().m_bBatchMode) {
        // Without a window there is no chooser, and no scope but the one asked for.
        ReportFileError(path, ERROR_FILE_NOT_FOUND, "Error");
        return;
    } else {
        DsiFileDialog dialog(GetPrompts());
        const std::string filter = LoadText(IDS_DSI_FILTER);
        if (!dialog.ShowOpen(filter.c_str(), "", OwnerWindow(), "Import from",
                             OFN_FILEMUSTEXIST | OFN_SHOWHELP | OFN_HIDEREADONLY))
            return;
        if (strlen(dialog.GetPathName()) > zentrel::kMaxDsiPath) {
            ReportFileError(dialog.GetPathName(), ERROR_FILENAME_EXCED_RANGE, "Error");
            return;
        }
        strcpy(m_szDsiFile, dialog.GetPathName());
        const BOOL tabScope = m_pTabCtrl != nullptr ? TabCtrl_GetCurSel(m_pTabCtrl->m_hWnd) == 0 : systemScope;
        if (ConnectOdbcIni(tabScope) != 0) return;
    }

    std::string bytes;
    const DWORD readCode = zentrel::ReadWholeDsiFile(m_szDsiFile, bytes);
    if (readCode != 0) {
        ReportFileError(m_szDsiFile, readCode, "Error");
        return;
    }
    zentrel::ProfileFile dsi;
    dsi.Parse(bytes);
    const long long maxRows = LineCount(bytes);
    bytes.clear();
    bytes.shrink_to_fit();

    std::string countText = "0";
    const bool hasCount = dsi.Get("General", "Items", countText);
    if (countText.empty()) {
        const std::string text = Format("GetPrivateProfileString(Items), file '%s', error: %s", m_szDsiFile,
                                        SystemErrorText(ERROR_INVALID_DATA).c_str());
        Message(text.c_str(), "Error", MB_OK | MB_ICONSTOP);
        MarkFailed();
        return;
    }
    // A count that wrapped or overflowed would skip sources silently.
    int count = 0;
    const bool validCount = zentrel::ParseDsiCount(countText, &count) == zentrel::DsiCount::Ok;
    if (!validCount || count < 1) {
        const std::string text =
            Format("Source file '%s' contains no data source definiitons or incorrect", m_szDsiFile);
        Message(text.c_str(), "Warning", MB_OK | MB_ICONSTOP);
        // An export of an empty scope says so with an explicit 0: importing
        // it completes. A missing or unreadable count does not.
        if (!hasCount || !validCount) MarkFailed();
        count = 0;
    }

    RegKey dataSources;
    for (int i = 0; i < count; ++i) {
        std::string section = zentrel::DsiIndexedName("DSN#%d", i);
        std::string name = dsi.GetString(section, "DSN", "");
        if (name.empty()) {
            section = zentrel::DsiIndexedName("DSN%d", i);
            name = dsi.GetString(section, "DSN", "");
        }
        if (name.empty()) {
            const std::string text = Format("GetPrivateProfileString(%s->DSN) error: %s\nfor file '%s'\nContinue import?",
                                            section.c_str(), SystemErrorText(ERROR_NOT_FOUND).c_str(), m_szDsiFile);
            MarkFailed();
            if (Message(text.c_str(), section.c_str(), MB_YESNO | MB_ICONSTOP) == IDYES) continue;
            break;
        }

        const std::string fileName = name;
        if (askName) {
            DsnNameDialog dialog(this);
            dialog.m_strName = name;
            if (GetPrompts().RunDialog(dialog) != IDOK) continue;
            name = dialog.m_strName;
        }
        // Everything the source asks for is checked before the registry is
        // touched, so that a source refused as a whole replaces nothing.
        std::string refusal = RefusalReason(name);
        zentrel::DsiSourceRows rows;
        if (refusal.empty()) {
            rows = zentrel::ReadDsiSourceRows(dsi, section, maxRows);
            if (!rows.countValid)
                refusal = "its row count '" + zentrel::ShownName(rows.countText) + "' is not a number of rows";
        }
        if (!refusal.empty()) {
            const std::string text = "Data source '" + zentrel::ShownName(fileName) + "' (section " + section +
                                     " of file '" + m_szDsiFile + "') is not imported: " + refusal + ".";
            Message(text.c_str(), "Error", MB_OK | MB_ICONSTOP);
            MarkFailed();
            continue;
        }
        ReportDsiSourceProblems(rows, section, name);

        const std::string driver = dsi.GetString(section, "Driver", "");

        DsnKeyGuard closeDsnKey(m_hDsnKey);
        RegKey existing;
        bool isLink = false;
        // Not followed: a link's target is not this source's to replace.
        if (existing.OpenUnfollowed(m_hOdbcIniKey, name.c_str(), KEY_READ, &isLink) == ERROR_SUCCESS) {
            existing.Reset(NULL);
            if (g_pSettings != nullptr && g_pSettings->m_bAskImport) {
                const std::string question = Format(LoadText(IDS_ALREADY_EXISTS).c_str(), name.c_str());
                if (Message(question.c_str(), LoadText(IDS_WARNING).c_str(),
                            MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES) {
                    MarkFailed();
                    return;
                }
            }
            const LONG code = DeleteKeyTree(m_hOdbcIniKey, name.c_str(), (int)zentrel::kMaxDsnDepth);
            if (code != ERROR_SUCCESS) {
                Message(SystemErrorText(code).c_str(), "SHDeleteKey Error", MB_OK | MB_ICONSTOP);
                MarkFailed();
                return;
            }
        }
        m_hDsnKey = NULL;
        const LONG created = ::RegCreateKeyA(m_hOdbcIniKey, name.c_str(), &m_hDsnKey);
        if (created != ERROR_SUCCESS) {
            m_hDsnKey = NULL;
            const std::string text = Format("Key: '%s'\n%s", name.c_str(), SystemErrorText(created).c_str());
            Message(text.c_str(), "RegCreateKey Error", MB_OK | MB_ICONSTOP);
            MarkFailed();
            return;
        }
        ImportDsiRows(rows, name);
        ::RegCloseKey(m_hDsnKey);
        m_hDsnKey = NULL;
        if (rows.missing != 0) {
            const std::string text = "Section " + section + " of file '" + m_szDsiFile + "' announces " +
                                     std::to_string(rows.announced) + " rows but holds " +
                                     std::to_string(rows.announced - rows.missing) + "; data source '" +
                                     zentrel::ShownName(name) + "' is imported without the missing ones.";
            Message(text.c_str(), "Warning", MB_OK | MB_ICONSTOP);
            MarkFailed();
        }

        if (dataSources.Get() == NULL) {
            HKEY key = NULL;
            LONG code = ::RegOpenKeyA(m_hOdbcIniKey, kDriverEntriesKey, &key);
            if (code != ERROR_SUCCESS) code = ::RegCreateKeyA(m_hOdbcIniKey, kDriverEntriesKey, &key);
            if (code != ERROR_SUCCESS) {
                // Without it the source has no driver entry: not a success.
                const std::string text = Format("Key: '%s'\n%s", kDriverEntriesKey, SystemErrorText(code).c_str());
                Message(text.c_str(), "RegCreateKey Error", MB_OK | MB_ICONSTOP);
                MarkFailed();
                continue;
            }
            dataSources.Reset(key);
        }
        const LONG code = ::RegSetValueExA(dataSources.Get(), name.c_str(), 0, REG_SZ,
                                           reinterpret_cast<const BYTE*>(driver.c_str()),
                                           static_cast<DWORD>(driver.size() + 1));
        if (code != ERROR_SUCCESS) {
            Message(SystemErrorText(code).c_str(), "RegSetValueEx2 Error", MB_OK | MB_ICONSTOP);
            MarkFailed();
        }
    }

    if (!TheApp().m_bBatchMode && m_pTabCtrl != nullptr) FillDsnList();
}

void MainWindow::OnImport() { ImportDsiFile(FALSE, "", FALSE); }

void MainWindow::OnImportAs() { ImportDsiFile(TRUE, "", FALSE); }
