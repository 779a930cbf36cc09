// Which registry view a call names. On 64-bit Windows, 64-bit and 32-bit
// programs each see their own HKEY_LOCAL_MACHINE\Software; every call under
// it names the view it means, whatever this program itself is built for.
#pragma once
#include <windows.h>

#include "core/Platform.h"

// The flag for a platform's view; the User scope's shared key is reached
// through the 64-bit one (32-bit Windows ignores the flag).
REGSAM ViewFlag(zentrel::Platform platform);
// The view this program sees by itself.
zentrel::Platform OwnPlatform();
// Whether Windows keeps two views (64-bit Windows).
bool HasTwoViews();
