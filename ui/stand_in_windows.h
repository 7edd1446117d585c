// A plain window that stands for the main window while that is being built: the start-up's alternation
// runs and can be tried with it. Main thread.
#pragma once

#include "ui/skin_dialog.h"
#include "ui/studio_context.h"

class CStandInMain : public CSkinDialog {
public:
    explicit CStandInMain(StudioContext* context);
};
