#include <cstring>
#include <string>

#include "app/ManagerApp.h"
#include "registry/RegKey.h"
#include "registry/Views.h"
#include "ui/ChangeReports.h"
#include "ui/MainWindow.h"
#include "ui/resource.h"

void MainWindow::CloseConnection() {
    if (!m_hOdbcIniKey.Valid()) return;
    m_hRootKey.Close();
    m_hOdbcIniKey.Close();
    m_placeConnected = RegistryPlace();
}

int MainWindow::ConnectOdbcIni(BOOL systemScope) {
    return ConnectToRemoteSystem(PlaceOf(systemScope).computer, systemScope,
                                 systemScope ? OwnPlatform() : zentrel::Platform::Shared);
}

BOOL MainWindow::ConnectTo(const RegistryPlace& place) {
    if (!place.known) return FALSE;
    if (m_placeConnected == place && m_hOdbcIniKey.Valid()) return TRUE;
    return ConnectToRemoteSystem(place.computer, place.systemScope, place.platform) == 0;
}

int MainWindow::ConnectToRemoteSystem(const std::string& computer, BOOL systemScope, zentrel::Platform platform,
                                      bool quiet) {
    strncpy(m_szRemoteSystem, computer.c_str(), 259);
    m_szRemoteSystem[259] = '\0';
    HKEY root = systemScope ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    if (!systemScope) platform = zentrel::Platform::Shared;
    const REGSAM view = ViewFlag(platform);
    CloseConnection();

    LONG code = m_hRootKey.Connect(m_szRemoteSystem, root);
    if (code != ERROR_SUCCESS) {
        if (!quiet) Report("RegConnectRegistry", MB_OK | MB_ICONSTOP, IDS_CONNECT_ERROR, m_szRemoteSystem,
                           SystemErrorText(code));
        return -1;
    }
    for (;;) {
        // Not followed: everything the program reads and writes lies below it.
        bool isLink = false;
        code = m_hOdbcIniKey.OpenPathUnfollowed(m_hRootKey, kOdbcIniPath, view, &isLink);
        if (code == ERROR_SUCCESS && isLink) {
            m_hOdbcIniKey.Close();
            m_hRootKey.Close();
            Report("RegOpenKey", MB_OK | MB_ICONSTOP, IDS_KEY_LINK, kOdbcIniPath);
            return -4;
        }
        if (code == ERROR_SUCCESS) {
            m_placeConnected.known = true;
            m_placeConnected.systemScope = systemScope;
            m_placeConnected.platform = platform;
            // "host" and "\\\\host" reach the same computer.
            const char* name = m_szRemoteSystem;
            while (*name == '\\') ++name;
            m_placeConnected.computer = name;
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
