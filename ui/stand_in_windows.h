// Plain windows that stand for the logon dialog and the main window while those are being built: the
// start-up's alternation runs and can be tried with them. Main thread.
#pragma once

#include "ui/skin_dialog.h"
#include "ui/studio_context.h"

class CStandInLogon : public CSkinDialog {
public:
    CStandInLogon(StudioContext* context, bool firstOfRun);
};

class CStandInMain : public CSkinDialog {
public:
    explicit CStandInMain(StudioContext* context);
};
