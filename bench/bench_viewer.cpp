// Opening the value viewer on the largest values a source may hold: a
// text of one line of 524,287 characters (1 MB as the registry stores it),
// 1 MB of binary data as a hex dump, and a multi-string of 10,000 strings.
//
// Usage: bench_viewer [ROUNDS]   (default 5)
// Each round makes the viewer's text from the value's bytes, creates the
// dialog (modeless, as a test does), paints it, then goes to the end with
// Ctrl+End and paints again; prints the medians. Goal: open well within a
// second.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BenchClock.h"
#include "app/ManagerApp.h"
#include "core/ValueFormat.h"
#include "ui/ValueViewer.h"
#include "ui/resource.h"

namespace {
ManagerApp* g_app = nullptr;

void Pump() {
    MSG msg;
    while (::PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
}

// Ctrl+End as the keyboard gives it to the list.
void ControlEnd(HWND list) {
    BYTE keys[256] = {};
    ::GetKeyboardState(keys);
    keys[VK_CONTROL] = 0x80;
    ::SetKeyboardState(keys);
    ::SendMessageA(list, WM_KEYDOWN, VK_END, 0);
    keys[VK_CONTROL] = 0;
    ::SetKeyboardState(keys);
}

struct Sample {
    const char* label;
    int32_t type;
    std::vector<unsigned char> data;
};

// False when the viewer did not open or did not reach the end.
bool Measure(const Sample& sample, int rounds) {
    std::vector<double> open, end;
    int rows = 0, top = 0;
    for (int round = 0; round < rounds; ++round) {
        double start = Seconds();
        const bool dump = sample.type == zentrel::kRegBinary;
        ValueViewer viewer(nullptr, sample.label,
                           zentrel::ViewedValueText(sample.type, sample.data.data(), sample.data.size()), dump);
        if (!viewer.Create(nullptr)) return false;
        ::ShowWindow(viewer.m_hWnd, SW_SHOWNA);
        ::RedrawWindow(viewer.m_hWnd, NULL, NULL, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        Pump();
        open.push_back(Seconds() - start);
        HWND list = ::GetDlgItem(viewer.m_hWnd, IDC_VALUE_TEXT);
        start = Seconds();
        ControlEnd(list);
        ::RedrawWindow(list, NULL, NULL, RDW_INVALIDATE | RDW_UPDATENOW);
        Pump();
        end.push_back(Seconds() - start);
        rows = ListView_GetItemCount(list);
        top = ListView_GetTopIndex(list);
        viewer.DestroyWindow();
    }
    printf("viewer: %-44s %6d rows: opened in median %.1f ms (max %.1f), Ctrl+End painted in median %.1f ms\n",
           sample.label, rows, Median(open) * 1000, *std::max_element(open.begin(), open.end()) * 1000,
           Median(end) * 1000);
    return rows > 1 && top > 0;
}
}  // namespace

ManagerApp& TheApp() {
    if (g_app == nullptr) g_app = new ManagerApp;
    return *g_app;
}

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? atoi(argv[1]) : 5;
    if (rounds <= 0) {
        fprintf(stderr, "usage: bench_viewer [ROUNDS]\n");
        return 2;
    }
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES | ICC_LISTVIEW_CLASSES};
    ::InitCommonControlsEx(&icc);
    std::vector<Sample> samples;
    samples.push_back({"text, one line of 524,287 characters", zentrel::kRegSz, std::vector<unsigned char>(524287, 'x')});
    samples.back().data.push_back(0);
    std::vector<unsigned char> binary(1 << 20);
    for (size_t i = 0; i < binary.size(); ++i) binary[i] = (unsigned char)(i * 7 + 1);
    samples.push_back({"binary, 1 MB as a hex dump", zentrel::kRegBinary, binary});
    std::vector<unsigned char> strings;
    for (int i = 0; i < 10000; ++i) {
        const std::string text = "Server" + std::to_string(i) + ".example.com:1433";
        strings.insert(strings.end(), text.begin(), text.end());
        strings.push_back(0);
    }
    strings.push_back(0);
    samples.push_back({"multi-string of 10,000 strings", zentrel::kRegMultiSz, strings});
    bool complete = true;
    for (const Sample& sample : samples) complete = Measure(sample, rounds) && complete;
    if (!complete) {
        fprintf(stderr, "bench_viewer: a viewer did not open or did not reach its end\n");
        return 1;
    }
    return 0;
}
