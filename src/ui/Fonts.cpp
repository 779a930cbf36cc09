#include "ui/Fonts.h"

HFONT CreateMessageFont() {
    NONCLIENTMETRICSA metrics = {};
    metrics.cbSize = sizeof(metrics);
    if (!::SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0)) return NULL;
    return ::CreateFontIndirectA(&metrics.lfMessageFont);
}

void SetControlsFont(HWND dialog, const int* ids, size_t count, HFONT font) {
    if (font == NULL) return;
    for (size_t i = 0; i < count; ++i) {
        if (HWND control = ::GetDlgItem(dialog, ids[i])) ::SendMessageA(control, WM_SETFONT, (WPARAM)font, FALSE);
    }
}
