#include <windows.h>

#include "app/ManagerApp.h"
#include "framework/Framework.h"

namespace {
ManagerApp theApp;
}

ManagerApp& TheApp() { return theApp; }

#ifdef ZENTREL_CONSOLE
int main() {
    theApp.m_bConsoleProgram = TRUE;
    return AfxWinMain(::GetModuleHandleA(NULL), zentrel::CommandLineTail(::GetCommandLineA()));
}
#else
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR cmdLine, int) { return AfxWinMain(instance, cmdLine); }
#endif
