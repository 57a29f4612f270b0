#pragma once
// The one exception class of the program and the two raising patterns every handler follows.
//
// Pass-through: an EZTException raised inside the body goes on unchanged; any other exception
// becomes EZTException(handler's message, cause's message, 1).
// Wrap-all: every exception, EZTException included, becomes EZTException(handler's message,
// cause's message, 1), so the user always learns which operation failed.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <exception>
#include <functional>
#include <stdexcept>
#include <utility>

class EZTException : public std::exception {
public:
    EZTException(const QString &message, const QString &details = QString(), std::uint8_t severity = 1);

    const QString &Message() const noexcept { return message_; }
    const QString &Details() const noexcept { return details_; }
    std::uint8_t Severity() const noexcept { return severity_; }

    const char *what() const noexcept override { return what_.constData(); }

    static constexpr std::uint8_t Fatal = 0;
    static constexpr std::uint8_t Warning = 1;
    static constexpr std::uint8_t Information = 2;

private:
    QString message_;
    QString details_;
    std::uint8_t severity_;
    QByteArray what_;
};

// The platform's conversion error: a text that holds no number or no valid date or time.
class EConvertError : public std::runtime_error {
public:
    explicit EConvertError(const QString &message);
};

enum class TZTRaise { PassThrough, WrapAll };

// The user-facing message of any exception: an EZTException's message, a standard exception's
// what() (read as UTF-8), or "Unknown error." for anything else.
QString ZTExceptionMessage(const std::exception_ptr &error);

// Converts the exception in `error` by the given pattern into the EZTException to raise.
EZTException ZTConvertException(TZTRaise mode, const QString &message, const std::exception_ptr &error);

// Runs body and raises what it raises converted by the pattern. Returns body's result.
template <class F>
auto ZTRaising(TZTRaise mode, const QString &message, F &&body) -> decltype(body())
{
    try {
        return std::forward<F>(body)();
    } catch (...) {
        throw ZTConvertException(mode, message, std::current_exception());
    }
}

// The application-wide handler every guard hands its exception to. Until the program
// installs one, exceptions are written to standard error (tests install their own).
using TZTExceptionHandler = std::function<void(const std::exception_ptr &)>;
void ZTSetExceptionHandler(TZTExceptionHandler handler);
void ZTHandleException(const std::exception_ptr &error) noexcept;

// The guard around every slot, event handler and timer handler: runs body, converts what it
// raises by the pattern and hands the result to the application-wide handler. Nothing escapes.
// Returns true when body completed without raising.
template <class F>
bool ZTGuard(TZTRaise mode, const QString &message, F &&body) noexcept
{
    try {
        std::forward<F>(body)();
        return true;
    } catch (...) {
        std::exception_ptr converted;
        try {
            converted = std::make_exception_ptr(ZTConvertException(mode, message, std::current_exception()));
        } catch (...) {
            converted = std::current_exception();
        }
        ZTHandleException(converted);
        return false;
    }
}
