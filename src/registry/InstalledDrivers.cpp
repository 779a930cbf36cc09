#include "registry/InstalledDrivers.h"

#include "registry/RegKey.h"
#include "registry/Views.h"

std::string ReadDriverEntry(HKEY driverEntries, const char* dsn) {
    std::string text;
    if (driverEntries != NULL) RegKey::QueryText(driverEntries, dsn, text);
    return text;
}

InstalledDrivers::InstalledDrivers(const std::string& computer) { m_machine.Connect(computer, HKEY_LOCAL_MACHINE); }

zentrel::DriverCheck InstalledDrivers::InView(zentrel::Platform platform, const std::string& driver) {
    View& view = m_views[platform == zentrel::Platform::Bit32 ? 1 : 0];
    if (!view.opened) {
        view.opened = true;
        // A view without a driver list has no driver installed; one whose
        // list cannot be read is unknown.
        if (m_machine.Valid())
            view.absent = view.drivers.Open(m_machine, "Software\\ODBC\\ODBCINST.INI\\ODBC Drivers",
                                            ViewFlag(platform)) == ERROR_FILE_NOT_FOUND;
    }
    if (view.absent) return zentrel::DriverCheck::Missing;
    if (!view.drivers.Valid()) return zentrel::DriverCheck::Unknown;
    if (driver.empty()) return zentrel::DriverCheck::Missing;
    auto found = view.known.find(driver);
    if (found == view.known.end()) {
        std::string state;
        const bool installed = view.drivers.QueryText(driver.c_str(), state) == ERROR_SUCCESS && SameKeyName(state.c_str(), "Installed");
        found = view.known.emplace(driver, installed).first;
    }
    return found->second ? zentrel::DriverCheck::Installed : zentrel::DriverCheck::Missing;
}

zentrel::DriverCheck InstalledDrivers::Check(zentrel::Platform platform, const std::string& driver) {
    using zentrel::DriverCheck;
    if (platform != zentrel::Platform::Shared || !HasTwoViews())
        return InView(platform == zentrel::Platform::Shared ? OwnPlatform() : platform, driver);
    const DriverCheck in64 = InView(zentrel::Platform::Bit64, driver);
    const DriverCheck in32 = InView(zentrel::Platform::Bit32, driver);
    if (in64 == DriverCheck::Unknown || in32 == DriverCheck::Unknown) return DriverCheck::Unknown;
    if (in64 == DriverCheck::Installed) return in32 == DriverCheck::Installed ? DriverCheck::Installed : DriverCheck::Only64;
    return in32 == DriverCheck::Installed ? DriverCheck::Only32 : DriverCheck::Missing;
}
