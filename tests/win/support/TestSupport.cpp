#include "TestSupport.h"

#include <shellapi.h>
#include <sddl.h>
#include <shlwapi.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "framework/Framework.h"
#include "registry/RegKey.h"
#include "ops/ChangeReports.h"
#include "ui/ValueViewer.h"

namespace {
ManagerApp* g_testApp = nullptr;

std::string Unzero(const char* list) {
    // A double-zero-terminated list back to the '|' form.
    std::string out;
    if (list == nullptr) return out;
    for (const char* p = list; *p != '\0'; p += strlen(p) + 1) {
        out += p;
        out += '|';
    }
    return out + '|';
}
}  // namespace

ManagerApp& TheApp() {
    if (g_testApp == nullptr) g_testApp = new ManagerApp;
    return *g_testApp;
}

ManagerApp& ResetApp() {
    ManagerApp& app = TheApp();
    static_cast<zentrel::CommandLineSwitches&>(app) = zentrel::CommandLineSwitches();
    app.m_hConsoleOut = NULL;
    return app;
}

int ScriptedPrompts::Message(HWND owner, const char* text, const char* caption, UINT type) {
    PromptCall call;
    call.kind = "message";
    call.owner = owner;
    call.text = text;
    call.caption = caption;
    call.type = type;
    calls.push_back(call);
    if (whileMessage) whileMessage(call);
    if (messageAnswers.empty()) {
        ADD_FAILURE() << "unexpected message box: " << caption << ": " << text;
        return (type & MB_TYPEMASK) == MB_YESNO ? IDNO : IDOK;
    }
    int answer = messageAnswers.front();
    messageAnswers.pop_front();
    return answer;
}

BOOL ScriptedPrompts::FileName(BOOL save, OPENFILENAMEA* request) {
    PromptCall call;
    call.kind = save ? "save" : "open";
    call.owner = request->hwndOwner;
    call.text = request->lpstrFile ? request->lpstrFile : "";
    call.caption = request->lpstrTitle ? request->lpstrTitle : "";
    call.type = request->Flags;
    call.filter = Unzero(request->lpstrFilter);
    call.defaultExtension = request->lpstrDefExt ? request->lpstrDefExt : "";
    calls.push_back(call);
    if (fileAnswers.empty()) {
        ADD_FAILURE() << "unexpected file dialog: " << call.caption;
        return FALSE;
    }
    std::string answer = fileAnswers.front();
    fileAnswers.pop_front();
    if (answer.empty()) return FALSE;
    if (answer.size() >= request->nMaxFile) {
        ADD_FAILURE() << "scripted path too long for the dialog's buffer";
        return FALSE;
    }
    strcpy(request->lpstrFile, answer.c_str());
    return TRUE;
}

INT_PTR ScriptedPrompts::RunDialog(CDialog& dialog) {
    PromptCall call;
    call.kind = "dialog";
    // A viewer decides nothing: what it shows is all there is to see.
    if (const ValueViewer* viewer = dynamic_cast<const ValueViewer*>(&dialog)) {
        call.kind = "viewer";
        call.caption = viewer->Title();
        call.text = viewer->Text();
        calls.push_back(call);
        return IDCANCEL;
    }
    calls.push_back(call);
    if (dialogAnswers.empty()) {
        ADD_FAILURE() << "unexpected dialog";
        return IDCANCEL;
    }
    auto answer = dialogAnswers.front();
    dialogAnswers.pop_front();
    return answer(dialog);
}

UINT ScriptedPrompts::TrackPopup(HMENU popup, UINT flags, int x, int y, HWND owner) {
    PromptCall call;
    call.kind = "popup";
    call.owner = owner;
    call.type = flags;
    call.text = std::to_string(x) + "," + std::to_string(y);
    char entry[128];
    for (int i = 0; i < ::GetMenuItemCount(popup); ++i) {
        entry[0] = '\0';
        ::GetMenuStringA(popup, i, entry, sizeof(entry), MF_BYPOSITION);
        call.caption += std::string(i ? "|" : "") + entry;
    }
    calls.push_back(call);
    if (popupAnswers.empty()) {
        ADD_FAILURE() << "unexpected pop-up menu";
        return 0;
    }
    UINT answer = popupAnswers.front();
    popupAnswers.pop_front();
    return answer;
}

void ScriptedPrompts::ShellOpen(HWND owner, const char* file, const char* params, const char* directory) {
    PromptCall call;
    call.kind = "shell";
    call.owner = owner;
    call.text = file ? file : "";
    call.caption = params ? params : "";
    call.defaultExtension = directory ? directory : "";
    calls.push_back(call);
}

void ScriptedPrompts::CopyText(HWND owner, const std::string& text) {
    PromptCall call;
    call.kind = "clipboard";
    call.owner = owner;
    call.text = text;
    calls.push_back(call);
}

std::vector<PromptCall> ScriptedPrompts::Of(const std::string& kind) const {
    std::vector<PromptCall> out;
    for (const PromptCall& call : calls) {
        if (call.kind == kind) out.push_back(call);
    }
    return out;
}

ScriptedPrompts* Script(MainWindow& window) {
    ScriptedPrompts* prompts = new ScriptedPrompts;
    window.SetPrompts(std::unique_ptr<Prompts>(prompts));
    return prompts;
}

HKEY ScopeRoot(bool systemScope) { return systemScope ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; }

std::string OdbcPath(const std::string& dsn) {
    return dsn.empty() ? std::string(kOdbcIniPath) : std::string(kOdbcIniPath) + "\\" + dsn;
}

std::string OdbcPath32(const std::string& dsn) {
    const std::string section = "Software\\Wow6432Node\\ODBC\\ODBC.INI";
    return dsn.empty() ? section : section + "\\" + dsn;
}

void ClearTestRegistry(CALLER_ARGS) {
    TRACE_CALLER();
    struct Section {
        HKEY root;
        const char* parent;
        const char* name;
        bool recreate;
    };
    // Both views of the machine's ODBC section, and the installed-driver lists.
    const Section sections[] = {{HKEY_CURRENT_USER, "Software\\ODBC", "ODBC.INI", true},
                                {HKEY_LOCAL_MACHINE, "Software\\ODBC", "ODBC.INI", true},
                                {HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\ODBC", "ODBC.INI", true},
                                {HKEY_LOCAL_MACHINE, "Software\\ODBC\\ODBCINST.INI", "ODBC Drivers", false},
                                {HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\ODBC\\ODBCINST.INI", "ODBC Drivers", false}};
    for (const Section& s : sections) {
        // Tests leave registry links behind, which a deletion must not follow.
        HKEY parent = NULL;
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyA(s.root, s.parent, &parent));
        DeleteKeyTree(parent, s.name, 4096, KEY_WOW64_64KEY);
        HKEY key = NULL;
        if (s.recreate) {
            ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyA(parent, s.name, &key));
            ::RegCloseKey(key);
        }
        ::RegCloseKey(parent);
    }
    ::SHDeleteKeyA(HKEY_CURRENT_USER, "Software\\Morvane");
}

static HKEY CreateForTest(HKEY root, const std::string& path) {
    HKEY key = NULL;
    EXPECT_EQ(ERROR_SUCCESS, ::RegCreateKeyA(root, path.c_str(), &key)) << path;
    return key;
}

void PutKey(HKEY root, const std::string& path, CALLER_ARGS) {
    TRACE_CALLER();
    ::RegCloseKey(CreateForTest(root, path));
}

void PutString(HKEY root, const std::string& path, const char* name, const std::string& value, DWORD type,
               CALLER_ARGS) {
    TRACE_CALLER();
    HKEY key = CreateForTest(root, path);
    EXPECT_EQ(ERROR_SUCCESS,
              ::RegSetValueExA(key, name, 0, type, (const BYTE*)value.c_str(), (DWORD)value.size() + 1));
    ::RegCloseKey(key);
}

void PutDword(HKEY root, const std::string& path, const char* name, DWORD value, CALLER_ARGS) {
    TRACE_CALLER();
    HKEY key = CreateForTest(root, path);
    EXPECT_EQ(ERROR_SUCCESS, ::RegSetValueExA(key, name, 0, REG_DWORD, (const BYTE*)&value, sizeof(value)));
    ::RegCloseKey(key);
}

void PutBinary(HKEY root, const std::string& path, const char* name, const std::vector<unsigned char>& bytes,
               CALLER_ARGS) {
    TRACE_CALLER();
    HKEY key = CreateForTest(root, path);
    EXPECT_EQ(ERROR_SUCCESS,
              ::RegSetValueExA(key, name, 0, REG_BINARY, bytes.empty() ? nullptr : bytes.data(), (DWORD)bytes.size()));
    ::RegCloseKey(key);
}

bool KeyExists(HKEY root, const std::string& path) {
    HKEY key = NULL;
    if (::RegOpenKeyA(root, path.c_str(), &key) != ERROR_SUCCESS) return false;
    ::RegCloseKey(key);
    return true;
}

bool GetValue(HKEY root, const std::string& path, const char* name, DWORD* type, std::vector<unsigned char>* data) {
    HKEY key = NULL;
    if (::RegOpenKeyA(root, path.c_str(), &key) != ERROR_SUCCESS) return false;
    DWORD size = 0;
    LONG status = ::RegQueryValueExA(key, name, NULL, type, NULL, &size);
    if (status == ERROR_SUCCESS && data) {
        data->assign(size, 0);
        status = ::RegQueryValueExA(key, name, NULL, type, size ? data->data() : nullptr, &size);
        data->resize(size);
    }
    ::RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

void RegistryTest::SetUp() {
    ClearTestRegistry();
    ResetApp();
    ForgetRecoveredPlaces();
}

void RegistryTest::TearDown() { ClearTestRegistry(); }

std::string ScratchDir(const std::string& name) {
    char temp[MAX_PATH];
    ::GetTempPathA(sizeof(temp), temp);
    std::string dir = std::string(temp) + "zentrel-" + name;
    std::string pattern = dir + std::string(1, '\0') + std::string(1, '\0');
    SHFILEOPSTRUCTA op = {};
    op.wFunc = FO_DELETE;
    op.pFrom = pattern.c_str();
    op.fFlags = FOF_NO_UI;
    ::SHFileOperationA(&op);
    ::CreateDirectoryA(dir.c_str(), NULL);
    return dir;
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteWholeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

CapturedStreams CaptureStdStreams(const std::string& dir, const std::function<void()>& fn) {
    const DWORD ids[2] = {STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    const std::string paths[2] = {dir + "\\out.txt", dir + "\\err.txt"};
    HANDLE saved[2], files[2];
    for (int i = 0; i < 2; ++i) {
        saved[i] = ::GetStdHandle(ids[i]);
        files[i] = ::CreateFileA(paths[i].c_str(), GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS, 0, NULL);
        ::SetStdHandle(ids[i], files[i]);
    }
    fn();
    for (int i = 0; i < 2; ++i) {
        ::SetStdHandle(ids[i], saved[i]);
        ::CloseHandle(files[i]);
    }
    return CapturedStreams{ReadWholeFile(paths[0]), ReadWholeFile(paths[1])};
}

void SetAccess(HKEY root, const std::string& path, const char* sddl) {
    HKEY key = NULL;
    if (::RegOpenKeyExA(root, path.c_str(), 0, WRITE_DAC, &key) != ERROR_SUCCESS) return;
    ::RegCloseKey(key);
    SetKeyAccess(root, path, sddl);
}

void SetKeyAccess(HKEY root, const std::string& path, const char* sddl) {
    HKEY key = NULL;
    ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExA(root, path.c_str(), 0, WRITE_DAC, &key));
    PSECURITY_DESCRIPTOR descriptor = NULL;
    if (::ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor, NULL)) {
        EXPECT_EQ(ERROR_SUCCESS, ::RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor));
        ::LocalFree(descriptor);
    } else {
        ADD_FAILURE() << "not a security descriptor: " << sddl;
    }
    ::RegCloseKey(key);
}
