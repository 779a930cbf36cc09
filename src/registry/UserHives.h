// Another computer's User DSNs. The registry serves no HKEY_CURRENT_USER
// over the network, only HKEY_USERS, where each account's hive is loaded
// under its SID while that account is logged on there (or a service holds
// it). Nothing here falls back to another account's hive.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "registry/RegKey.h"

// The running account's SID as text ("S-1-5-21-..."), from its process token.
LONG OwnAccountSid(std::string* sid);
// An account as the user named it: a SID as given, else a name looked up on
// `computer` ("" for this one). ERROR_SUCCESS with *sid, else the platform's error.
LONG ResolveAccount(const std::string& computer, const std::string& account, std::string* sid);
// "DOMAIN\name" of a SID as `computer` knows it; the SID itself when unknown there.
std::string AccountName(const std::string& computer, const std::string& sid);

struct LoadedHive {
    std::string sid, account;
};
// The accounts whose hives `users` (a computer's HKEY_USERS) holds, in its
// order; the default profile and the classes' hives are no account's.
LONG LoadedHives(const RegKey& users, const std::string& computer, std::vector<LoadedHive>* hives);
