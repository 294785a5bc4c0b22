// Regional text for a given locale (the program uses the system's).
#pragma once

#include <QDate>
#include <QLocale>
#include <QString>
#include <QTime>

namespace vx::platform::qt {

// The locale's time format, always with seconds and without a time zone.
QString TimeFormatWithSeconds(const QLocale& locale);
QString DateText(const QLocale& locale, const QDate& date);
QString TimeText(const QLocale& locale, const QTime& time);
// Grouped, with exactly `decimals` decimals.
QString NumberText(const QLocale& locale, double value, int decimals);

}  // namespace vx::platform::qt
