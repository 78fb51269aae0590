#pragma once

#include <QString>

#include <exception>

namespace platform {

// A refused request: a number (errno for an operating-system failure) and a description a
// person can read, naming the path or paths involved. Thrown by the platform layer and caught
// by the one guard around every event handler.
class Failure : public std::exception
{
public:
    Failure(int number, QString description);

    // "<action> '<path>': <strerror(err)>", with errno's number.
    static Failure fromErrno(int err, const QString &action, const QString &path);
    // "<action> '<source>' to '<destination>': <strerror(err)>".
    static Failure fromErrno(
        int err, const QString &action, const QString &source, const QString &destination);

    int number() const { return m_number; }
    const QString &description() const { return m_description; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    int m_number;
    QString m_description;
    QByteArray m_utf8;
};

// The text of errno value err, as strerror gives it, thread-safe.
QString errnoText(int err);

} // namespace platform
