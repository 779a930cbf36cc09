#include "registry/Views.h"

REGSAM ViewFlag(zentrel::Platform platform) {
    return platform == zentrel::Platform::Bit32 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
}

zentrel::Platform OwnPlatform() { return sizeof(void*) == 8 ? zentrel::Platform::Bit64 : zentrel::Platform::Bit32; }

bool HasTwoViews() {
    if (sizeof(void*) == 8) return true;
    BOOL wow64 = FALSE;
    return ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64;
}
