#pragma once
// The application-wide error display. Every exception that escapes a handler on the
// user-interface thread ends here: it is shown in the details dialog, and the severity of an
// EZTException decides whether the program goes on. Anything that is not an EZTException is an
// unexpected error and ends the program.

#include <QApplication>
#include <QObject>
#include <QString>

#include <cstdint>
#include <exception>
#include <functional>

class QWidget;

class TZTAppEvents : public QObject {
    Q_OBJECT

public:
    // Ends the program after a fatal error has been shown.
    using TZTTerminate = std::function<void()>;

    // Title, language (0 Portuguese, 1 English) and font name go into every dialog shown.
    TZTAppEvents(const QString &title, std::uint8_t languageId, const QString &fontName, QObject *parent = nullptr);
    ~TZTAppEvents() override;

    void SetTitle(const QString &title) { title_ = title; }
    void SetLanguageId(std::uint8_t languageId) { languageId_ = languageId; }
    void SetFontName(const QString &fontName) { fontName_ = fontName; }
    const QString &Title() const { return title_; }
    std::uint8_t LanguageId() const { return languageId_; }
    const QString &FontName() const { return fontName_; }

    // Replaces the default ending (standard streams flushed, then the process ends at once with
    // exit code 1, skipping everything that would still run). Start-up may put its shutdown in
    // front; tests observe the call.
    void SetTerminate(TZTTerminate terminate);
    static void DefaultTerminate();

    // Makes this object the handler that every guard hands its exceptions to (ZTHandleException).
    // The destructor removes it again when it is still the installed one.
    void Install();
    void Uninstall();
    bool Installed() const;

    // The handler: brings the application to the front, then shows the exception by its
    // severity and ends the program for a fatal or unexpected one. Called on another thread,
    // it hands the exception to the thread this object lives in (the user-interface thread)
    // and returns at once.
    void aeEventsException(const std::exception_ptr &error);

    // Raises and activates the active window, or else the first visible top-level window;
    // returns it, or nullptr when the program shows no window (it lives in the tray).
    static QWidget *BringApplicationToFront();

private:
    QString title_;
    std::uint8_t languageId_;
    QString fontName_;
    TZTTerminate terminate_;
};

// The application object of the program: its notify is the last safety net, handing anything
// that escapes an event handler to the application-wide handler instead of letting it cross the
// event loop.
class TZTGuardedApplication : public QApplication {
    Q_OBJECT

public:
    TZTGuardedApplication(int &argc, char **argv);
    ~TZTGuardedApplication() override;

    bool notify(QObject *receiver, QEvent *event) override;
};
