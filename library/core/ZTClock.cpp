#include "ZTClock.h"

#include <mutex>

namespace {
std::mutex clockMutex;
std::function<QDateTime()> &Source()
{
    static std::function<QDateTime()> source;
    return source;
}
} // namespace

QDateTime ZTNowDateTime()
{
    std::function<QDateTime()> source;
    {
        std::lock_guard<std::mutex> guard(clockMutex);
        source = Source();
    }
    if (source)
        return source();
    // The only place that reads the system clock.
    return QDateTime::currentDateTime();
}

TDateTime ZTNow()
{
    return FromQDateTime(ZTNowDateTime());
}

void ZTPinClock(const QDateTime &moment)
{
    ZTSetClock([moment] { return moment; });
}

void ZTSetClock(std::function<QDateTime()> source)
{
    std::lock_guard<std::mutex> guard(clockMutex);
    Source() = std::move(source);
}

void ZTResetClock()
{
    ZTSetClock({});
}
