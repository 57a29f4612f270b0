#pragma once
// A text field with a browse button that opens ZTExecuteFileDialog. The field accepts typed
// text too; the dialog starts at the name in the field. Usable as a promoted widget in .ui files
// (header "ZTFileEdit.h"); a label's buddy set to it gives the focus to the text field.

#include "ZTFileDialogs.h"

#include <QWidget>

class QAbstractButton;
class QLineEdit;
class QToolButton;

class TZTFileEdit : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString fileName READ FileName WRITE SetFileName NOTIFY FileNameChanged USER true)

public:
    explicit TZTFileEdit(QWidget *parent = nullptr);

    // What the browse button's dialog is opened with (its FileName is taken from the field).
    TZTFileDialogOptions &DialogOptions();
    const TZTFileDialogOptions &DialogOptions() const;

    QString FileName() const;
    void SetFileName(const QString &name);

    QLineEdit *Edit() const;               // object name "Edit"
    QAbstractButton *BrowseButton() const; // object name "Browse"

    // Opens the dialog as the browse button does; a chosen name replaces the field's text.
    // Returns whether a name was chosen.
    bool Browse();

    // The accessible names: the control and its field take the caption, the button
    // "Browse " + caption, so several file edits of one window stay apart.
    void SetAccessibleCaption(const QString &caption);

Q_SIGNALS:
    // The text changed, typed or set.
    void FileNameChanged(const QString &name);

private Q_SLOTS:
    void BrowseClick();

private:
    QLineEdit *edit_;
    QToolButton *browse_;
    TZTFileDialogOptions options_;
};
