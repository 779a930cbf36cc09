#include <cstdio>
#include <cstring>
#include <string>

#include "app/ManagerApp.h"
#include "registry/RegKey.h"
#include "ui/MainWindow.h"
#include "ui/resource.h"

const char kOdbcIniPath[] = "Software\\ODBC\\ODBC.INI";

const char kDriverEntriesKey[] = "ODBC Data Sources";
const char* const kReservedDsnNames[3] = {kDriverEntriesKey, "ODBC File DSN", "ODBC"};

// "odbc data sources" is the driver entries' key all the same: compared
// exactly, it would be listed, exported and removed as a data source.
bool IsReservedDsnName(const char* name) {
    for (const char* reserved : kReservedDsnNames) {
        if (SameKeyName(name, reserved)) return true;
    }
    return false;
}

bool RegistryPlace::operator==(const RegistryPlace& other) const {
    if (known != other.known) return false;
    return !known || ((systemScope != FALSE) == (other.systemScope != FALSE) &&
                      ::CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, computer.c_str(), -1,
                                       other.computer.c_str(), -1) == CSTR_EQUAL);
}

std::string MainWindow::SystemErrorText(LONG code) {
    static std::string s_text;
    const DWORD lookup = code <= 0 ? ::GetLastError() : (DWORD)code;
    char* message = nullptr;
    const DWORD length = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL,
        lookup, 0x400, (LPSTR)&message, 0, NULL);
    std::string platform = length && message ? std::string(message, length) : std::string();
    if (message) ::LocalFree(message);
    while (!platform.empty() && (platform.back() == '\r' || platform.back() == '\n')) platform.pop_back();
    char number[16];
    snprintf(number, sizeof(number), "%08X", (unsigned)code);
    s_text = platform + " [0x" + number + "]";
    return s_text;
}

void MainWindow::CloseConnection() {
    if (m_hOdbcIniKey == NULL) return;
    ::RegCloseKey(m_hRootKey);
    ::RegCloseKey(m_hOdbcIniKey);
    m_hRootKey = NULL;
    m_hOdbcIniKey = NULL;
    m_placeConnected = RegistryPlace();
}

int MainWindow::ConnectOdbcIni(BOOL systemScope) {
    ManagerApp& app = TheApp();
    if (app.m_bBatchMode) {
        strncpy(m_szRemoteSystem, app.m_strRemoteSystem.c_str(), 259);
        m_szRemoteSystem[259] = '\0';
    } else {
        m_szRemoteSystem[0] = '\0';
        ::GetDlgItemTextA(m_hWnd, IDC_REMOTE_SYSTEM, m_szRemoteSystem, 260);
    }
    return ConnectToRemoteSystem(systemScope);
}

BOOL MainWindow::ConnectForList() {
    if (!m_placeListed.known) return FALSE;
    if (m_placeConnected == m_placeListed && m_hOdbcIniKey != NULL) return TRUE;
    strncpy(m_szRemoteSystem, m_placeListed.computer.c_str(), 259);
    m_szRemoteSystem[259] = '\0';
    return ConnectToRemoteSystem(m_placeListed.systemScope) == 0;
}

int MainWindow::ConnectToRemoteSystem(BOOL systemScope) {
    HKEY root = systemScope ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    CloseConnection();

    std::string machine;
    if (m_szRemoteSystem[0] == '\\') {
        machine = m_szRemoteSystem;
    } else if (m_szRemoteSystem[0] != '\0') {
        machine = std::string("\\\\") + m_szRemoteSystem;
    }

    LONG code = ::RegConnectRegistryA(machine.empty() ? NULL : machine.c_str(), root, &m_hRootKey);
    if (code != ERROR_SUCCESS) {
        Message(SystemErrorText(code).c_str(), "RegConnectRegistry", MB_OK | MB_ICONSTOP);
        m_hRootKey = NULL;
        m_hOdbcIniKey = NULL;
        MarkFailed();
        return -1;
    }
    for (;;) {
        code = ::RegOpenKeyA(m_hRootKey, kOdbcIniPath, &m_hOdbcIniKey);
        if (code == ERROR_SUCCESS) {
            m_placeConnected.known = true;
            m_placeConnected.systemScope = systemScope;
            // "host" and "\\\\host" reach the same computer.
            const char* computer = m_szRemoteSystem;
            while (*computer == '\\') ++computer;
            m_placeConnected.computer = computer;
            return 0;
        }
        m_hOdbcIniKey = NULL;
        const std::string question =
            SystemErrorText(code) + "\n'" + kOdbcIniPath + "'\n\nDo you wish to create it?";
        if (Message(question.c_str(), "RegOpenKey", MB_YESNO | MB_ICONQUESTION) != IDYES) {
            ::RegCloseKey(m_hRootKey);
            m_hRootKey = NULL;
            MarkFailed();
            return -2;
        }
        HKEY created = NULL;
        code = ::RegCreateKeyA(m_hRootKey, kOdbcIniPath, &created);
        if (code != ERROR_SUCCESS) {
            const std::string text = std::string("Key: '") + kOdbcIniPath + "'\n" + SystemErrorText(code);
            Message(text.c_str(), "RegCreateKey", MB_OK | MB_ICONSTOP);
            ::RegCloseKey(m_hRootKey);
            m_hRootKey = NULL;
            MarkFailed();
            return -8;
        }
        ::RegCloseKey(created);
    }
}
