#include <cstring>
#include <string>

#include "app/ManagerApp.h"
#include "registry/RegKey.h"
#include "ui/MainWindow.h"
#include "ui/resource.h"

bool RegistryPlace::operator==(const RegistryPlace& other) const {
    if (known != other.known) return false;
    return !known || ((systemScope != FALSE) == (other.systemScope != FALSE) &&
                      ::CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, computer.c_str(), -1,
                                       other.computer.c_str(), -1) == CSTR_EQUAL);
}

void MainWindow::CloseConnection() {
    if (!m_hOdbcIniKey.Valid()) return;
    m_hRootKey.Close();
    m_hOdbcIniKey.Close();
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
    if (m_placeConnected == m_placeListed && m_hOdbcIniKey.Valid()) return TRUE;
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

    HKEY connected = NULL;
    LONG code = ::RegConnectRegistryA(machine.empty() ? NULL : machine.c_str(), root, &connected);
    if (code != ERROR_SUCCESS) {
        Report("RegConnectRegistry", MB_OK | MB_ICONSTOP, SystemErrorText(code));
        return -1;
    }
    m_hRootKey.Attach(connected);
    for (;;) {
        code = m_hOdbcIniKey.Open(m_hRootKey, kOdbcIniPath);
        if (code == ERROR_SUCCESS) {
            m_placeConnected.known = true;
            m_placeConnected.systemScope = systemScope;
            // "host" and "\\\\host" reach the same computer.
            const char* computer = m_szRemoteSystem;
            while (*computer == '\\') ++computer;
            m_placeConnected.computer = computer;
            return 0;
        }
        if (Report("RegOpenKey", MB_YESNO | MB_ICONQUESTION, IDS_CREATE_QUESTION, SystemErrorText(code),
                   kOdbcIniPath) != IDYES) {
            m_hRootKey.Close();
            MarkFailed();
            return -2;
        }
        // The created key's handle is not kept: the loop opens the path again.
        RegKey created;
        code = created.Create(m_hRootKey, kOdbcIniPath);
        if (code != ERROR_SUCCESS) {
            Report("RegCreateKey", MB_OK | MB_ICONSTOP, IDS_KEY_ERROR, kOdbcIniPath, SystemErrorText(code));
            m_hRootKey.Close();
            return -8;
        }
    }
}
