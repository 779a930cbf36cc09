// The two views of HKEY_LOCAL_MACHINE\Software on 64-bit Windows, as the
// list, DSI files and the command line name them. Portable: no <windows.h>.
#pragma once
#include <string>

namespace zentrel {

// Shared: the User scope, where both kinds of program see the same key.
enum class Platform { Shared, Bit64, Bit32 };

// "32/64-bit", "64-bit" or "32-bit".
const char* PlatformText(Platform platform);
// "32-bit" or "64-bit" (also "32"/"64"), blanks around and letter case
// ignored; false for anything else.
bool ParsePlatformText(const std::string& text, Platform* platform);

// Whether a source's driver is installed for the platforms its row stands for.
// Unknown: the computer's driver list could not be read.
enum class DriverCheck { Unknown, Installed, Missing, Only64, Only32 };
// The list's Platform column: the platform, then what the check found.
std::string PlatformColumn(Platform platform, DriverCheck check);

}  // namespace zentrel
