#pragma once

#include "ui_mainwindow.h"
#include "ui_pageinformation.h"
#include "ui_pagelocalnetwork.h"
#include "ui_pagesystem.h"
#include "ui_pageusers.h"

namespace Ui {

// The main window's generated form: the frame (header, tabs, Connections tab)
// is built with the window; each Control page and the Users and Information
// tabs when first needed (MainWindow::formPage). Until then that page's members are
// null. Created value-initialised, so they are.
class MainWindow : public MainWindowFrame,
                   public PageLocalNetwork,
                   public PageSystem,
                   public PageUsers,
                   public PageInformation { };

} // namespace Ui
