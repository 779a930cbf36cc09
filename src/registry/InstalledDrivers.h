// Which drivers a computer has installed, and the driver entries that name
// each data source's driver.
#pragma once
#include <windows.h>

#include <map>
#include <memory>
#include <string>

#include "core/Platform.h"
#include "registry/RegKey.h"

// The entry's text, whole, up to its first zero; empty when the key is NULL
// or the source has no readable entry.
std::string ReadDriverEntry(HKEY driverEntries, const char* dsn);

// Which drivers a computer has installed, view by view: a driver is
// installed for a platform when `ODBC Drivers` under that view's
// Software\ODBC\ODBCINST.INI lists it as "Installed". Answers are kept, so a
// driver shared by many sources is looked up once per view.
class InstalledDrivers {
public:
    // `computer` as the remote-system box holds it; empty for this one.
    explicit InstalledDrivers(const std::string& computer);
    InstalledDrivers(const InstalledDrivers&) = delete;
    InstalledDrivers& operator=(const InstalledDrivers&) = delete;

    // The check for a source of that platform (the User scope's shared
    // sources: for both platforms).
    zentrel::DriverCheck Check(zentrel::Platform platform, const std::string& driver);

private:
    struct View {
        RegKey drivers;
        bool opened = false;
        bool absent = false;
        std::map<std::string, bool> known;
    };
    // Unknown when the view's list cannot be read.
    zentrel::DriverCheck InView(zentrel::Platform platform, const std::string& driver);

    RegKey m_machine;
    View m_views[2];  // 64-bit, 32-bit
};

// The driver entries of a catalogued scope, view by view, and the drivers
// its computer has installed: what the list's Platform column needs, asked
// for only when a row is shown. The computer is connected to for the check
// on its first use, so that a caller that never checks never connects.
class ScopeDrivers {
public:
    explicit ScopeDrivers(const std::string& computer) : m_computer(computer) {}
    void Keep(zentrel::Platform platform, RegKey&& driverEntries) {
        m_entries[static_cast<int>(platform)] = std::move(driverEntries);
    }
    std::string Driver(zentrel::Platform platform, const std::string& dsn) const {
        return ReadDriverEntry(m_entries[static_cast<int>(platform)], dsn.c_str());
    }
    zentrel::DriverCheck Check(zentrel::Platform platform, const std::string& driver) {
        if (!m_installed) m_installed.reset(new InstalledDrivers(m_computer));
        return m_installed->Check(platform, driver);
    }

private:
    std::string m_computer;
    std::unique_ptr<InstalledDrivers> m_installed;
    RegKey m_entries[3];  // by zentrel::Platform
};
