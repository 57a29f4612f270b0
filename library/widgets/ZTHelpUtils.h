#pragma once
// Dialog keys and help.
//
// Every dialog of the program shares one key-release rule: Esc closes the dialog and F1 opens
// the help manual at the dialog's help context. The manual is an HTML file beside the program
// (program folder + program name + ".html") with one anchor per help context; it is shown in
// the program's own help viewer (TZTHelpViewer, ZTHelpUtilsViewer.h). Context 0 is the table
// of contents, which is also what the Help Contents command opens.

#include <QString>

#include <functional>

class QWidget;

// The help contexts the program's windows carry. Each one is an anchor of the manual
// (<a name="550">): the anchor's name is the number.
constexpr int HelpContextContents = 0; // About, Tip of the Day, quick calendar, occurrence question
constexpr int HelpContextPreferences = 500;
constexpr int HelpContextReminder = 550; // add/edit reminder dialog and range of recurrence dialog
constexpr int HelpContextAlert = 600;    // reminder alert window

// The help file: the registered path (ZTSetHelpFile), or, when none is registered, the
// program folder + the executable's base name + ".html".
QString ZTDefaultHelpFile();
QString ZTHelpFile();
// Start-up registers the application object's help file here; tests point it at a file of
// their own. An empty path returns to the default.
void ZTSetHelpFile(const QString &path);

// The help context of a form (0 when it has none). Stored on the widget, so any window can
// carry one without deriving from a common class.
void ZTSetHelpContext(QWidget *form, int context);
int ZTHelpContext(const QWidget *form);

// What actually shows the manual at a context. The default opens the program's help viewer;
// tests install their own to see which file and context were asked for, or to make the
// display fail. An empty function restores the viewer.
using TZTHelpDisplay = std::function<void(const QString &helpFile, int context)>;
void ZTSetHelpDisplay(TZTHelpDisplay display);

// Opens the help file at a context. Nothing at all happens when the file name is empty or no
// such file exists. Any failure on the way becomes EZTException("Unable to show help file
// '%s'.", the failure's message, 1).
void ShowHelp(const QString &helpFile, int context);
void ShowHelp(int context); // with ZTHelpFile()

// The shared key-release handler of the dialogs: Esc closes the form (as its close box does,
// so a dialog that returns an answer takes it as its close-box answer), F1 opens help at the
// form's help context. Returns whether the key was one of the two; other keys do nothing.
// May raise what ShowHelp raises.
bool FormKeyUpCommon(int key, QWidget *form);

// Makes a window see Esc and F1 before its controls do (key preview) and routes them through
// FormKeyUpCommon when released, inside the handler guard. The key must have been pressed in
// the same window: an Esc whose press closed a drop-down list or a menu, or whose press was
// taken by another window, does nothing when it is released here. Also sets the window's help
// context. Needs a QApplication.
void ZTInstallFormKeys(QWidget *form, int helpContext = HelpContextContents);
