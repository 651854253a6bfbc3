#pragma once

#include "ui_mainwindow.h"
#include "ui_pageinformation.h"
#include "ui_pagelocalnetwork.h"
#include "ui_pagesystem.h"

namespace Ui {

// The main window's generated form: the frame (header, tabs, Connections tab)
// is built with the window; each Control page and the Information tab when
// first needed (MainWindow::formPage). Until then that page's members are
// null. Created value-initialised, so they are. The Users tab has its own form.
class MainWindow : public MainWindowFrame,
                   public PageLocalNetwork,
                   public PageInformation {
public:
    // The System page is the window's own: its buttons are the window's slots.
    PageSystem system {};
};

} // namespace Ui
