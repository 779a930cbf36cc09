// Whose User DSNs the window shows on another computer: an account named,
// and the accounts whose hives are loaded there.
#include "ops/Listing.h"
#include "ui/DsnNameDialog.h"
#include "ui/MainWindow.h"
#include "ui/resource.h"

void MainWindow::OnUserAccount() {
    DsnNameDialog dialog(this);
    dialog.m_strName = facts.commandLine.m_strAccount;
    dialog.m_strCaption = LoadText(IDS_ACCOUNT_CAPTION);
    if (GetPrompts().RunDialog(dialog) != IDOK) return;
    std::string account = dialog.m_strName;
    account.erase(0, account.find_first_not_of(' ') == std::string::npos ? account.size()
                                                                         : account.find_first_not_of(' '));
    account.erase(account.find_last_not_of(' ') + 1);
    facts.commandLine.m_strAccount = account;
    // The connection held opened another account's hive.
    CloseConnection();
    FillDsnList();
}

void MainWindow::OnLoadedAccounts() {
    where = PlaceOf(FALSE);
    std::string listing;
    if (!ListLoadedAccounts(*this, listing)) return;
    std::string computer = where.computer;
    computer.erase(0, computer.find_first_not_of('\\') == std::string::npos ? computer.size()
                                                                           : computer.find_first_not_of('\\'));
    const std::string shown = computer.empty() ? LoadText(IDS_THIS_COMPUTER) : computer;
    if (listing.empty()) {
        Remark("Accounts", MB_OK | MB_ICONINFORMATION, IDS_NO_LOADED_ACCOUNTS, shown);
    } else {
        Remark("Accounts", MB_OK | MB_ICONINFORMATION, IDS_LOADED_ACCOUNTS, shown, listing);
    }
}

void MainWindow::ShowWaiting(const std::string& text) {
    NoteInStatusLine(text);
    if (m_hWnd != NULL) ::UpdateWindow(m_hWnd);
}
