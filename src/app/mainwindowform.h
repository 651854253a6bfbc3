#pragma once

#include "ui_mainwindow.h"
#include "ui_pagesystem.h"

namespace Ui {

// The main window's generated form: the frame (header, tabs, Connections tab)
// is built with the window; each Control page it holds when first needed
// (MainWindow::formPage). Until then that page's members are null. Created
// value-initialised, so they are. The Users and Information tabs and the
// other Control pages have their own forms.
class MainWindow : public MainWindowFrame,
                   public PageSystem { };

} // namespace Ui
