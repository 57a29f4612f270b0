#pragma once
// The program's one clock. Every use of the current moment reads it; tests pin it.

#include "ZTDateUtils.h"

#include <QDateTime>

#include <functional>

// The current local date and time.
QDateTime ZTNowDateTime();
// The current moment as a TDateTime.
TDateTime ZTNow();

// Makes the clock answer with the given moment until changed or reset.
void ZTPinClock(const QDateTime &moment);
// Makes the clock ask the given function (for clocks that move under a test's control).
void ZTSetClock(std::function<QDateTime()> source);
// Back to the system's clock.
void ZTResetClock();
