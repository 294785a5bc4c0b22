// Dates, times and numbers in the user's regional format.
#include <QDateTime>
#include <QLocale>

#include <cmath>

#include "platform/app.h"
#include "platform/qt/qt_backend.h"

namespace vx::platform {

namespace qt {

QString TimeFormatWithSeconds(const QLocale& locale) {
    // The long format carries the seconds, and in most locales a time zone
    // ("t") that the system's time format does not have: drop that part.
    const QString longFormat = locale.timeFormat(QLocale::LongFormat);
    QString format;
    bool quoted = false;
    for (qsizetype i = 0; i < longFormat.size(); ++i) {
        const QChar c = longFormat[i];
        if (c == u'\'') quoted = !quoted;
        if (!quoted && c == u't') continue;
        format += c;
    }
    format = format.simplified();
    if (format.contains(u's')) return format;

    // No seconds in the long format: add them after the minutes of the short one.
    QString shortFormat = locale.timeFormat(QLocale::ShortFormat);
    const qsizetype minutes = shortFormat.indexOf(QStringLiteral("mm"));
    if (minutes < 0) return shortFormat + QStringLiteral(":ss");
    QString separator = QStringLiteral(":");
    if (minutes > 0 && !shortFormat[minutes - 1].isLetter()) separator = shortFormat[minutes - 1];
    shortFormat.insert(minutes + 2, separator + QStringLiteral("ss"));
    return shortFormat;
}

QString DateText(const QLocale& locale, const QDate& date) { return locale.toString(date, QLocale::ShortFormat); }

QString TimeText(const QLocale& locale, const QTime& time) {
    return locale.toString(time, TimeFormatWithSeconds(locale));
}

QString NumberText(const QLocale& locale, double value, int decimals) {
    // A value that rounds to zero shows no minus sign.
    const double scale = std::pow(10.0, decimals);
    if (std::round(std::fabs(value) * scale) == 0) value = 0;
    return locale.toString(value, 'f', decimals);
}

}  // namespace qt

std::string DateText() { return qt::FromQ(qt::DateText(QLocale::system(), QDate::currentDate())); }
std::string TimeText() { return qt::FromQ(qt::TimeText(QLocale::system(), QTime::currentTime())); }

std::string FormatNumber(double value, int decimals) {
    return qt::FromQ(qt::NumberText(QLocale::system(), value, decimals));
}

}  // namespace vx::platform
