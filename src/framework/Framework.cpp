#include "framework/Framework.h"

#include <cstddef>
#include <cstring>
#include <exception>
#include <vector>

namespace {
const char kWrapperProp[] = "Zentrel.CWnd";
CWinApp* g_pApp = nullptr;
}  // namespace

// ---- the screen's scale -------------------------------------------------

UINT DpiOfWindow(HWND hWnd) {
    // Present from Windows 10 1607 on; older systems have one scale for all.
    typedef UINT(WINAPI * DpiForWindow)(HWND);
    static const DpiForWindow dpiForWindow = reinterpret_cast<DpiForWindow>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("user32.dll"), "GetDpiForWindow")));
    UINT dpi = hWnd != NULL && dpiForWindow != nullptr ? dpiForWindow(hWnd) : 0;
    if (dpi == 0) {
        if (HDC screen = ::GetDC(NULL)) {
            dpi = (UINT)::GetDeviceCaps(screen, LOGPIXELSY);
            ::ReleaseDC(NULL, screen);
        }
    }
    return dpi > 0 ? dpi : 96;
}

BOOL NonClientMetricsForDpi(NONCLIENTMETRICSA& metrics, UINT dpi) {
    typedef BOOL(WINAPI * ParametersForDpi)(UINT, UINT, PVOID, UINT, UINT);
    static const ParametersForDpi parametersForDpi = reinterpret_cast<ParametersForDpi>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleA("user32.dll"), "SystemParametersInfoForDpi")));
    // The wide form is the only one at a given scale; its fonts' faces are
    // ASCII names in practice.
    NONCLIENTMETRICSW wide = {};
    wide.cbSize = sizeof(wide);
    if (dpi == 0 || parametersForDpi == nullptr ||
        !parametersForDpi(SPI_GETNONCLIENTMETRICS, sizeof(wide), &wide, 0, dpi)) {
        metrics.cbSize = sizeof(metrics);
        if (!::SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0)) return FALSE;
        // The system's own scale, made the one asked for.
        const UINT system = DpiOfWindow(NULL);
        if (dpi != 0 && dpi != system) {
            for (LOGFONTA* font : {&metrics.lfCaptionFont, &metrics.lfSmCaptionFont, &metrics.lfMenuFont,
                                   &metrics.lfStatusFont, &metrics.lfMessageFont})
                font->lfHeight = ::MulDiv(font->lfHeight, (int)dpi, (int)system);
        }
        return TRUE;
    }
    const auto narrow = [](const LOGFONTW& from, LOGFONTA& to) {
        memcpy(&to, &from, offsetof(LOGFONTA, lfFaceName));
        ::WideCharToMultiByte(CP_ACP, 0, from.lfFaceName, -1, to.lfFaceName, LF_FACESIZE, NULL, NULL);
    };
    metrics.cbSize = sizeof(metrics);
    narrow(wide.lfCaptionFont, metrics.lfCaptionFont);
    narrow(wide.lfSmCaptionFont, metrics.lfSmCaptionFont);
    narrow(wide.lfMenuFont, metrics.lfMenuFont);
    narrow(wide.lfStatusFont, metrics.lfStatusFont);
    narrow(wide.lfMessageFont, metrics.lfMessageFont);
    return TRUE;
}

HBITMAP StretchedBitmap(HBITMAP source, int cx, int cy) {
    BITMAP info = {};
    if (source == NULL || cx <= 0 || cy <= 0 || ::GetObjectA(source, sizeof(info), &info) == 0) return NULL;
    HDC screen = ::GetDC(NULL);
    if (screen == NULL) return NULL;
    HDC from = ::CreateCompatibleDC(screen), to = ::CreateCompatibleDC(screen);
    HBITMAP result = ::CreateCompatibleBitmap(screen, cx, cy);
    if (from != NULL && to != NULL && result != NULL) {
        HGDIOBJ oldFrom = ::SelectObject(from, source), oldTo = ::SelectObject(to, result);
        ::SetStretchBltMode(to, HALFTONE);
        ::SetBrushOrgEx(to, 0, 0, NULL);
        ::StretchBlt(to, 0, 0, cx, cy, from, 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
        ::SelectObject(from, oldFrom);
        ::SelectObject(to, oldTo);
    } else if (result != NULL) {
        ::DeleteObject(result);
        result = NULL;
    }
    if (from != NULL) ::DeleteDC(from);
    if (to != NULL) ::DeleteDC(to);
    ::ReleaseDC(NULL, screen);
    return result;
}

SIZE FitToWorkArea(HWND hWnd) {
    RECT window = {0, 0, 0, 0};
    ::GetWindowRect(hWnd, &window);
    SIZE size = {window.right - window.left, window.bottom - window.top};
    MONITORINFO info = {};
    info.cbSize = sizeof(info);
    if (!::GetMonitorInfoA(::MonitorFromWindow(hWnd, MONITOR_DEFAULTTONEAREST), &info)) return size;
    const RECT& work = info.rcWork;
    if (size.cx <= work.right - work.left && size.cy <= work.bottom - work.top) return size;
    size.cx = size.cx < work.right - work.left ? size.cx : work.right - work.left;
    size.cy = size.cy < work.bottom - work.top ? size.cy : work.bottom - work.top;
    ::SetWindowPos(hWnd, NULL, work.left + (work.right - work.left - size.cx) / 2,
                   work.top + (work.bottom - work.top - size.cy) / 2, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
    return size;
}

void WidenLabelBeside(HWND label, HWND neighbour) {
    HWND parent = ::GetParent(label);
    const int length = ::GetWindowTextLengthA(label);
    HDC dc = ::GetDC(label);
    if (parent == NULL || neighbour == NULL || length <= 0 || dc == NULL) {
        if (dc != NULL) ::ReleaseDC(label, dc);
        return;
    }
    std::vector<char> text(static_cast<size_t>(length) + 1, '\0');
    ::GetWindowTextA(label, text.data(), length + 1);
    HGDIOBJ old = ::SelectObject(dc, (HFONT)::SendMessageA(label, WM_GETFONT, 0, 0));
    RECT needed = {0, 0, 0, 0};
    ::DrawTextA(dc, text.data(), -1, &needed, DT_CALCRECT | DT_SINGLELINE);
    ::SelectObject(dc, old);
    ::ReleaseDC(label, dc);
    RECT own, next;
    ::GetWindowRect(label, &own);
    ::GetWindowRect(neighbour, &next);
    ::MapWindowPoints(NULL, parent, reinterpret_cast<POINT*>(&own), 2);
    ::MapWindowPoints(NULL, parent, reinterpret_cast<POINT*>(&next), 2);
    const int wider = needed.right - (own.right - own.left);
    if (wider <= 0 || wider >= next.right - next.left) return;
    ::SetWindowPos(label, NULL, own.left, own.top, own.right - own.left + wider, own.bottom - own.top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    ::SetWindowPos(neighbour, NULL, next.left + wider, next.top, next.right - next.left - wider,
                   next.bottom - next.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

// ---- CWnd ----------------------------------------------------------------

CWnd::~CWnd() { UnsubclassWindow(); }

CWnd* CWnd::FromHandlePermanent(HWND hWnd) {
    return hWnd ? static_cast<CWnd*>(::GetPropA(hWnd, kWrapperProp)) : nullptr;
}

BOOL CWnd::SubclassWindow(HWND hWnd) {
    if (hWnd == NULL || m_pfnSuper != NULL) return FALSE;
    m_hWnd = hWnd;
    ::SetPropA(hWnd, kWrapperProp, this);
    m_pfnSuper = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::SubclassProc)));
    return TRUE;
}

void CWnd::UnsubclassWindow() {
    if (m_pfnSuper == NULL) return;
    if (::IsWindow(m_hWnd)) {
        ::SetWindowLongPtrA(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
        ::RemovePropA(m_hWnd, kWrapperProp);
    }
    m_pfnSuper = NULL;
}

HBRUSH CWnd::CtlColor(HDC, UINT) { return NULL; }

LRESULT CWnd::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) { return Default(msg, wParam, lParam); }

LRESULT CWnd::Default(UINT msg, WPARAM wParam, LPARAM lParam) {
    return ::CallWindowProcA(m_pfnSuper, m_hWnd, msg, wParam, lParam);
}

LRESULT CALLBACK CWnd::SubclassProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    CWnd* self = FromHandlePermanent(hWnd);
    if (self == nullptr) return ::DefWindowProcA(hWnd, msg, wParam, lParam);
    if (msg == WM_NCDESTROY) {
        WNDPROC super = self->m_pfnSuper;
        self->UnsubclassWindow();
        return ::CallWindowProcA(super, hWnd, msg, wParam, lParam);
    }
    return self->WindowProc(msg, wParam, lParam);
}

// ---- CListCtrl -----------------------------------------------------------

int CListCtrl::InsertColumn(int col, const char* heading, int format, int width) {
    LVCOLUMNA column = {};
    column.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.fmt = format;
    column.cx = width;
    column.pszText = const_cast<char*>(heading);
    column.iSubItem = col;
    return (int)::SendMessageA(m_hWnd, LVM_INSERTCOLUMNA, col, (LPARAM)&column);
}

int CListCtrl::InsertItem(int item, const char* text) {
    LVITEMA row = {};
    row.mask = LVIF_TEXT;
    row.iItem = item;
    row.pszText = const_cast<char*>(text);
    return (int)::SendMessageA(m_hWnd, LVM_INSERTITEMA, 0, (LPARAM)&row);
}

BOOL CListCtrl::SetItemText(int item, int subItem, const char* text) {
    LVITEMA cell = {};
    cell.iSubItem = subItem;
    cell.pszText = const_cast<char*>(text);
    return (BOOL)::SendMessageA(m_hWnd, LVM_SETITEMTEXTA, item, (LPARAM)&cell);
}

int CListCtrl::GetItemText(int item, int subItem, char* buffer, int size) const {
    if (size <= 0) return 0;
    buffer[0] = '\0';
    LVITEMA cell = {};
    cell.iSubItem = subItem;
    cell.pszText = buffer;
    cell.cchTextMax = size;
    return (int)::SendMessageA(m_hWnd, LVM_GETITEMTEXTA, item, (LPARAM)&cell);
}

std::string CListCtrl::GetItemText(int item, int subItem) const {
    std::vector<char> buffer(256);
    for (;;) {
        const int length = GetItemText(item, subItem, buffer.data(), (int)buffer.size());
        // A text that filled the buffer may have been cut: try a larger one.
        if (length < (int)buffer.size() - 1 || buffer.size() >= 65536) return std::string(buffer.data(), length);
        buffer.resize(buffer.size() * 4);
    }
}

// ---- CTabCtrl ------------------------------------------------------------

int CTabCtrl::InsertItem(int index, const char* text) {
    TCITEMA tab = {};
    tab.mask = TCIF_TEXT;
    tab.pszText = const_cast<char*>(text);
    return (int)Send(TCM_INSERTITEMA, index, (LPARAM)&tab);
}

// ---- CImageList ----------------------------------------------------------

CImageList::~CImageList() {
    if (m_hImageList) ImageList_Destroy(m_hImageList);
}

BOOL CImageList::Create(int cx, int cy, UINT flags, int initial, int grow) {
    if (m_hImageList) ImageList_Destroy(m_hImageList);
    m_hImageList = ImageList_Create(cx, cy, flags, initial, grow);
    return m_hImageList != NULL;
}

// ---- CToolBar ------------------------------------------------------------

namespace {
const int kBorderHeight = 2;  // an etched edge
}  // namespace

CToolBar::~CToolBar() {
    if (m_hWnd && ::IsWindow(m_hWnd)) ::DestroyWindow(m_hWnd);
}

BOOL CToolBar::CreateEx(CWnd* parent, DWORD ctrlStyle, DWORD style, UINT id, DWORD barStyle) {
    // The bar is placed by LayoutAtTop, not by the control itself. The
    // control's own divider line stays along its top edge.
    style |= CCS_NOPARENTALIGN | CCS_NORESIZE;
    if (barStyle & kBarAlignTop) style |= CCS_TOP;
    m_hWnd = ::CreateWindowExA(0, TOOLBARCLASSNAMEA, "", style | ctrlStyle | WS_CHILD, 0, 0, 0, 0,
                               parent->m_hWnd, (HMENU)(UINT_PTR)id, ::GetModuleHandleA(NULL), NULL);
    if (m_hWnd == NULL) return FALSE;
    m_dwBarStyle = barStyle;
    Send(TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON));
    Send(TB_SETBITMAPSIZE, 0, MAKELONG(m_sizeImage.cx, m_sizeImage.cy));
    ApplySizes();
    if (barStyle & kBarBorderBottom) SubclassWindow(m_hWnd);
    return TRUE;
}

void CToolBar::Rescale(SIZE button, SIZE image) {
    SetSizes(button, image);
    if (m_hWnd == NULL) return;
    Send(TB_SETBITMAPSIZE, 0, MAKELONG(m_sizeImage.cx, m_sizeImage.cy));
    ApplySizes();
}

void CToolBar::ApplySizes() { Send(TB_SETBUTTONSIZE, 0, MAKELONG(m_sizeButton.cx, m_sizeButton.cy)); }

BOOL CToolBar::LoadBitmap(UINT bitmapId, int imageCount) {
    TBADDBITMAP bitmap = {::GetModuleHandleA(NULL), bitmapId};
    return Send(TB_ADDBITMAP, imageCount, (LPARAM)&bitmap) != -1;
}

BOOL CToolBar::SetButtons(const UINT* ids, int count) {
    while (Send(TB_BUTTONCOUNT) > 0) Send(TB_DELETEBUTTON, 0);
    std::vector<TBBUTTON> buttons(count > 0 ? count : 1);
    int image = 0;
    for (int i = 0; i < count; ++i) {
        TBBUTTON& button = buttons[i];
        button.iString = -1;
        if (ids[i] == ID_SEPARATOR) {
            button.fsStyle = BTNS_SEP;
        } else {
            button.idCommand = (int)ids[i];
            button.iBitmap = image++;
            button.fsState = TBSTATE_ENABLED;
            button.fsStyle = BTNS_BUTTON;
        }
    }
    const BOOL added = count == 0 || Send(TB_ADDBUTTONSA, count, (LPARAM)buttons.data()) != 0;
    ApplySizes();
    return added;
}

BOOL CToolBar::SetButtonStyle(int index, BYTE style) {
    TBBUTTONINFOA info = {};
    info.cbSize = sizeof(info);
    info.dwMask = TBIF_BYINDEX | TBIF_STYLE;
    info.fsStyle = style;
    return Send(TB_SETBUTTONINFOA, index, (LPARAM)&info) != 0;
}

BOOL CToolBar::SetButtonText(int index, const char* text) {
    TBBUTTONINFOA info = {};
    info.cbSize = sizeof(info);
    info.dwMask = TBIF_BYINDEX | TBIF_TEXT;
    info.pszText = const_cast<char*>(text);
    const BOOL set = Send(TB_SETBUTTONINFOA, index, (LPARAM)&info) != 0;
    ApplySizes();
    return set;
}

void CToolBar::LayoutAtTop() {
    if (m_hWnd == NULL) return;
    RECT client;
    ::GetClientRect(::GetParent(m_hWnd), &client);
    const UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
    // First with any height, to learn what the divider and the border take.
    ::SetWindowPos(m_hWnd, NULL, 0, 0, client.right - client.left, 100, flags | SWP_FRAMECHANGED);
    RECT window, inside;
    ::GetWindowRect(m_hWnd, &window);
    ::GetClientRect(m_hWnd, &inside);
    const int edges = (window.bottom - window.top) - (inside.bottom - inside.top);
    int height = HIWORD(Send(TB_GETBUTTONSIZE));
    RECT item;
    if (Send(TB_BUTTONCOUNT) > 0 && GetItemRect(0, &item) && item.bottom > height) height = item.bottom;
    ::SetWindowPos(m_hWnd, NULL, 0, 0, client.right - client.left, height + edges, flags);
}

LRESULT CToolBar::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    // The bottom border lives in the non-client area, out of the buttons' way.
    if (msg == WM_NCCALCSIZE) {
        const LRESULT result = Default(msg, wParam, lParam);
        RECT* client = reinterpret_cast<RECT*>(lParam);  // also the first rectangle of NCCALCSIZE_PARAMS
        client->bottom -= kBorderHeight;
        if (client->bottom < client->top) client->bottom = client->top;
        return result;
    }
    if (msg == WM_NCPAINT) {
        const LRESULT result = Default(msg, wParam, lParam);
        RECT frame;
        ::GetWindowRect(m_hWnd, &frame);
        ::OffsetRect(&frame, -frame.left, -frame.top);
        if (HDC dc = ::GetWindowDC(m_hWnd)) {
            ::DrawEdge(dc, &frame, EDGE_ETCHED, BF_BOTTOM);
            ::ReleaseDC(m_hWnd, dc);
        }
        return result;
    }
    return Default(msg, wParam, lParam);
}

// ---- data exchange -------------------------------------------------------

void DDX_Control(CDataExchange* pDX, int id, CWnd& control) {
    if (control.m_hWnd != NULL) return;
    pDX->m_pDlgWnd->BindControl(control, pDX->m_pDlgWnd->GetDlgItemHwnd(id));
}

void DDX_Check(CDataExchange* pDX, int id, int& value) {
    HWND box = pDX->m_pDlgWnd->GetDlgItemHwnd(id);
    if (pDX->m_bSaveAndValidate) {
        value = ::SendMessageA(box, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
    } else {
        if (value < 0 || value > 2) value = 0;
        ::SendMessageA(box, BM_SETCHECK, value ? BST_CHECKED : BST_UNCHECKED, 0);
    }
}

void DDX_Text(CDataExchange* pDX, int id, std::string& value) {
    HWND edit = pDX->m_pDlgWnd->GetDlgItemHwnd(id);
    if (pDX->m_bSaveAndValidate) {
        const int length = ::GetWindowTextLengthA(edit);
        std::vector<char> text(static_cast<size_t>(length > 0 ? length : 0) + 1, '\0');
        const int got = ::GetWindowTextA(edit, text.data(), (int)text.size());
        value.assign(text.data(), got > 0 ? static_cast<size_t>(got) : 0);
    } else {
        ::SetWindowTextA(edit, value.c_str());
    }
}

// ---- CDialog -------------------------------------------------------------

CDialog::CDialog(UINT templateId, CWnd* parent)
    : m_nIDTemplate(templateId), m_pParentWnd(parent), m_bModal(FALSE), m_nDpi(96) {}

CDialog::~CDialog() {
    // The derived object and its members are gone already: no message of
    // the window's destruction may reach them, nor a bound wrapper be touched.
    HWND hWnd = m_hWnd;
    m_hWnd = NULL;
    m_bound.clear();
    if (!m_bModal && hWnd && ::IsWindow(hWnd)) {
        ::SetWindowLongPtrA(hWnd, DWLP_USER, 0);
        ::DestroyWindow(hWnd);
    }
}

namespace {
// Past a string or ordinal field of a dialog template at *at; false when the
// template ends first.
bool SkipTemplateField(const unsigned char* bytes, size_t size, size_t* at, bool ordinal) {
    if (*at + 2 > size) return false;
    WORD first;
    memcpy(&first, bytes + *at, 2);
    if (ordinal && first == 0xFFFF) {
        *at += 4;
        return *at <= size;
    }
    for (;;) {
        if (*at + 2 > size) return false;
        memcpy(&first, bytes + *at, 2);
        *at += 2;
        if (first == 0) return true;
    }
}

// The dialog's template with a scalable face in place of the bitmap font
// "MS Sans Serif", which has sizes for 96 DPI only (so that at other scales
// its text would be too small for the dialog units it makes); empty when the
// template stays as it is.
std::vector<unsigned char> ScalableTemplate(UINT templateId) {
    std::vector<unsigned char> copy;
    if (DpiOfWindow(NULL) == 96) return copy;
    HMODULE module = ::GetModuleHandleA(NULL);
    HRSRC found = ::FindResourceA(module, MAKEINTRESOURCEA(templateId), MAKEINTRESOURCEA(5));
    HGLOBAL loaded = found != NULL ? ::LoadResource(module, found) : NULL;
    const unsigned char* bytes = loaded != NULL ? static_cast<const unsigned char*>(::LockResource(loaded)) : nullptr;
    const size_t size = found != NULL ? ::SizeofResource(module, found) : 0;
    WORD version[2] = {0, 0};
    DWORD style = 0;
    if (bytes == nullptr || size < 26) return copy;
    memcpy(version, bytes, 4);
    memcpy(&style, bytes + 12, 4);
    // The extended form only, with a font.
    if (version[0] != 1 || version[1] != 0xFFFF || (style & DS_SETFONT) == 0) return copy;
    size_t at = 26;
    if (!SkipTemplateField(bytes, size, &at, true) || !SkipTemplateField(bytes, size, &at, true) ||
        !SkipTemplateField(bytes, size, &at, false))
        return copy;
    const size_t face = at + 6;  // after size, weight, italic and character set
    at = face;
    static const wchar_t kBitmapFace[] = L"MS Sans Serif";
    if (!SkipTemplateField(bytes, size, &at, false) || at - face != sizeof(kBitmapFace) ||
        memcmp(bytes + face, kBitmapFace, sizeof(kBitmapFace)) != 0)
        return copy;
    // The items start at the next four-byte boundary, before and after.
    const size_t items = (at + 3) & ~size_t(3);
    static const wchar_t kScalableFace[] = L"MS Shell Dlg";
    copy.assign(bytes, bytes + face);
    const unsigned char* name = reinterpret_cast<const unsigned char*>(kScalableFace);
    copy.insert(copy.end(), name, name + sizeof(kScalableFace));
    copy.resize((copy.size() + 3) & ~size_t(3), 0);
    if (items < size) copy.insert(copy.end(), bytes + items, bytes + size);
    return copy;
}
}  // namespace

INT_PTR CDialog::DoModal() {
    m_bModal = TRUE;
    const std::vector<unsigned char> scalable = ScalableTemplate(m_nIDTemplate);
    INT_PTR result =
        scalable.empty()
            ? ::DialogBoxParamA(::GetModuleHandleA(NULL), MAKEINTRESOURCEA(m_nIDTemplate), GetParentHwnd(),
                                &CDialog::DialogProc, (LPARAM)this)
            : ::DialogBoxIndirectParamA(::GetModuleHandleA(NULL), reinterpret_cast<LPCDLGTEMPLATEA>(scalable.data()),
                                        GetParentHwnd(), &CDialog::DialogProc, (LPARAM)this);
    m_bModal = FALSE;
    m_hWnd = NULL;
    ReleaseBoundControls();
    return result;
}

BOOL CDialog::Create(CWnd* parent) {
    if (parent) m_pParentWnd = parent;
    m_bModal = FALSE;
    const std::vector<unsigned char> scalable = ScalableTemplate(m_nIDTemplate);
    HWND hWnd = scalable.empty()
                    ? ::CreateDialogParamA(::GetModuleHandleA(NULL), MAKEINTRESOURCEA(m_nIDTemplate), GetParentHwnd(),
                                           &CDialog::DialogProc, (LPARAM)this)
                    : ::CreateDialogIndirectParamA(::GetModuleHandleA(NULL),
                                                   reinterpret_cast<LPCDLGTEMPLATEA>(scalable.data()), GetParentHwnd(),
                                                   &CDialog::DialogProc, (LPARAM)this);
    return hWnd != NULL;
}

void CDialog::DestroyWindow() {
    if (m_hWnd && ::IsWindow(m_hWnd)) ::DestroyWindow(m_hWnd);
    m_hWnd = NULL;
    ReleaseBoundControls();
}

void CDialog::BindControl(CWnd& control, HWND hWnd) {
    control.m_hWnd = hWnd;
    if (hWnd != NULL) m_bound.push_back(&control);
}

void CDialog::ReleaseBoundControls() {
    for (CWnd* control : m_bound) control->m_hWnd = NULL;
    m_bound.clear();
}

void CDialog::EndDialog(INT_PTR result) {
    if (m_bModal) {
        ::EndDialog(m_hWnd, result);
    } else {
        // A modeless dialog (tests) just goes away.
        DestroyWindow();
    }
}

BOOL CDialog::UpdateData(BOOL save) {
    CDataExchange dx(this, save);
    DoDataExchange(&dx);
    return TRUE;
}

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK() {
    if (!UpdateData(TRUE)) return;
    EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

BOOL CDialog::OnCommand(WPARAM wParam, LPARAM) {
    if (HIWORD(wParam) != 0) return FALSE;
    return OnCmdMsg(LOWORD(wParam));
}

BOOL CDialog::OnCmdMsg(UINT id) {
    switch (id) {
    case IDOK: OnOK(); return TRUE;
    case IDCANCEL: OnCancel(); return TRUE;
    default: return FALSE;
    }
}

BOOL CDialog::OnNotify(WPARAM, LPARAM, LRESULT*) { return FALSE; }

BOOL CDialog::OnMessage(UINT, WPARAM, LPARAM, LRESULT*) { return FALSE; }

static void CenterOnOwner(HWND hWnd) {
    RECT own, area;
    HWND owner = ::GetWindow(hWnd, GW_OWNER);
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    if (owner && ::IsWindowVisible(owner) && !::IsIconic(owner)) {
        ::GetWindowRect(owner, &own);
    } else {
        own = area;
    }
    RECT me;
    ::GetWindowRect(hWnd, &me);
    const int w = me.right - me.left, h = me.bottom - me.top;
    int x = own.left + ((own.right - own.left) - w) / 2;
    int y = own.top + ((own.bottom - own.top) - h) / 2;
    if (x + w > area.right) x = area.right - w;
    if (y + h > area.bottom) y = area.bottom - h;
    if (x < area.left) x = area.left;
    if (y < area.top) y = area.top;
    ::SetWindowPos(hWnd, NULL, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool CDialog::s_bFailedExit = false;

bool CDialog::TakeFailedExit() {
    const bool failed = s_bFailedExit;
    s_bFailedExit = false;
    return failed;
}

void CDialog::OnUnexpected(const char* what) {
    ::MessageBoxA(m_hWnd, what, "Error", MB_OK | MB_ICONSTOP);
    if (m_bModal) {
        ::EndDialog(m_hWnd, IDABORT);
    } else {
        DestroyWindow();
    }
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    CDialog* self;
    if (msg == WM_INITDIALOG) {
        self = reinterpret_cast<CDialog*>(lParam);
        self->m_hWnd = hWnd;
        ::SetWindowLongPtrA(hWnd, DWLP_USER, lParam);
    } else {
        self = reinterpret_cast<CDialog*>(::GetWindowLongPtrA(hWnd, DWLP_USER));
    }
    if (self == nullptr) return FALSE;
    INT_PTR handled = FALSE;
    try {
        handled = self->HandleMessage(msg, wParam, lParam);
    } catch (const std::exception& e) {
        // An exception must not cross the platform's frames.
        s_bFailedExit = true;
        self->OnUnexpected(e.what());
        handled = TRUE;
    }
    if (msg == WM_NCDESTROY) {
        ::SetWindowLongPtrA(hWnd, DWLP_USER, 0);
        if (self->m_hWnd == hWnd) self->m_hWnd = NULL;
        self->ReleaseBoundControls();
        self->OnWindowGone();
    }
    return handled;
}

INT_PTR CDialog::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    switch (msg) {
    case WM_INITDIALOG: {
        // Templates place these dialogs at 0,0, which asks for centring.
        CenterOnOwner(m_hWnd);
        m_nDpi = DpiOfWindow(m_hWnd);
        return OnInitDialog();
    }
    case WM_DPICHANGED: {
        const UINT old = m_nDpi;
        m_nDpi = LOWORD(wParam) > 0 ? LOWORD(wParam) : old;
        if (m_nDpi != old) OnDpiChanged(old);
        const RECT* proposed = reinterpret_cast<const RECT*>(lParam);
        if (proposed != nullptr)
            ::SetWindowPos(m_hWnd, NULL, proposed->left, proposed->top, proposed->right - proposed->left,
                           proposed->bottom - proposed->top, SWP_NOZORDER | SWP_NOACTIVATE);
        break;
    }
    case WM_COMMAND:
        if (OnCommand(wParam, lParam)) return TRUE;
        break;
    case WM_NOTIFY:
        if (OnNotify(wParam, lParam, &result)) {
            ::SetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT, result);
            return TRUE;
        }
        break;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN: {
        // Reflect to a control wrapper that draws itself.
        if (CWnd* child = CWnd::FromHandlePermanent((HWND)lParam)) {
            if (HBRUSH brush = child->CtlColor((HDC)wParam, msg)) return (INT_PTR)brush;
        }
        break;
    }
    default:
        break;
    }
    if (OnMessage(msg, wParam, lParam, &result)) {
        switch (msg) {
        case WM_CTLCOLORSTATIC: case WM_CTLCOLOREDIT: case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG: case WM_QUERYDRAGICON:
            return (INT_PTR)result;
        default:
            ::SetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT, result);
            return TRUE;
        }
    }
    return FALSE;
}

// ---- CWinApp -------------------------------------------------------------

CWinApp::CWinApp() : m_hInstance(NULL), m_lpCmdLine(""), m_pMainWnd(nullptr) { g_pApp = this; }

CWinApp::~CWinApp() {
    if (g_pApp == this) g_pApp = nullptr;
}

CWinApp* AfxGetApp() { return g_pApp; }

int AfxWinMain(HINSTANCE instance, const char* cmdLine) {
    CWinApp* app = AfxGetApp();
    if (app == nullptr) return 1;
    app->m_hInstance = instance;
    app->m_lpCmdLine = cmdLine ? cmdLine : "";
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES | ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES};
    ::InitCommonControlsEx(&icc);
    app->InitInstance();
    return app->ExitInstance();
}
