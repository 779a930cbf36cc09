// The attribute listing's face: the table takes the listing's rows, and the
// user learns what it could not list.
#include "ops/Listing.h"
#include "ui/MainWindow.h"

void MainWindow::FillSubTree(HKEY parent, const char* subkey) { ListSource(*this, parent, subkey ? subkey : ""); }
