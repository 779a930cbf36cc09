#include "ops/RunContext.h"

#include <cstring>

#include "core/Fleet.h"
#include "ops/ChangeReports.h"
#include "registry/OdbcSection.h"
#include "registry/ParallelCalls.h"
#include "registry/UserHives.h"
#include "registry/Views.h"
#include "res/resource.h"

std::string RunFacts::OutputLines(const std::string& text) const {
    return manyComputers ? zentrel::PrefixLines(commandLine.m_strRemoteSystem, text) : text;
}

void RunFacts::WriteOut(const std::string& text) const {
    if (outText != nullptr) {
        *outText += text;
    } else {
        WriteStreamText(out, text);
    }
}

void RunFacts::WriteErr(const std::string& text) const {
    if (errText != nullptr) {
        *errText += text;
    } else {
        WriteStreamText(err, text);
    }
}

namespace {

std::string ThisComputerName() {
    char name[MAX_COMPUTERNAME_LENGTH + 1] = "";
    DWORD size = sizeof(name);
    return ::GetComputerNameA(name, &size) ? std::string(name, size) : std::string();
}

}  // namespace

int Reporter::Count(SourceOutcome outcome, size_t since) const {
    int count = 0;
    for (size_t i = since; i < m_outcomes.size(); ++i)
        if (m_outcomes[i] == outcome) ++count;
    return count;
}

RunContext::RunContext() : RunContext(std::unique_ptr<Prompts>(new PlatformPrompts)) {}

RunContext::RunContext(std::unique_ptr<Prompts> prompts)
    : m_nAttributeRows(0), m_bListingIncomplete(FALSE), m_nDsnSection(0), m_prompts(std::move(prompts)) {
    m_szDsiFile[0] = '\0';
    m_szRemoteSystem[0] = '\0';
}

RunContext::~RunContext() { CloseConnection(); }

ParallelCalls& RunContext::Calls() {
    if (!m_calls) m_calls.reset(new ParallelCalls(ParallelCalls::kThreads));
    return *m_calls;
}

ScopePlace RunContext::BatchPlace(BOOL systemScope) const {
    ScopePlace place;
    place.systemScope = systemScope;
    place.computer = facts.commandLine.m_strRemoteSystem;
    place.oneView = facts.commandLine.ForcedView(&place.view);
    return place;
}

std::unique_ptr<Prompts> RunContext::SetPrompts(std::unique_ptr<Prompts> prompts) {
    m_prompts.swap(prompts);
    return prompts;
}

bool RunContext::AskSourceName(std::string&, const std::string&) { return false; }

int RunContext::Report(const std::string& caption, UINT flags, const std::string& text) {
    return m_prompts->Message(OwnerWindow(), text.c_str(), caption.c_str(), flags);
}

void RunContext::Fail(const std::string& caption, const std::string& text) {
    m_reporter.Fail();
    Report(caption, MB_OK | MB_ICONSTOP, text);
}

void RunContext::ReportFileError(const char* path, DWORD code, const char* caption, const std::string& detail) {
    std::string text = zentrel::FormatText(LoadText(IDS_FILE_ERROR), path, SystemErrorText((LONG)code));
    if (!detail.empty()) text += "\n" + detail;
    Fail(caption, text);
}

void RunContext::ShowWaiting(const std::string& text) {
    if (facts.Batch()) WriteStreamText(facts.err, facts.OutputLines(text + "\r\n"));
}

std::string RunContext::LoadText(UINT id) {
    char text[1024];
    const int length = ::LoadStringA(::GetModuleHandleA(NULL), id, text, sizeof(text));
    return std::string(text, length > 0 ? length : 0);
}

std::string RunContext::SystemErrorText(LONG code) {
    const DWORD lookup = code <= 0 ? ::GetLastError() : (DWORD)code;
    char* message = nullptr;
    const DWORD length = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL,
        lookup, 0x400, (LPSTR)&message, 0, NULL);
    std::string platform = length && message ? std::string(message, length) : std::string();
    if (message) ::LocalFree(message);
    while (!platform.empty() && (platform.back() == '\r' || platform.back() == '\n')) platform.pop_back();
    return zentrel::FormatText("%s [0x%08X]", platform, (unsigned)code);
}

void RunContext::CloseConnection() {
    m_hRootKey.Close();
    m_hOdbcIniKey.Close();
    m_placeConnected = RegistryPlace();
    m_strHiveAccount.clear();
}

BOOL RunContext::ConnectTo(const RegistryPlace& place) {
    if (!place.known) return FALSE;
    if (m_placeConnected == place && m_hOdbcIniKey.Valid()) return TRUE;
    return ConnectToRemoteSystem(place.computer, place.systemScope, place.platform) == 0;
}

int RunContext::ConnectToRemoteSystem(const std::string& computer, BOOL systemScope, zentrel::Platform platform,
                                      bool quiet) {
    strncpy(m_szRemoteSystem, computer.c_str(), 259);
    m_szRemoteSystem[259] = '\0';
    if (!systemScope) platform = zentrel::Platform::Shared;
    CloseConnection();
    // Another computer serves no HKEY_CURRENT_USER: its User DSNs are an
    // account's, in that account's hive under HKEY_USERS.
    const bool throughUsers =
        !systemScope && (m_szRemoteSystem[0] != '\0' || !facts.commandLine.m_strAccount.empty());
    RegKey users;
    const LONG code = (throughUsers ? users : m_hRootKey)
                          .Connect(m_szRemoteSystem, systemScope    ? HKEY_LOCAL_MACHINE
                                                     : throughUsers ? HKEY_USERS
                                                                    : HKEY_CURRENT_USER);
    if (code != ERROR_SUCCESS) {
        if (!quiet) Fail("RegConnectRegistry", IDS_CONNECT_ERROR, m_szRemoteSystem, SystemErrorText(code));
        return -1;
    }
    if (throughUsers) {
        const int opened = OpenUserHive(users, quiet);
        if (opened != 0) return opened;
    }
    return OpenSection(systemScope, platform, quiet);
}

// The named account's hive, or the running account's; one that is not
// loaded there is said so, never replaced by another.
int RunContext::OpenUserHive(const RegKey& users, bool quiet) {
    const std::string& named = facts.commandLine.m_strAccount;
    std::string computer = m_szRemoteSystem;
    computer.erase(0, computer.find_first_not_of('\\') == std::string::npos ? computer.size()
                                                                              : computer.find_first_not_of('\\'));
    std::string sid;
    LONG code = named.empty() ? OwnAccountSid(&sid) : ResolveAccount(computer, named, &sid);
    if (code != ERROR_SUCCESS) {
        if (!quiet) Fail("LookupAccountName", IDS_ACCOUNT_UNKNOWN, named, computer.empty() ? ThisComputerName() : computer,
                        SystemErrorText(code));
        return -6;
    }
    const std::string account = AccountName(computer, sid);
    code = m_hRootKey.Open(users, sid.c_str(), 0);
    if (code == ERROR_FILE_NOT_FOUND) {
        if (!quiet) Fail("RegOpenKey", IDS_HIVE_NOT_LOADED, account, computer.empty() ? ThisComputerName() : computer, sid);
        return -7;
    }
    if (code != ERROR_SUCCESS) {
        if (!quiet) Fail("RegOpenKey", IDS_KEY_ERROR, "HKEY_USERS\\" + sid, SystemErrorText(code));
        return -7;
    }
    m_strHiveAccount = account;
    return 0;
}

// The ODBC section below the connected root, offered for creation when missing.
int RunContext::OpenSection(BOOL systemScope, zentrel::Platform platform, bool quiet) {
    const REGSAM view = ViewFlag(platform);
    for (;;) {
        // Not followed: everything the program reads and writes lies below it.
        bool isLink = false;
        LONG code = m_hOdbcIniKey.OpenPathUnfollowed(m_hRootKey, kOdbcIniPath, view, &isLink);
        if (code == ERROR_SUCCESS && isLink) {
            m_hOdbcIniKey.Close();
            m_hRootKey.Close();
            Fail("RegOpenKey", IDS_KEY_LINK, kOdbcIniPath);
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
        // A comparison only reads: a missing section holds no sources, and
        // stays missing.
        if (code == ERROR_FILE_NOT_FOUND &&
            (m_bSectionNotMade ||
             (facts.Batch() && facts.commandLine.m_bCompare && !facts.commandLine.m_bImport))) {
            m_hRootKey.Close();
            return kNoSection;
        }
        if (quiet) {
            m_hRootKey.Close();
            return -3;
        }
        // A preview writes nothing, not even a missing section.
        if (facts.Preview()) {
            Fail("RegOpenKey", IDS_KEY_ERROR, kOdbcIniPath, SystemErrorText(code));
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
            Fail("RegCreateKey", IDS_KEY_ERROR, kOdbcIniPath, SystemErrorText(code));
            m_hRootKey.Close();
            return -8;
        }
    }
}
