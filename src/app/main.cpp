#include <windows.h>

#include "app/ManagerApp.h"
#include "framework/Framework.h"

namespace {
ManagerApp theApp;
}

ManagerApp& TheApp() { return theApp; }

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR cmdLine, int) { return AfxWinMain(instance, cmdLine); }
