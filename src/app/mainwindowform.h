#pragma once

#include "ui_mainwindow.h"
#include "ui_pagegeneralsettings.h"
#include "ui_pagehotkey.h"
#include "ui_pageinformation.h"
#include "ui_pagelocalnetwork.h"
#include "ui_pagepowermode.h"
#include "ui_pagepreferences.h"
#include "ui_pagescreenresolution.h"
#include "ui_pagesystem.h"
#include "ui_pagetimers.h"

namespace Ui {

// The main window's generated form: the frame (header, tabs, Connections tab)
// is built with the window; each Control page and the Information tab when
// first needed (MainWindow::formPage). Until then that page's members are
// null. Created value-initialised, so they are. The Users tab has its own form.
class MainWindow : public MainWindowFrame,
                   public PageScreenResolution,
                   public PageLocalNetwork,
                   public PageSystem,
                   public PageHotKey,
                   public PagePowerMode,
                   public PagePreferences,
                   public PageTimers,
                   public PageGeneralSettings,
                   public PageInformation { };

} // namespace Ui
