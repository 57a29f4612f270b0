#pragma once
// The program's help viewer: one non-modal window that shows the HTML manual, opened at the
// anchor of a help context, with Back, Forward and Contents buttons. One viewer serves the
// whole program; closing it only hides it, and the next request shows it again.

#include <QPointer>
#include <QString>
#include <QUrl>
#include <QWidget>

#include <memory>

namespace Ui {
class TZTHelpViewer;
}

class TZTHelpViewer : public QWidget {
    Q_OBJECT
public:
    ~TZTHelpViewer() override;

    // The viewer of the program, or nullptr when none has been opened yet.
    static TZTHelpViewer *Instance();

    // Creates the viewer when there is none, loads the file when it is not the one shown,
    // goes to the context's anchor and brings the window to the front. Raises a platform
    // error (std::runtime_error) when the file cannot be read.
    static TZTHelpViewer *Open(const QString &helpFile, int context);

    // Goes to a context of the given file in this viewer.
    void ShowTopic(const QString &helpFile, int context);

    QString HelpFile() const { return helpFile_; }
    // The anchor shown last ("550"), empty when a page without anchor is shown.
    QString CurrentAnchor() const;
    QUrl CurrentSource() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private Q_SLOTS:
    void cmdBackClick();
    void cmdForwardClick();
    void cmdContentsClick();
    void cmdCloseClick();
    void txtHelpSourceChanged(const QUrl &source);

private:
    TZTHelpViewer();
    void StayUsableOverModalWindow();
    void LeaveOwner();
    void UpdateCaption();

    std::unique_ptr<Ui::TZTHelpViewer> ui_;
    QString helpFile_;
    QPointer<QWidget> owner_;
    static QPointer<TZTHelpViewer> instance_;
};
