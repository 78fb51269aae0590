#include "filelist/CellText.h"

#include <QDate>
#include <QTime>

#include <algorithm>
#include <ctime>
#include <limits>

namespace filelist {

namespace {

QString dateAndTimeText(QDate date, QTime clock, const QLocale &locale)
{
    return locale.toString(date, QLocale::ShortFormat) + QLatin1Char(' ')
        + locale.toString(clock, QLocale::ShortFormat);
}

} // namespace

QString dateText(platform::Timestamp moment, const QLocale &locale)
{
    constexpr std::int64_t perSecond = 1'000'000'000;
    std::int64_t seconds = moment / perSecond;
    if (moment % perSecond < 0)
        --seconds; // round towards the past for moments before 1970
    const time_t time = time_t(seconds);
    struct tm local
    { };
    if (!localtime_r(&time, &local))
        return QString();
    const QDate date(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
    const QString dateText = locale.toString(date, QLocale::ShortFormat);
    if (local.tm_hour == 0 && local.tm_min == 0 && local.tm_sec == 0)
        return dateText;
    return dateAndTimeText(
        date, QTime(local.tm_hour, local.tm_min, std::min(local.tm_sec, 59)), locale);
}

// Whatever the font's digits, one of these is at least as wide as any size text: every pairing
// of a leading digit with the digit that fills all other places, in the largest size's number of
// digits.
QStringList widestSizeTexts(const QLocale &locale)
{
    const int places
        = int(QByteArray::number(std::numeric_limits<std::int64_t>::max() / 1024).size());
    QStringList texts;
    for (int lead = 1; lead <= 9; ++lead) {
        for (int fill = 0; fill <= 9; ++fill) {
            qlonglong whole = lead;
            for (int place = 1; place < places; ++place)
                whole = whole * 10 + fill;
            texts.push_back(locale.toString(whole) + locale.decimalPoint()
                + locale.toString(fill).repeated(2) + QStringLiteral("KB"));
        }
    }
    return texts;
}

QStringList widestDateTexts(const QLocale &locale)
{
    QStringList texts;
    for (int month = 1; month <= 12; ++month) {
        for (int hour = 0; hour < 24; ++hour)
            texts.push_back(dateAndTimeText(QDate(2028, month, 28), QTime(hour, 58), locale));
    }
    return texts;
}

} // namespace filelist
