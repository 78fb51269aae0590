#include "platform/Failure.h"

#include "platform/NameCodec.h"

#include <QCoreApplication>

#include <cerrno>
#include <cstring>

namespace platform {

Failure::Failure(int number, QString description, QString reason)
    : m_number(number)
    , m_description(std::move(description))
    , m_reason(std::move(reason))
    , m_utf8(m_description.toUtf8())
{ }

QString errnoText(int err)
{
    char buffer[256];
    // The GNU strerror_r returns a pointer that may or may not be the buffer.
    const char *text = strerror_r(err, buffer, sizeof buffer);
    return QString::fromLocal8Bit(text);
}

Failure Failure::refused(
    int number, const QString &what, std::initializer_list<QString> paths, const QString &why)
{
    QString description = what;
    bool first = true;
    for (const QString &path : paths) {
        description += first
            ? QCoreApplication::translate("Failure", " '%1'").arg(displayName(path))
            : QCoreApplication::translate("Failure", " to '%1'").arg(displayName(path));
        first = false;
    }
    if (!why.isEmpty())
        description += QStringLiteral(": ") + why;
    return Failure(number, description, why);
}

Failure Failure::cancellation(const QString &text)
{
    Failure failure(ECANCELED, text, text);
    failure.m_cancellation = true;
    return failure;
}

Failure Failure::fromErrno(int err, const QString &what, const QString &path)
{
    return refused(err, what, {path}, errnoText(err));
}

} // namespace platform
