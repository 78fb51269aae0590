#pragma once

#include <QString>

#include <exception>
#include <initializer_list>

namespace platform {

// A refused request: a number (errno for an operating-system failure) and a description a
// person can read. Thrown by the platform layer and the handlers' steps, and caught by the one
// guard around every event handler.
//
// Every description is made here, in one shape: what could not be done, the paths it concerns
// in quotes (shown as displayName shows names), and why:
//     Cannot copy 'notes.txt' to '/backup/notes.txt': the destination is a folder
// The caller gives "what" and "why" as its own translated texts, or takes "why" from errno.
class Failure : public std::exception
{
public:
    static Failure refused(int number, const QString &what, std::initializer_list<QString> paths,
        const QString &why = QString());
    // "why" is the system's text for errno err.
    static Failure fromErrno(int err, const QString &what, const QString &path);
    // A call the user cancelled: number ECANCELED, and as description the whole sentence the
    // status line shows ("copying notes.txt to /backup was cancelled; nothing was copied").
    // It ends a handler as any failure does, but it is the user's choice, not an error to report.
    static Failure cancellation(const QString &text);

    bool isCancellation() const { return m_cancellation; }

    int number() const { return m_number; }
    const QString &description() const { return m_description; }
    // The "why" of the description alone, so that a caller can word the failure of a step as the
    // failure of its own request.
    const QString &reason() const { return m_reason; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    Failure(int number, QString description, QString reason);

    int m_number;
    bool m_cancellation = false;
    QString m_description;
    QString m_reason;
    QByteArray m_utf8;
};

// The text of errno value err, as strerror gives it, thread-safe.
QString errnoText(int err);

} // namespace platform
