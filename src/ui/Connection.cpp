#include "registry/Views.h"
#include "ui/MainWindow.h"

int MainWindow::ConnectOdbcIni(BOOL systemScope) {
    return ConnectToRemoteSystem(PlaceOf(systemScope).computer, systemScope,
                                 systemScope ? OwnPlatform() : zentrel::Platform::Shared);
}
