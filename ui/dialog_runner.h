// The developer's way to one settings dialog (--dialog NAME): the dialog opens on the settings and on
// the first stored source of its kind (a new one when there is none); after OK what it changed is
// saved into the settings file; the process then ends. Also how tests open a dialog the way the
// program does. Main thread, with the process-wide objects made.
#pragma once

#include <string>
#include <vector>

#include "ui/studio_context.h"

// The names --dialog takes, in the order they are listed when a wrong one is given.
const std::vector<std::string>& DialogNames();

// Runs the dialog NAME; the process exit status: 0 once it closed (after a save when it ended with
// OK and something was saved), 1 when the settings could not be saved, 2 for an unknown name.
int RunDialogOnItsOwn(const std::string& name, StudioContext* context);
