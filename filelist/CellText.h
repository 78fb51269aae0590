#pragma once

#include "platform/FileSystem.h"
#include "platform/VolumeKind.h"

#include <QLocale>
#include <QString>
#include <QStringList>

namespace filelist {

// The texts of the Size, Modified and Created columns, in the user's locale.

// Bytes divided by 1024, two decimals, "KB" with no space: 1536 bytes gives "1.50KB". The
// platform layer words sizes in its failures the same way.
using platform::sizeText;

// The locale's short date and time of a moment in local time; the date alone when the time is
// exactly midnight. Local time comes from localtime_r, which reads the time zone once, not per
// call as QDateTime's conversion does.
QString dateText(platform::Timestamp moment, const QLocale &locale = QLocale());

// Texts at least as wide as any the columns show, for sizing them: sizes with as many digits as
// the largest a file can have (2^63 bytes give 9,007,199,254,740,992.00KB), and the dates of a
// two-digit day in each month at each hour of the day.
QStringList widestSizeTexts(const QLocale &locale = QLocale());
QStringList widestDateTexts(const QLocale &locale = QLocale());

} // namespace filelist
