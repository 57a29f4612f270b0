#pragma once
// System routines that need the GUI: the keyboard state and the desktop's opener.

// Whether a Ctrl key is held down at this moment.
bool ZTControlKeyDown();

// Makes ShellOpen and OpenWebAddress hand documents, folders and URLs to
// QDesktopServices::openUrl instead of running xdg-open.
void ZTUseDesktopServicesOpener();
