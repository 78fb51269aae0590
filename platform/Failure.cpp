#include "platform/Failure.h"

#include "platform/NameCodec.h"

#include <cstring>

namespace platform {

Failure::Failure(int number, QString description)
    : m_number(number)
    , m_description(std::move(description))
    , m_utf8(m_description.toUtf8())
{ }

QString errnoText(int err)
{
    char buffer[256];
    // The GNU strerror_r returns a pointer that may or may not be the buffer.
    const char *text = strerror_r(err, buffer, sizeof buffer);
    return QString::fromLocal8Bit(text);
}

Failure Failure::fromErrno(int err, const QString &action, const QString &path)
{
    return Failure(
        err, QStringLiteral("%1 '%2': %3").arg(action, displayName(path), errnoText(err)));
}

Failure Failure::fromErrno(
    int err, const QString &action, const QString &source, const QString &destination)
{
    return Failure(err,
        QStringLiteral("%1 '%2' to '%3': %4")
            .arg(action, displayName(source), displayName(destination), errnoText(err)));
}

} // namespace platform
