// Fonts for text in any script: the dialogs' own bitmap font has Western
// glyphs only.
#pragma once
#include <windows.h>

#include "framework/Framework.h"
#include "framework/Handle.h"

// The system's message font (the one message boxes use), made anew, or a
// face at its size that has the letters of other scripts when it lacks
// them; NULL when the system names none. At dpi when given, else at the
// system's scale.
HFONT CreateMessageFont(UINT dpi = 0);
// A fixed-pitch face at the message font's height, for text whose columns
// must line up.
HFONT CreateFixedFont(UINT dpi = 0);
// Sets the font on each control of the window that shows names or values.
void SetControlsFont(HWND dialog, const int* ids, size_t count, HFONT font);
