// A thin dialog framework over Win32: just what the program needs. Objects
// wrap windows that Win32 owns; destroying a wrapper never destroys a control
// that its dialog owns.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

// Version of this framework layer, shown in the About box.
#define ZENTREL_FRAMEWORK_VERSION 0x0100

// ---- the screen's scale -------------------------------------------------

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

// Pixels per logical inch where the window is: its monitor's under
// per-monitor awareness, else the system's; 96 when neither can be told.
UINT DpiOfWindow(HWND hWnd);
// A length given at 96 DPI, at dpi; and back (how lengths are kept).
inline int ScaleToDpi(int value, UINT dpi) { return ::MulDiv(value, (int)dpi, 96); }
inline int UnscaleFromDpi(int value, UINT dpi) { return dpi == 0 ? value : ::MulDiv(value, 96, (int)dpi); }
// The system's fonts at dpi, as the system would make them there.
BOOL NonClientMetricsForDpi(NONCLIENTMETRICSA& metrics, UINT dpi);
// A new bitmap of the source stretched to cx by cy; NULL on failure.
HBITMAP StretchedBitmap(HBITMAP source, int cx, int cy);
// A window larger than the work area of its monitor made as large as that,
// and placed on it; the window's size afterwards.
SIZE FitToWorkArea(HWND hWnd);
// A label on one line whose text a scale or a face made wider than the
// label: widened, its neighbour to the right narrowed by as much.
void WidenLabelBeside(HWND label, HWND neighbour);

class CWnd {
public:
    CWnd() : m_hWnd(NULL), m_pfnSuper(NULL) {}
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND GetSafeHwnd() const { return m_hWnd; }
    LRESULT Send(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::SendMessageA(m_hWnd, msg, wParam, lParam);
    }
    // Off while many rows change, so that the control paints once at the end.
    void SetRedraw(BOOL redraw) { Send(WM_SETREDRAW, redraw, 0); }
    void Invalidate() { ::InvalidateRect(m_hWnd, NULL, TRUE); }
    // Routes the control's messages through WindowProc (for controls that
    // react to input themselves, such as link labels).
    BOOL SubclassWindow(HWND hWnd);
    void UnsubclassWindow();
    // A control's reaction to the colour request its parent reflects back;
    // NULL leaves the parent's default.
    virtual HBRUSH CtlColor(HDC hdc, UINT ctlColor);
    static CWnd* FromHandlePermanent(HWND hWnd);

    HWND m_hWnd;

protected:
    virtual LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT Default(UINT msg, WPARAM wParam, LPARAM lParam);

private:
    static LRESULT CALLBACK SubclassProc(HWND, UINT, WPARAM, LPARAM);
    WNDPROC m_pfnSuper;
};

class CStatic : public CWnd {};

class CListCtrl : public CWnd {
public:
    int GetItemCount() const { return ListView_GetItemCount(m_hWnd); }
    int InsertColumn(int col, const char* heading, int format, int width);
    int InsertItem(int item, const char* text);
    BOOL SetItemText(int item, int subItem, const char* text);
    // Text of one cell, cut to fit the buffer.
    int GetItemText(int item, int subItem, char* buffer, int size) const;
    // Text of one cell, whole.
    std::string GetItemText(int item, int subItem) const;
    BOOL DeleteAllItems() { return ListView_DeleteAllItems(m_hWnd); }
    DWORD SetExtendedStyle(DWORD style) {
        return (DWORD)ListView_SetExtendedListViewStyle(m_hWnd, style);
    }
    BOOL GetCheck(int item) const { return ListView_GetCheckState(m_hWnd, item) ? TRUE : FALSE; }
    // item -1 changes every row in one request.
    void SetCheck(int item, BOOL check) { ListView_SetCheckState(m_hWnd, item, check); }
    void SetItemState(int item, UINT state, UINT mask) { ListView_SetItemState(m_hWnd, item, state, mask); }
    // Room for count rows ahead of a fill.
    void SetItemCount(int count) { ListView_SetItemCount(m_hWnd, count); }
};

class CTabCtrl : public CWnd {
public:
    int InsertItem(int index, const char* text);
    int GetCurSel() const { return TabCtrl_GetCurSel(m_hWnd); }
    // Sends no selection-change notification.
    int SetCurSel(int index) { return TabCtrl_SetCurSel(m_hWnd, index); }
};

class CImageList {
public:
    CImageList() : m_hImageList(NULL) {}
    ~CImageList();
    CImageList(const CImageList&) = delete;
    CImageList& operator=(const CImageList&) = delete;
    BOOL Create(int cx, int cy, UINT flags, int initial, int grow);
    int Add(HBITMAP bitmap, COLORREF mask) { return ImageList_AddMasked(m_hImageList, bitmap, mask); }

    HIMAGELIST m_hImageList;
};

// The id of a window's main toolbar.
#define IDW_TOOLBAR 0xE800
// Command id that stands for a separator in CToolBar::SetButtons.
#define ID_SEPARATOR 0

// Bar styles of CToolBar::CreateEx, beside the control's own styles.
enum : DWORD {
    kBarAlignTop = 0x0001,      // laid out across the top of the parent's client area
    kBarBorderBottom = 0x0002,  // an etched line along the bar's bottom edge
};

class CToolBar : public CWnd {
public:
    CToolBar() : m_sizeButton({0, 0}), m_sizeImage({0, 0}), m_dwBarStyle(0) {}
    ~CToolBar() override;
    // Sizes apply when the control is created, and again whenever buttons
    // or texts change, which would otherwise resize the buttons.
    void SetSizes(SIZE button, SIZE image) { m_sizeButton = button; m_sizeImage = image; }
    BOOL CreateEx(CWnd* parent, DWORD ctrlStyle, DWORD style, UINT id, DWORD barStyle = kBarAlignTop);
    // A bitmap resource of imageCount images as the bar's own button images.
    BOOL LoadBitmap(UINT bitmapId, int imageCount);
    // Replaces the buttons: ID_SEPARATOR makes a separator, every other id a
    // button that takes the next image, from 0.
    BOOL SetButtons(const UINT* ids, int count);
    BOOL SetButtonStyle(int index, BYTE style);
    BOOL SetButtonText(int index, const char* text);
    // New sizes for a new screen scale: the images of an image list set
    // after this, the buttons at once.
    void Rescale(SIZE button, SIZE image);
    BOOL GetItemRect(int index, RECT* rect) const {
        return (BOOL)Send(TB_GETITEMRECT, index, (LPARAM)rect);
    }
    void SetExtendedStyle(DWORD style) { Send(TB_SETEXTENDEDSTYLE, 0, style); }
    // The images of the buttons, and of the button under the mouse.
    void SetImageList(const CImageList& images) { Send(TB_SETIMAGELIST, 0, (LPARAM)images.m_hImageList); }
    void SetHotImageList(const CImageList& images) { Send(TB_SETHOTIMAGELIST, 0, (LPARAM)images.m_hImageList); }
    void PressButton(UINT id, BOOL press) { Send(TB_PRESSBUTTON, id, MAKELPARAM(press, 0)); }
    // Places the bar across the top of the parent's client area.
    void LayoutAtTop();

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void ApplySizes();

    SIZE m_sizeButton;
    SIZE m_sizeImage;
    DWORD m_dwBarStyle;
};

class CDialog;

class CDataExchange {
public:
    CDataExchange(CDialog* dlg, BOOL save) : m_pDlgWnd(dlg), m_bSaveAndValidate(save) {}
    CDialog* m_pDlgWnd;
    BOOL m_bSaveAndValidate;
};

// Binds a control of the dialog to a wrapper, once for each window of the
// dialog: the binding ends when the dialog's window is destroyed.
void DDX_Control(CDataExchange* pDX, int id, CWnd& control);
// Check box state <-> 0/1. A value the box cannot show (outside 0 to 2)
// counts as off from then on; 2 shows as checked.
void DDX_Check(CDataExchange* pDX, int id, int& value);
// An edit control's whole text, however long.
void DDX_Text(CDataExchange* pDX, int id, std::string& value);

class CDialog : public CWnd {
public:
    CDialog(UINT templateId, CWnd* parent);
    ~CDialog() override;

    INT_PTR DoModal();
    // Modeless creation, so that tests can drive a real dialog with messages.
    BOOL Create(CWnd* parent);
    void DestroyWindow();
    void EndDialog(INT_PTR result);
    // Runs the data exchange; FALSE when a field refused its control's content.
    BOOL UpdateData(BOOL save);
    // Called by DDX_Control: the wrapper is cleared when the window dies.
    void BindControl(CWnd& control, HWND hWnd);
    HWND GetDlgItemHwnd(int id) const { return ::GetDlgItem(m_hWnd, id); }
    HWND GetParentHwnd() const { return m_pParentWnd ? m_pParentWnd->m_hWnd : NULL; }
    // The scale the window is shown at, and a length given at 96 DPI at it.
    UINT Dpi() const { return m_nDpi; }
    int Scaled(int value96) const { return ScaleToDpi(value96, m_nDpi); }

    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();

protected:
    virtual void DoDataExchange(CDataExchange*) {}
    // The command hook sees every WM_COMMAND first; TRUE stops it there.
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    // The class's table of command handlers; reached only with code 0.
    virtual BOOL OnCmdMsg(UINT id);
    // The notification hook; TRUE with *result set handles it.
    virtual BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result);
    // Any other message; TRUE with *result set handles it.
    virtual BOOL OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result);
    // The window is gone (its last message); bound wrappers are already clear.
    virtual void OnWindowGone() {}
    // The window moved to a screen of another scale (Dpi() is the new one);
    // it is then placed where the system proposes.
    virtual void OnDpiChanged(UINT /*oldDpi*/) {}
    // An exception that reached the dialog procedure: told, and the dialog
    // ends; the program then exits with 1.
    virtual void OnUnexpected(const char* what);

public:
    // Whether an exception ended a dialog since the last call.
    static bool TakeFailedExit();

protected:

    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;

private:
    static INT_PTR CALLBACK DialogProc(HWND, UINT, WPARAM, LPARAM);
    INT_PTR HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void ReleaseBoundControls();

    BOOL m_bModal;
    UINT m_nDpi;
    static bool s_bFailedExit;
    std::vector<CWnd*> m_bound;  // wrappers bound by DDX_Control to this window's controls
};

// Typed command table: { id, &Class::Handler }, closed by { 0, nullptr }.
template <class T>
struct CommandEntry {
    UINT id;
    void (T::*handler)();
};

template <class T>
BOOL DispatchCommand(T* self, const CommandEntry<T>* table, UINT id) {
    for (; table->handler != nullptr; ++table) {
        if (table->id == id) {
            (self->*(table->handler))();
            return TRUE;
        }
    }
    return FALSE;
}

// Typed notification table beside it: { control id or kAnyControl, code,
// &Class::Handler }, closed by { 0, 0, nullptr }; the first match handles.
const UINT_PTR kAnyControl = ~UINT_PTR(0);

template <class T>
struct NotifyEntry {
    UINT_PTR idFrom;
    UINT code;
    LRESULT (T::*handler)(const NMHDR*);
};

template <class T>
BOOL DispatchNotify(T* self, const NotifyEntry<T>* table, const NMHDR* header, LRESULT* result) {
    for (; table->handler != nullptr; ++table) {
        if (table->code == header->code && (table->idFrom == kAnyControl || table->idFrom == header->idFrom)) {
            *result = (self->*(table->handler))(header);
            return TRUE;
        }
    }
    return FALSE;
}

class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();
    // Returning FALSE ends the process without a message loop.
    virtual BOOL InitInstance() { return FALSE; }
    // The process exit code, asked for once InitInstance has returned.
    virtual int ExitInstance() { return 0; }

    HINSTANCE m_hInstance;
    const char* m_lpCmdLine;
    CWnd* m_pMainWnd;
};

CWinApp* AfxGetApp();
// The program's entry: runs the one application object.
int AfxWinMain(HINSTANCE instance, const char* cmdLine);
