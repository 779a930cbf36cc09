#include <cstring>
#include <string>

#include "app/ManagerApp.h"
#include "registry/RegKey.h"
#include "registry/Views.h"
#include "ui/ChangeReports.h"
#include "ui/MainWindow.h"
#include "ui/resource.h"

bool RegistryPlace::SameScope(const RegistryPlace& other) const {
    if (known != other.known) return false;
    return !known || ((systemScope != FALSE) == (other.systemScope != FALSE) &&
                      SameKeyName(computer.c_str(), other.computer.c_str()));
}

bool RegistryPlace::operator==(const RegistryPlace& other) const {
    return SameScope(other) && (!known || platform == other.platform);
}

void MainWindow::CloseConnection() {
    if (!m_hOdbcIniKey.Valid()) return;
    m_hRootKey.Close();
    m_hOdbcIniKey.Close();
    m_placeConnected = RegistryPlace();
}

void MainWindow::ReadRemoteSystem() {
    ManagerApp& app = TheApp();
    if (app.m_bBatchMode) {
        strncpy(m_szRemoteSystem, app.m_strRemoteSystem.c_str(), 259);
        m_szRemoteSystem[259] = '\0';
    } else {
        m_szRemoteSystem[0] = '\0';
        ::GetDlgItemTextA(m_hWnd, IDC_REMOTE_SYSTEM, m_szRemoteSystem, 260);
    }
}

int MainWindow::ConnectOdbcIni(BOOL systemScope) {
    ReadRemoteSystem();
    return ConnectToRemoteSystem(systemScope, systemScope ? OwnPlatform() : zentrel::Platform::Shared);
}

BOOL MainWindow::ConnectTo(const RegistryPlace& place) {
    if (!place.known) return FALSE;
    if (m_placeConnected == place && m_hOdbcIniKey.Valid()) return TRUE;
    strncpy(m_szRemoteSystem, place.computer.c_str(), 259);
    m_szRemoteSystem[259] = '\0';
    return ConnectToRemoteSystem(place.systemScope, place.platform) == 0;
}

int MainWindow::ConnectToRemoteSystem(BOOL systemScope, zentrel::Platform platform, bool quiet) {
    HKEY root = systemScope ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    if (!systemScope) platform = zentrel::Platform::Shared;
    const REGSAM view = ViewFlag(platform);
    CloseConnection();

    LONG code = m_hRootKey.Connect(m_szRemoteSystem, root);
    if (code != ERROR_SUCCESS) {
        if (!quiet) Report("RegConnectRegistry", MB_OK | MB_ICONSTOP, SystemErrorText(code));
        return -1;
    }
    for (;;) {
        code = m_hOdbcIniKey.Open(m_hRootKey, kOdbcIniPath, view);
        if (code == ERROR_SUCCESS) {
            m_placeConnected.known = true;
            m_placeConnected.systemScope = systemScope;
            m_placeConnected.platform = platform;
            // "host" and "\\\\host" reach the same computer.
            const char* computer = m_szRemoteSystem;
            while (*computer == '\\') ++computer;
            m_placeConnected.computer = computer;
            RecoverPlaceOnce(*this, m_hOdbcIniKey, m_placeConnected);
            return 0;
        }
        if (quiet) {
            m_hRootKey.Close();
            return -3;
        }
        // A preview writes nothing, not even a missing section.
        if (TheApp().m_bBatchMode && TheApp().m_bPreview) {
            Report("RegOpenKey", MB_OK | MB_ICONSTOP, IDS_KEY_ERROR, kOdbcIniPath, SystemErrorText(code));
            m_hRootKey.Close();
            return -2;
        }
        if (Report("RegOpenKey", MB_YESNO | MB_ICONQUESTION, IDS_CREATE_QUESTION, SystemErrorText(code),
                   kOdbcIniPath) != IDYES) {
            m_hRootKey.Close();
            MarkFailed();
            return -2;
        }
        // The created key's handle is not kept: the loop opens the path again.
        RegKey created;
        code = created.Create(m_hRootKey, kOdbcIniPath, view);
        if (code != ERROR_SUCCESS) {
            Report("RegCreateKey", MB_OK | MB_ICONSTOP, IDS_KEY_ERROR, kOdbcIniPath, SystemErrorText(code));
            m_hRootKey.Close();
            return -8;
        }
    }
}
