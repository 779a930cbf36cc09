#include "registry/UserHives.h"

#include <sddl.h>

#include "core/ValueFormat.h"
#include "framework/Handle.h"
#include "registry/RegKey.h"

namespace {

const char* MachineOrNull(const std::string& computer) { return computer.empty() ? nullptr : computer.c_str(); }

bool LooksLikeSid(const std::string& text) {
    return text.size() > 4 && (text[0] == 'S' || text[0] == 's') && text[1] == '-' && text[2] == '1' && text[3] == '-';
}

std::string SidText(PSID sid) {
    char* text = nullptr;
    if (!::ConvertSidToStringSidA(sid, &text)) return std::string();
    std::string result(text);
    ::LocalFree(text);
    return result;
}

}  // namespace

LONG OwnAccountSid(std::string* sid) {
    HANDLE token = NULL;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return (LONG)::GetLastError();
    FileHandle owned(token);
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> buffer(size ? size : 1);
    if (!::GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) return (LONG)::GetLastError();
    *sid = SidText(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid);
    return sid->empty() ? (LONG)::GetLastError() : ERROR_SUCCESS;
}

LONG ResolveAccount(const std::string& computer, const std::string& account, std::string* sid) {
    if (LooksLikeSid(account)) {
        PSID given = nullptr;
        if (!::ConvertStringSidToSidA(account.c_str(), &given)) return (LONG)::GetLastError();
        *sid = SidText(given);
        ::LocalFree(given);
        return sid->empty() ? ERROR_INVALID_SID : ERROR_SUCCESS;
    }
    std::vector<unsigned char> found(SECURITY_MAX_SID_SIZE);
    char domain[256];
    DWORD sidSize = (DWORD)found.size(), domainSize = sizeof(domain);
    SID_NAME_USE use;
    if (!::LookupAccountNameA(MachineOrNull(computer), account.c_str(), found.data(), &sidSize, domain, &domainSize,
                              &use))
        return (LONG)::GetLastError();
    *sid = SidText(found.data());
    return sid->empty() ? ERROR_INVALID_SID : ERROR_SUCCESS;
}

std::string AccountName(const std::string& computer, const std::string& sid) {
    PSID binary = nullptr;
    if (!::ConvertStringSidToSidA(sid.c_str(), &binary)) return sid;
    char name[256], domain[256];
    DWORD nameSize = sizeof(name), domainSize = sizeof(domain);
    SID_NAME_USE use;
    const BOOL known = ::LookupAccountSidA(MachineOrNull(computer), binary, name, &nameSize, domain, &domainSize, &use);
    ::LocalFree(binary);
    if (!known) return sid;
    return domain[0] != '\0' ? std::string(domain) + "\\" + name : std::string(name);
}

LONG LoadedHives(const RegKey& users, const std::string& computer, std::vector<LoadedHive>* hives) {
    std::vector<wchar_t> buffer;
    std::string name;
    LONG code = ERROR_SUCCESS;
    for (DWORD index = 0; (code = users.EnumSubkey(index, buffer, name)) == ERROR_SUCCESS; ++index) {
        const size_t classes = name.size() > 8 ? name.size() - 8 : 0;
        if (!LooksLikeSid(name) || zentrel::SameAsciiIgnoringCase(name.substr(classes), "_Classes")) continue;
        hives->push_back(LoadedHive{name, AccountName(computer, name)});
    }
    return code == ERROR_NO_MORE_ITEMS ? ERROR_SUCCESS : code;
}
