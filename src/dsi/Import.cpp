// Import of a DSI file into a scope. The file is read once; every source it
// announces is written whole, replacing a source of the same name.
#include <windows.h>
#include <shlwapi.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/ManagerApp.h"
#include "app/Settings.h"
#include "dsi/DsiCodec.h"
#include "dsi/DsiFileDialog.h"
#include "dsi/DsiFileIo.h"
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

// The registry's own comparison of key names ignores case.
bool EqualsIgnoringCase(const std::string& a, const char* b) {
    if (a.size() != strlen(b)) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// Why a name cannot be a data source's key, or empty when it can.
std::string RefusalReason(const std::string& name) {
    if (name.empty()) return "its name is empty";
    for (const char* reserved : kReservedDsnNames) {
        if (EqualsIgnoringCase(name, reserved))
            return "'" + name + "' is a reserved name of the ODBC section";
    }
    if (name.find('\\') != std::string::npos) return "the name '" + name + "' contains a backslash";
    return std::string();
}

// Rows cannot outnumber the file's lines; beyond that every row is missing.
long long LineCount(const std::string& bytes) {
    long long lines = 1;
    for (char c : bytes)
        if (c == '\n' || c == '\r') ++lines;
    return lines;
}

// The levels of a path: the texts between backslashes, empty ones skipped
// (an empty level names the key itself).
std::vector<std::string> Levels(const std::string& path) {
    std::vector<std::string> levels;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('\\', start);
        if (end == std::string::npos) end = path.size();
        if (end > start) levels.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return levels;
}

// Opens or creates each level of a path below the source's key. Returns 0
// with the last level in *target (held by `held` unless it is the source's
// key itself), or the code of the level that failed with its path in *shown.
LONG OpenPath(HKEY dsnKey, const std::string& dsn, const std::vector<std::string>& levels, RegKey& held,
              HKEY* target, std::string* shown) {
    HKEY current = dsnKey;
    *shown = dsn;
    for (const std::string& level : levels) {
        *shown += "\\" + level;
        HKEY next = NULL;
        LONG code = ::RegOpenKeyA(current, level.c_str(), &next);
        if (code != ERROR_SUCCESS) code = ::RegCreateKeyA(current, level.c_str(), &next);
        if (code != ERROR_SUCCESS) return code;
        held.Reset(next);  // closes the level above
        current = next;
    }
    *target = current;
    return ERROR_SUCCESS;
}

}  // namespace

void MainWindow::ImportDsiRows(const zentrel::ProfileFile& file, const std::string& section, const std::string& dsn,
                               long long maxRows) {
    std::string countText;
    file.Get(section, "Items", countText);
    const int count = zentrel::LeadingDecimal(countText.c_str());
    int missing = 0;
    for (int j = 0; j < count; ++j) {
        if (j >= maxRows) {
            missing += count - j;
            break;
        }
        std::string name, value, format;
        const bool hasName = file.Get(section, zentrel::DsiIndexedName("Name%d", j), name);
        const bool hasValue = file.Get(section, zentrel::DsiIndexedName("Value%d", j), value);
        const bool hasFormat = file.Get(section, zentrel::DsiIndexedName("Format%d", j), format);
        if (!hasName && !hasValue && !hasFormat) {
            // A row the file does not hold must not invent a value.
            ++missing;
            continue;
        }
        const int32_t type = zentrel::LeadingDecimal(format.c_str());

        // A subkey row creates its key, so that empty nested keys come back
        // too; a value row whose name holds a backslash after its first
        // character lives in the keys its path names.
        const bool subkeyRow = type == zentrel::kSubkeyRow && value == "<SUBKEY>";
        std::string valueName = name;
        std::vector<std::string> levels;
        const size_t first = name.find('\\');
        if (subkeyRow) {
            levels = Levels(name);
        } else if (first != std::string::npos && first > 0) {
            const size_t last = name.rfind('\\');
            valueName = name.substr(last + 1);
            levels = Levels(name.substr(0, last));
        }
        RegKey held;
        HKEY target = NULL;
        std::string shown;
        const LONG opened = OpenPath(m_hDsnKey, dsn, levels, held, &target, &shown);
        if (opened != ERROR_SUCCESS) {
            const std::string text = Format("Key: '%s'\n%s", shown.c_str(), SystemErrorText(opened).c_str());
            Message(text.c_str(), "RegCreateKey Error", MB_OK | MB_ICONSTOP);
            MarkFailed();
            continue;
        }
        if (subkeyRow) continue;

        std::vector<unsigned char> data;
        if (type == zentrel::kRegBinary) {
            size_t bad = 0;
            if (!zentrel::DecodeDsiBinary(value, data, &bad)) {
                const std::string text = "Name" + std::to_string(j) + " '" + name + "' in section " + section +
                                         " of file '" + m_szDsiFile + "': character " + std::to_string(bad + 1) +
                                         " of its value is not a hexadecimal digit; the value is not written.";
                Message(text.c_str(), "RegSetValueEx Error", MB_OK | MB_ICONSTOP);
                MarkFailed();
                continue;
            }
        } else if (type == zentrel::kRegDword) {
            const uint32_t number = static_cast<uint32_t>(zentrel::LeadingDecimal(value.c_str()));
            for (int b = 0; b < 4; ++b) data.push_back(static_cast<unsigned char>(number >> (8 * b)));
        } else {
            data = zentrel::DsiTextToRegistryData(value, type);
        }
        static const unsigned char kNothing = 0;
        const LONG code = ::RegSetValueExA(target, valueName.c_str(), 0, static_cast<DWORD>(type),
                                           data.empty() ? &kNothing : data.data(), static_cast<DWORD>(data.size()));
        if (code != ERROR_SUCCESS) {
            Message(SystemErrorText(code).c_str(), "RegSetValueEx Error", MB_OK | MB_ICONSTOP);
            MarkFailed();
        }
    }
    if (missing != 0) {
        const std::string text = "Section " + section + " of file '" + m_szDsiFile + "' announces " +
                                 std::to_string(count) + " rows but holds " + std::to_string(count - missing) +
                                 "; data source '" + dsn + "' is imported without the missing ones.";
        Message(text.c_str(), "Warning", MB_OK | MB_ICONSTOP);
        MarkFailed();
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

    const std::string countText = dsi.GetString("General", "Items", "0");
    if (countText.empty()) {
        const std::string text = Format("GetPrivateProfileString(Items), file '%s', error: %s", m_szDsiFile,
                                        SystemErrorText(ERROR_INVALID_DATA).c_str());
        Message(text.c_str(), "Error", MB_OK | MB_ICONSTOP);
        MarkFailed();
        return;
    }
    const int count = zentrel::LeadingDecimal(countText.c_str());
    if (count < 1) {
        const std::string text =
            Format("Source file '%s' contains no data source definiitons or incorrect", m_szDsiFile);
        Message(text.c_str(), "Warning", MB_OK | MB_ICONSTOP);
        MarkFailed();
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
        const std::string refusal = RefusalReason(name);
        if (!refusal.empty()) {
            const std::string text = "Data source '" + fileName + "' (section " + section + " of file '" +
                                     m_szDsiFile + "') is not imported: " + refusal + ".";
            Message(text.c_str(), "Error", MB_OK | MB_ICONSTOP);
            MarkFailed();
            continue;
        }

        const std::string driver = dsi.GetString(section, "Driver", "");

        DsnKeyGuard closeDsnKey(m_hDsnKey);
        if (::RegOpenKeyA(m_hOdbcIniKey, name.c_str(), &m_hDsnKey) == ERROR_SUCCESS) {
            ::RegCloseKey(m_hDsnKey);
            m_hDsnKey = NULL;
            if (g_pSettings != nullptr && g_pSettings->m_bAskImport) {
                const std::string question = Format(LoadText(IDS_ALREADY_EXISTS).c_str(), name.c_str());
                if (Message(question.c_str(), LoadText(IDS_WARNING).c_str(),
                            MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES) {
                    MarkFailed();
                    return;
                }
            }
            const LONG code = (LONG)::SHDeleteKeyA(m_hOdbcIniKey, name.c_str());
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
        ImportDsiRows(dsi, section, name, maxRows);
        ::RegCloseKey(m_hDsnKey);
        m_hDsnKey = NULL;

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
