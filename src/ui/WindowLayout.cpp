// The main window as administrators drive it: keys, tabs, the status line,
// a size of their choosing kept per user, and the property list's copy and
// whole-value view.
#include <cstdio>
#include <string>
#include <vector>

#include "core/DsiCodec.h"
#include "core/Secrets.h"
#include "core/ValueFormat.h"
#include "framework/Handle.h"
#include "ui/Settings.h"
#include "registry/Views.h"
#include "ui/MainWindow.h"
#include "ui/ValueViewer.h"
#include "ui/resource.h"

namespace {
const int kResized[] = {IDC_SCOPE_TABS,   IDC_REMOTE_SYSTEM,  IDC_DSN_LIST, IDC_CAPTION_LINE,
                        IDC_ATTRIBUTE_LIST, IDC_FILTER_LABEL, IDC_FILTER};

bool KeyDown(int key) { return ::GetKeyState(key) < 0; }

// Bytes that are no text here count as bytes, whatever their type says.
int32_t ShownType(const AttributeRow& row) { return row.stored ? zentrel::kRegBinary : row.typeCode; }

// A value whole, for a copy: bytes are not cut as in the list.
std::string CopiedValue(const AttributeRow& row) {
    if (row.subkey) return row.valueText;
    return zentrel::WholeValueText(ShownType(row), row.data.data(), row.data.size());
}

// Widths are kept at 96 DPI, so that a screen of another scale shows the
// same columns.
std::string ColumnWidths(HWND list, UINT dpi) {
    std::string text;
    const int columns = Header_GetItemCount(ListView_GetHeader(list));
    for (int i = 0; i < columns; ++i) {
        if (i > 0) text += ',';
        text += std::to_string(UnscaleFromDpi(ListView_GetColumnWidth(list, i), dpi));
    }
    return text;
}

void ApplyColumnWidths(HWND list, const char* text, UINT dpi) {
    const int columns = Header_GetItemCount(ListView_GetHeader(list));
    int width[3] = {};
    if (columns > 3 || sscanf(text, "%d,%d,%d", &width[0], &width[1], &width[2]) != columns) return;
    for (int i = 0; i < columns; ++i) {
        if (width[i] > 0 && width[i] < 10000) ListView_SetColumnWidth(list, i, ScaleToDpi(width[i], dpi));
    }
}
}  // namespace

BOOL MainWindow::PreTranslateMessage(const MSG* msg) {
    if (m_hWnd == NULL || (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN)) return FALSE;
    if (msg->hwnd != m_hWnd && !::IsChild(m_hWnd, msg->hwnd)) return FALSE;
    const bool ctrl = KeyDown(VK_CONTROL), shift = KeyDown(VK_SHIFT), alt = KeyDown(VK_MENU);
    const bool plain = !ctrl && !shift && !alt;
    HWND target = msg->hwnd;
    UINT command = 0;
    switch (msg->wParam) {
    case VK_TAB:
        if (ctrl && !alt) command = shift ? ID_PREVIOUS_TAB : ID_NEXT_TAB;
        break;
    case VK_NEXT:
    case VK_PRIOR:
        if (ctrl && !shift && !alt) command = msg->wParam == VK_NEXT ? ID_NEXT_TAB : ID_PREVIOUS_TAB;
        break;
    case VK_F5:
        if (plain) command = ID_REFRESH;
        break;
    case VK_F3:
        if (plain) command = ID_FIND_NEXT;
        break;
    case 'F':
        if (ctrl && !shift && !alt) command = ID_FIND;
        break;
    case VK_DELETE:
        // Elsewhere, in the remote-system box above all, Delete edits text.
        if (plain && target == m_lstDataSources.m_hWnd) command = ID_REMOVE;
        break;
    case 'C':
        if (ctrl && !shift && !alt && target == m_lstAttributes.m_hWnd) command = ID_COPY_PROPERTIES;
        if (ctrl && !shift && !alt && target == m_lstDataSources.m_hWnd) command = ID_COPY_SOURCES;
        break;
    case VK_RETURN:
        if (plain && target == m_lstAttributes.m_hWnd) command = ID_VIEW_VALUE;
        if (plain && target == GetDlgItemHwnd(IDC_REMOTE_SYSTEM)) command = ID_REFRESH;
        break;
    case VK_F10:
    case VK_APPS:
        if ((msg->wParam == VK_APPS || (shift && !ctrl && !alt)) &&
            (target == m_lstDataSources.m_hWnd || target == m_lstAttributes.m_hWnd)) {
            ShowContextMenu(target);
            return TRUE;
        }
        break;
    default:
        break;
    }
    if (command == 0) return FALSE;
    Send(WM_COMMAND, MAKEWPARAM(command, 0), 0);
    return TRUE;
}

void MainWindow::OnNextTab() {
    const int count = TabCtrl_GetItemCount(m_tabScopes.m_hWnd);
    if (m_pTabCtrl == nullptr || count < 2) return;
    m_tabScopes.SetCurSel((m_tabScopes.GetCurSel() + 1) % count);
    FillDsnList();
}

void MainWindow::OnPreviousTab() {
    const int count = TabCtrl_GetItemCount(m_tabScopes.m_hWnd);
    if (m_pTabCtrl == nullptr || count < 2) return;
    m_tabScopes.SetCurSel((m_tabScopes.GetCurSel() + count - 1) % count);
    FillDsnList();
}

void MainWindow::ShowStatusLine() {
    if (m_hWnd == NULL || m_pTabCtrl == nullptr) return;
    const bool system = m_pTabCtrl->GetCurSel() == 0;
    std::string computer = m_placeListed.known ? m_placeListed.computer : std::string(m_szRemoteSystem);
    computer.erase(0, computer.find_first_not_of('\\') == std::string::npos ? computer.size()
                                                                              : computer.find_first_not_of('\\'));
    const std::string where =
        computer.empty() ? LoadText(IDS_THIS_COMPUTER) : zentrel::FormatText(LoadText(IDS_COMPUTER), computer);
    // An administrator's elevated window shows the administrator's User
    // DSNs, not those of the desktop's user.
    // Another computer's User DSNs are an account's hive there: its name.
    const std::string& account =
        m_placeListed.known && !m_strListedAccount.empty() ? m_strListedAccount : m_strOtherAccount;
    std::string scope =
        account.empty() ? LoadText(IDS_SCOPE_USER) : zentrel::FormatText(LoadText(IDS_SCOPE_USER_OF), account);
    if (system && !m_placeListed.known) {
        // Views are a computer's, and this one was not reached.
        scope = LoadText(IDS_SCOPE_SYSTEM_ANY);
    } else if (system && HasTwoViews()) {
        const zentrel::Platform own = OwnPlatform();
        const zentrel::Platform other =
            own == zentrel::Platform::Bit64 ? zentrel::Platform::Bit32 : zentrel::Platform::Bit64;
        scope = zentrel::FormatText(LoadText(IDS_SCOPE_SYSTEM_VIEWS), zentrel::PlatformText(own),
                                    zentrel::PlatformText(other));
    } else if (system) {
        scope = zentrel::FormatText(LoadText(IDS_SCOPE_SYSTEM), zentrel::PlatformText(OwnPlatform()));
    }
    std::string text;
    if (!m_placeListed.known) {
        text = zentrel::FormatText(LoadText(IDS_STATUS_NOT_LISTED), where, scope);
    } else if (!FilterText().empty()) {
        text = zentrel::FormatText(LoadText(IDS_STATUS_FILTERED), where, scope, std::to_string(m_listedSources.size()),
                                   std::to_string(m_allSources.size()));
    } else if (m_listedSources.size() == 1) {
        text = zentrel::FormatText(LoadText(IDS_STATUS_ONE), where, scope);
    } else {
        text = zentrel::FormatText(LoadText(IDS_STATUS_LINE), where, scope, std::to_string(m_listedSources.size()));
    }
    if (!m_strIncomplete.empty() && m_szCurrentDsn[0] != '\0')
        text = zentrel::FormatText(LoadText(IDS_STATUS_INCOMPLETE), text, zentrel::ShownName(m_szCurrentDsn),
                                   m_strIncomplete);
    if (!m_strStatusNote.empty()) text += "; " + m_strStatusNote;
    ::SetDlgItemTextA(m_hWnd, IDC_STATUS_LINE, text.c_str());
}

void MainWindow::NoteInStatusLine(const std::string& note) {
    m_strStatusNote = note;
    ShowStatusLine();
}

std::string OtherAccountName() {
    const auto userOf = [](HANDLE process) {
        std::vector<unsigned char> sid;
        HANDLE token = NULL;
        if (!::OpenProcessToken(process, TOKEN_QUERY, &token)) return sid;
        const FileHandle owned(token);
        DWORD size = 0;
        ::GetTokenInformation(token, TokenUser, NULL, 0, &size);
        std::vector<unsigned char> buffer(size);
        if (size == 0 || !::GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) return sid;
        PSID user = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
        if (!::IsValidSid(user)) return sid;
        const unsigned char* bytes = static_cast<const unsigned char*>(user);
        sid.assign(bytes, bytes + ::GetLengthSid(user));
        return sid;
    };
    // The desktop's user is the one who owns its shell.
    DWORD shellProcess = 0;
    HWND shell = ::GetShellWindow();
    if (shell == NULL || ::GetWindowThreadProcessId(shell, &shellProcess) == 0) return std::string();
    HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, shellProcess);
    if (process == NULL) return std::string();
    const FileHandle ownedProcess(process);
    std::vector<unsigned char> desktopUser = userOf(process), ownUser = userOf(::GetCurrentProcess());
    if (desktopUser.empty() || ownUser.empty() || desktopUser == ownUser) return std::string();
    char name[256] = "", domain[256] = "";
    DWORD nameSize = sizeof(name), domainSize = sizeof(domain);
    SID_NAME_USE use;
    if (!::LookupAccountSidA(NULL, ownUser.data(), name, &nameSize, domain, &domainSize, &use)) return "?";
    return domain[0] != '\0' ? std::string(domain) + "\\" + name : std::string(name);
}

void MainWindow::CaptureLayout() {
    RECT client, window;
    ::GetClientRect(m_hWnd, &client);
    ::GetWindowRect(m_hWnd, &window);
    m_sizeTemplate = SIZE{client.right, client.bottom};
    m_sizeMinimum = SIZE{window.right - window.left, window.bottom - window.top};
    m_anchors.clear();
    for (int id : kResized) {
        Anchor anchor = {id, {}};
        ::GetWindowRect(GetDlgItemHwnd(id), &anchor.rect);
        ::MapWindowPoints(NULL, m_hWnd, reinterpret_cast<POINT*>(&anchor.rect), 2);
        m_anchors.push_back(anchor);
    }
}

void MainWindow::LayoutControls() {
    if (m_anchors.empty() || ::IsIconic(m_hWnd)) return;
    RECT client;
    ::GetClientRect(m_hWnd, &client);
    const int dx = client.right - m_sizeTemplate.cx, dy = client.bottom - m_sizeTemplate.cy;
    // The two lists share the extra height.
    const int upper = dy / 2;
    for (const Anchor& anchor : m_anchors) {
        RECT r = anchor.rect;
        // The filter keeps its width at the right edge.
        if (anchor.id == IDC_FILTER || anchor.id == IDC_FILTER_LABEL) r.left += dx;
        r.right += dx;
        if (anchor.id == IDC_DSN_LIST) r.bottom += upper;
        if (anchor.id == IDC_CAPTION_LINE) ::OffsetRect(&r, 0, upper);
        if (anchor.id == IDC_ATTRIBUTE_LIST) {
            r.top += upper;
            r.bottom += dy;
        }
        ::SetWindowPos(GetDlgItemHwnd(anchor.id), NULL, r.left, r.top, r.right - r.left, r.bottom - r.top,
                       SWP_NOZORDER | SWP_NOACTIVATE);
    }
    ::SendMessageA(GetDlgItemHwnd(IDC_STATUS_LINE), WM_SIZE, 0, 0);
    m_wndToolBar.LayoutAtTop();
    ::InvalidateRect(m_hWnd, NULL, TRUE);
}

void MainWindow::ScaleLayout(UINT oldDpi) {
    const auto scale = [this, oldDpi](LONG& length) { length = ::MulDiv(length, (int)Dpi(), (int)oldDpi); };
    scale(m_sizeTemplate.cx);
    scale(m_sizeTemplate.cy);
    scale(m_sizeMinimum.cx);
    scale(m_sizeMinimum.cy);
    for (Anchor& anchor : m_anchors) {
        scale(anchor.rect.left);
        scale(anchor.rect.top);
        scale(anchor.rect.right);
        scale(anchor.rect.bottom);
    }
    LayoutControls();
}

void MainWindow::SaveWindowLayout() {
    if (m_anchors.empty() || m_lstDataSources.m_hWnd == NULL) return;
    WINDOWPLACEMENT placement = {};
    placement.length = sizeof(placement);
    if (::GetWindowPlacement(m_hWnd, &placement)) {
        const RECT& r = placement.rcNormalPosition;
        char text[96];
        snprintf(text, sizeof(text), "%ld,%ld,%ld,%ld,%d", (long)r.left, (long)r.top, (long)r.right, (long)r.bottom,
                 placement.showCmd == SW_SHOWMAXIMIZED || ::IsZoomed(m_hWnd) ? 1 : 0);
        WriteProductSetting("", "WindowPlacement", text);
    }
    WriteProductSetting("", "SourceColumns", ColumnWidths(m_lstDataSources.m_hWnd, Dpi()).c_str());
    WriteProductSetting("", "PropertyColumns", ColumnWidths(m_lstAttributes.m_hWnd, Dpi()).c_str());
}

void MainWindow::RestoreWindowLayout() {
    char text[sizeof(g_szSettingValue)] = "";
    if (ReadProductSetting("", "SourceColumns", text, "") == ERROR_SUCCESS)
        ApplyColumnWidths(m_lstDataSources.m_hWnd, text, Dpi());
    if (ReadProductSetting("", "PropertyColumns", text, "") == ERROR_SUCCESS)
        ApplyColumnWidths(m_lstAttributes.m_hWnd, text, Dpi());
    if (ReadProductSetting("", "WindowPlacement", text, "") != ERROR_SUCCESS) return;
    long left = 0, top = 0, right = 0, bottom = 0;
    int maximized = 0;
    if (sscanf(text, "%ld,%ld,%ld,%ld,%d", &left, &top, &right, &bottom, &maximized) != 5) return;
    RECT r = {left, top, right, bottom};
    // A place no screen shows any more (a monitor since removed) is not restored.
    if (r.right - r.left < m_sizeMinimum.cx || r.bottom - r.top < m_sizeMinimum.cy ||
        ::MonitorFromRect(&r, MONITOR_DEFAULTTONULL) == NULL)
        return;
    WINDOWPLACEMENT placement = {};
    placement.length = sizeof(placement);
    ::GetWindowPlacement(m_hWnd, &placement);
    placement.rcNormalPosition = r;
    placement.showCmd = maximized ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL;
    ::SetWindowPlacement(m_hWnd, &placement);
    LayoutControls();
}

void MainWindow::OnCopyProperties() {
    HWND list = m_lstAttributes.m_hWnd;
    std::string text;
    for (int i = ListView_GetNextItem(list, -1, LVNI_SELECTED); i >= 0; i = ListView_GetNextItem(list, i, LVNI_SELECTED)) {
        const std::string value = SecretMasked(i)                   ? std::string(zentrel::kSecretMask)
                                  : i < (int)m_shownAttributes.size() ? CopiedValue(m_shownAttributes[i])
                                                                      : m_lstAttributes.GetItemText(i, 1);
        text += m_lstAttributes.GetItemText(i, 0) + "\t" + value + "\t" + m_lstAttributes.GetItemText(i, 2) + "\r\n";
    }
    if (text.empty()) {
        Fail("Copy", IDS_NO_PROPERTY_ROW);
        return;
    }
    GetPrompts().CopyText(m_hWnd, text);
}

void MainWindow::OnCopySources() {
    HWND list = m_lstDataSources.m_hWnd;
    std::string text;
    for (int i = ListView_GetNextItem(list, -1, LVNI_SELECTED); i >= 0; i = ListView_GetNextItem(list, i, LVNI_SELECTED)) {
        if (i >= (int)m_listedSources.size()) break;
        ListedSource& source = m_listedSources[i];
        PrepareRow(source);
        text += source.name + "\t" + source.driver + "\t" + source.column + "\r\n";
    }
    if (text.empty()) {
        Fail("Copy", IDS_NO_CURRENT_ITEM);
        return;
    }
    GetPrompts().CopyText(m_hWnd, text);
}

void MainWindow::OnViewValue() {
    HWND list = m_lstAttributes.m_hWnd;
    const int row = ListView_GetNextItem(list, -1, LVNI_SELECTED);
    if (row < 0) {
        Fail("View Value", IDS_NO_PROPERTY_ROW);
        return;
    }
    const std::string name = m_lstAttributes.GetItemText(row, 0);
    std::string text = m_lstAttributes.GetItemText(row, 1);
    bool dump = false;
    // The rows as shown: an export may since have filled the table with another source's.
    if (row < (int)m_shownAttributes.size() && !m_shownAttributes[row].subkey && !SecretMasked(row)) {
        const AttributeRow& shown = m_shownAttributes[row];
        const int32_t type = ShownType(shown);
        text = zentrel::ViewedValueText(type, shown.data.data(), shown.data.size());
        dump = type != zentrel::kRegSz && type != zentrel::kRegExpandSz && type != zentrel::kRegMultiSz &&
               type != zentrel::kRegDword && type != zentrel::kRegQword;
    }
    ValueViewer viewer(this, name, text, dump);
    GetPrompts().RunDialog(viewer);
}

LRESULT MainWindow::OnAttributeDoubleClick(const NMHDR* header) {
    if (reinterpret_cast<const NMITEMACTIVATE*>(header)->iItem >= 0) OnViewValue();
    return 0;
}
