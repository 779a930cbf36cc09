#include "ui/AboutDialog.h"

#include <cstdio>
#include <vector>

#include "ui/ProductTable.h"
#include "ui/resource.h"

namespace {
#if defined(_MSC_VER)
const int kCompilerVersion = _MSC_VER;
#elif defined(__GNUC__)
const int kCompilerVersion = __GNUC__ * 100 + __GNUC_MINOR__;
#else
const int kCompilerVersion = 0;
#endif

#if defined(_WIN64)
const char kPlatformSuffix[] = ",  x64";
#else
const char kPlatformSuffix[] = ",  x86";
#endif
}  // namespace

AboutDialog::AboutDialog(CWnd* parent, Prompts* prompts) : CDialog(IDD_ABOUT, parent), m_pPrompts(prompts) {}

void AboutDialog::DoDataExchange(CDataExchange* pDX) {
    DDX_Control(pDX, IDC_WEB_LINK, m_lblWeb);
    DDX_Control(pDX, IDC_MAIL_LINK, m_lblMail);
}

std::string AboutDialog::FormatVersionLine(const VS_FIXEDFILEINFO& info) {
    char line[64];
    snprintf(line, sizeof(line), "Version %d.%02d.%02d", (int)HIWORD(info.dwProductVersionMS),
             (int)LOWORD(info.dwProductVersionMS), (int)HIWORD(info.dwProductVersionLS));
    return std::string(line) + ",  ANSI" + kPlatformSuffix;
}

std::string AboutDialog::VersionLineOf(const char* path) {
    DWORD handle = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(path, &handle);
    if (size == 0) return std::string();
    std::vector<char> block(size);
    if (!::GetFileVersionInfoA(path, 0, size, block.data())) return std::string();
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!::VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&info), &length) || info == nullptr ||
        length < sizeof(VS_FIXEDFILEINFO)) {
        return std::string();
    }
    return FormatVersionLine(*info);
}

std::string AboutDialog::BuildLine() {
    char line[128];
    snprintf(line, sizeof(line), "Compiler: %d, MFC: 0x%X, Build: %s %s", kCompilerVersion,
             (unsigned)ZENTREL_FRAMEWORK_VERSION, __DATE__, __TIME__);
    return line;
}

BOOL AboutDialog::OnInitDialog() {
    CDialog::OnInitDialog();

    m_lblWeb.SetPrompts(m_pPrompts);
    m_lblWeb.SetLink(g_szWebPage);
    ::SetWindowTextA(m_lblWeb.m_hWnd, g_szWebPage);

    m_lblMail.SetPrompts(m_pPrompts);
    m_lblMail.SetLink((std::string("mailto:") + g_szSupportMail).c_str());
    ::SetWindowTextA(m_lblMail.m_hWnd, g_szSupportMail);

    char program[MAX_PATH + 1] = "";
    const DWORD length = ::GetModuleFileNameA(NULL, program, MAX_PATH);
    program[length < MAX_PATH ? length : MAX_PATH] = '\0';
    ::SetDlgItemTextA(m_hWnd, IDC_VERSION_LINE, VersionLineOf(program).c_str());
    ::SetDlgItemTextA(m_hWnd, IDC_BUILD_LINE, BuildLine().c_str());
    return TRUE;
}
