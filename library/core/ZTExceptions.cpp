#include "ZTExceptions.h"

#include <cstdio>
#include <mutex>

EZTException::EZTException(const QString &message, const QString &details, std::uint8_t severity)
    : message_(message), details_(details), severity_(severity), what_(message.toUtf8())
{}

EConvertError::EConvertError(const QString &message) : std::runtime_error(message.toUtf8().toStdString()) {}

QString ZTExceptionMessage(const std::exception_ptr &error)
{
    if (!error)
        return QString();
    try {
        std::rethrow_exception(error);
    } catch (const EZTException &e) {
        return e.Message();
    } catch (const std::exception &e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("Unknown error.");
    }
}

EZTException ZTConvertException(TZTRaise mode, const QString &message, const std::exception_ptr &error)
{
    if (mode == TZTRaise::PassThrough) {
        try {
            std::rethrow_exception(error);
        } catch (const EZTException &e) {
            return e;
        } catch (...) {
        }
    }
    return EZTException(message, ZTExceptionMessage(error), EZTException::Warning);
}

namespace {
std::mutex handlerMutex;
TZTExceptionHandler &Handler()
{
    static TZTExceptionHandler handler;
    return handler;
}
} // namespace

void ZTSetExceptionHandler(TZTExceptionHandler handler)
{
    std::lock_guard<std::mutex> guard(handlerMutex);
    Handler() = std::move(handler);
}

void ZTHandleException(const std::exception_ptr &error) noexcept
{
    TZTExceptionHandler handler;
    {
        std::lock_guard<std::mutex> guard(handlerMutex);
        handler = Handler();
    }
    try {
        if (handler) {
            handler(error);
            return;
        }
        std::fprintf(stderr, "%s\n", ZTExceptionMessage(error).toLocal8Bit().constData());
    } catch (...) {
        std::fprintf(stderr, "Unexpected error.\n");
    }
}
