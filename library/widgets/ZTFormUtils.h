#pragma once
// Small helpers shared by the library's dialogs.

class QWidget;

// The window a dialog belongs to: the active window, or else the program's visible main
// window, so the dialog opens centred on it and stays above it. Null when there is neither.
QWidget *ZTDialogOwner();

// Moves a window so that its frame is centred on the available area of its owner's screen
// (its own screen when it has no owner, else the primary one).
void ZTCentreOnScreen(QWidget *window);
