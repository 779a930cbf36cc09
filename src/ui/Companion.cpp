// The commands that lead out of the program: the platform's ODBC
// administrator, mail to support, the maker's companion products and the
// About box. Every request to the shell goes through the prompt interface.
#include <string>

#include "registry/RegKey.h"
#include "ui/AboutDialog.h"
#include "ui/MainWindow.h"
#include "ui/ProductTable.h"
#include "ui/resource.h"
#include "registry/Views.h"

namespace {
// The product's ExePath from its key under HKEY_CURRENT_USER; empty when the
// key or value is missing or the value does not fit a path.
std::string InstalledProgram(const char* key) {
    const std::string path = std::string("Software\\Morvane\\") + key;
    RegKey product;
    if (product.Open(HKEY_CURRENT_USER, path.c_str(), ViewFlag(zentrel::Platform::Shared)) != ERROR_SUCCESS) return std::string();
    char buffer[261] = "";
    DWORD size = 260;
    if (product.QueryValue("ExePath", buffer, &size) != ERROR_SUCCESS) return std::string();
    buffer[size < 260 ? size : 260] = '\0';
    return buffer;
}

bool FileExists(const std::string& path) {
    return !path.empty() && ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}
}  // namespace

void MainWindow::OnOdbcAdministrator() { GetPrompts().ShellOpen(OwnerWindow(), "odbcad32.exe", "", ""); }

void MainWindow::MailSupport() {
    const std::string target = std::string("mailto:") + g_szSupportMail + "?Subject=Zentrel";
    GetPrompts().ShellOpen(OwnerWindow(), target.c_str(), NULL, NULL);
}

int MainWindow::LaunchProduct(int index) {
    if (index < 0 || index >= kProductCount) return -1;
    const ProductInfo& product = ProductTable[index];

    const std::string program = InstalledProgram(product.key);
    if (FileExists(program)) {
        GetPrompts().ShellOpen(OwnerWindow(), program.c_str(), NULL, NULL);
        return 0;
    }

    const std::string caption = zentrel::FormatText(LoadText(IDS_NOT_INSTALLED), product.title);
    if (Report(caption, MB_YESNO | MB_ICONQUESTION, IDS_DOWNLOAD_QUESTION, product.title, product.description) ==
        IDYES) {
        const std::string address = std::string(g_szDownloadRoot) + "/" + product.stem + "_d.exe";
        GetPrompts().ShellOpen(OwnerWindow(), address.c_str(), NULL, NULL);
    }
    return 0;
}

void MainWindow::OnAbout() {
    AboutDialog about(this, &GetPrompts());
    GetPrompts().RunDialog(about);
}
