#pragma once
#include "platform/SingleInstance.h"

class QWidget;

namespace kr {

class KeyroviaApp;

// The window a later start brings to the front: a message box waiting for an
// answer, else the gate while it is loaded, else the shown window the user
// met last, one not minimised first (the tutorial over the minimised main
// window), else the main window while it is loaded, else any other window
// still shown. nullptr when none is left.
QWidget* CurrentWindow(KeyroviaApp& app);

// Makes this start the one program of its folder (AppDir). False when a
// running program of the folder has brought its window to the front instead:
// this start then ends without showing anything.
bool ClaimProgramFolder(ISingleInstance& instance, KeyroviaApp& app);

} // namespace kr
