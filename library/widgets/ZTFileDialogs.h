#pragma once
// The platform's open/save file dialogs with the program's filter form.
//
// Filters are written as description|pattern pairs, all separated by '|':
// "Comma Separated Values (*.csv)|*.csv|All Files (*.*)|*.*". A pattern may list several
// wildcards separated by ';' ("*.wav;*.wave"); "*.*" stands for every file.

#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

struct TZTFileDialogOptions {
    enum TKind { Open, Save };
    TKind Kind = Open;
    QString Title;
    QString Filter;     // "Comma Separated Values (*.csv)|*.csv|All Files (*.*)|*.*" (pairs split by '|')
    QString DefaultExt; // without the dot; added when the chosen name has no extension
    bool FileMustExist = false;
    bool PathMustExist = false;
    bool OverwritePrompt = false;
    QString FileName; // initial file name (empty = none)
};

// Shows the dialog modally (QFileDialog, not a native one, so it works everywhere) and returns the chosen
// path, or an empty string when cancelled. Without an owner the dialog belongs to the active window.
QString ZTExecuteFileDialog(QWidget *owner, const TZTFileDialogOptions &options);

// Tests: while set, ZTExecuteFileDialog asks the answerer instead of showing anything; it returns the path.
// The answer stands for what the user chose in the dialog, so it gets the default extension as a chosen
// name does; an empty answer is a cancel.
using TZTFileDialogAnswerer = std::function<QString(const TZTFileDialogOptions &options)>;
void ZTSetFileDialogAnswerer(TZTFileDialogAnswerer answerer);

// ---- The pieces of the dialog, for its users and tests ----

// The filter as the dialog's list of name filters, one "Description (patterns)" per pair, the
// patterns separated by blanks and "*.*" shown as "*". A description that already ends in a
// parenthesised pattern has that part replaced; a description without a pattern (an odd count of
// parts) is dropped. An empty filter gives an empty list.
QStringList ZTFileDialogNameFilters(const QString &filter);

// The extension (without the dot) of a name filter's first pattern of the form "*.ext", as in
// "iCalendar files (*.ics)"; empty when it has none ("All Files (*)").
QString ZTFilterExtension(const QString &nameFilter);

// The path with ".ext" added when the name part (after the last '/') has no extension; unchanged
// for an empty path, an empty extension, or a path ending in '/'. A name whose only dot is its
// first character (".profile") counts as having no extension.
QString ZTAddDefaultExt(const QString &path, const QString &defaultExt);
