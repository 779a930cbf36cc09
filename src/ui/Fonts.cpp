#include "ui/Fonts.h"

namespace {

// Letters of the scripts names are most often written in beyond Western
// Latin: Latin Extended-A, Greek and Cyrillic.
const wchar_t kSample[] = L"\u0141\u017A\u0395\u03BB\u041E\u0451";

bool DrawsSample(HDC dc, HFONT font) {
    HGDIOBJ old = ::SelectObject(dc, font);
    WORD glyphs[sizeof(kSample) / sizeof(kSample[0]) - 1] = {};
    const int count = (int)(sizeof(glyphs) / sizeof(glyphs[0]));
    bool all = ::GetGlyphIndicesW(dc, kSample, count, glyphs, GGI_MARK_NONEXISTING_GLYPHS) == (DWORD)count;
    for (int i = 0; all && i < count; ++i) all = glyphs[i] != 0xFFFF;
    ::SelectObject(dc, old);
    return all;
}

}  // namespace

HFONT CreateMessageFont(UINT dpi) {
    NONCLIENTMETRICSA metrics = {};
    if (!NonClientMetricsForDpi(metrics, dpi)) return NULL;
    // The message font, unless it lacks letters of other scripts (as some
    // systems' stand-ins for it do): then the first face at its size that has them.
    static const char* const kFaces[] = {nullptr, "Segoe UI", "Arial", "Microsoft Sans Serif", "Liberation Sans",
                                         "DejaVu Sans", "Noto Sans"};
    HDC dc = ::GetDC(NULL);
    HFONT first = NULL;
    for (const char* face : kFaces) {
        LOGFONTA font = metrics.lfMessageFont;
        if (face != nullptr) lstrcpynA(font.lfFaceName, face, LF_FACESIZE);
        HFONT candidate = ::CreateFontIndirectA(&font);
        if (candidate == NULL) continue;
        if (dc == NULL || DrawsSample(dc, candidate)) {
            if (first != NULL) ::DeleteObject(first);
            first = candidate;
            break;
        }
        if (first == NULL) {
            first = candidate;
        } else {
            ::DeleteObject(candidate);
        }
    }
    if (dc != NULL) ::ReleaseDC(NULL, dc);
    return first;
}

void SetControlsFont(HWND dialog, const int* ids, size_t count, HFONT font) {
    if (font == NULL) return;
    for (size_t i = 0; i < count; ++i) {
        if (HWND control = ::GetDlgItem(dialog, ids[i])) ::SendMessageA(control, WM_SETFONT, (WPARAM)font, FALSE);
    }
}

HFONT CreateFixedFont(UINT dpi) {
    NONCLIENTMETRICSA metrics = {};
    LOGFONTA font = {};
    font.lfHeight = -ScaleToDpi(13, dpi == 0 ? DpiOfWindow(NULL) : dpi);
    if (NonClientMetricsForDpi(metrics, dpi) && metrics.lfMessageFont.lfHeight != 0)
        font.lfHeight = metrics.lfMessageFont.lfHeight;
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
    lstrcpynA(font.lfFaceName, "Courier New", LF_FACESIZE);
    return ::CreateFontIndirectA(&font);
}
