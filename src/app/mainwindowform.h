#pragma once

#include "ui_mainwindow.h"
#include "ui_pagesystem.h"

namespace Ui {

// The main window's generated form: the frame (header, tabs, Connections tab),
// built with the window, and the System page, built when first needed
// (MainWindow::formPage); until then its members are null. Created
// value-initialised, so they are. Every other page and tab has its own form.
class MainWindow : public MainWindowFrame {
public:
    // The System page is the window's own: its buttons are the window's slots.
    PageSystem system {};
};

} // namespace Ui
