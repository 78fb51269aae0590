#include "filelist/CellText.h"

#include <QDate>
#include <QTime>

#include <algorithm>
#include <ctime>

namespace filelist {

QString sizeText(std::int64_t bytes, const QLocale &locale)
{
    return locale.toString(double(bytes) / 1024.0, 'f', 2) + QStringLiteral("KB");
}

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
    const QTime clock(local.tm_hour, local.tm_min, std::min(local.tm_sec, 59));
    return dateText + QLatin1Char(' ') + locale.toString(clock, QLocale::ShortFormat);
}

} // namespace filelist
