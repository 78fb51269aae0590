#include "testsupport.h"

#include "app/Forms.h"
#include "platform/NameCodec.h"

#include <QCoreApplication>
#include <QLocale>

#include <QTest>

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace testing {

int ScriptedMessages::MsgBox(const QString &prompt, int buttons)
{
    boxes.push_back({prompt, buttons});
    if (answers.empty())
        return Ok;
    const int answer = answers.front();
    answers.pop_front();
    return answer;
}

void ScriptedMessages::reportFailure(const platform::Failure &failure)
{
    failures.push_back(failure);
}

CurrentFolder::CurrentFolder(const QByteArray &path)
{
    char buffer[4096];
    if (::getcwd(buffer, sizeof buffer))
        m_previous = buffer;
    if (::chdir(path.constData()) != 0)
        qFatal("cannot change to %s", path.constData());
}

CurrentFolder::~CurrentFolder()
{
    if (!m_previous.isEmpty() && ::chdir(m_previous.constData()) != 0)
        qWarning("cannot change back to %s", m_previous.constData());
}

void unloadAllForms()
{
    for (const char *name : {"Form2", "Form3", "Form4", "Form1"})
        app::Forms::unload(QString::fromLatin1(name));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void useEnglishLocale()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void writeFile(const QByteArray &path, const QByteArray &contents)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    QVERIFY2(fd >= 0, path.constData());
    QCOMPARE(::write(fd, contents.constData(), size_t(contents.size())), contents.size());
    QCOMPARE(::close(fd), 0);
}

QByteArray readFile(const QByteArray &path)
{
    QByteArray contents;
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return QByteArray("<missing>");
    char buffer[65536];
    ssize_t got;
    while ((got = ::read(fd, buffer, sizeof buffer)) > 0)
        contents.append(buffer, got);
    ::close(fd);
    return contents;
}

QList<QByteArray> folderEntries(const QByteArray &path)
{
    QList<QByteArray> names;
    DIR *stream = ::opendir(path.constData());
    if (!stream)
        return names;
    while (const struct dirent *entry = ::readdir(stream)) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..")
            names.push_back(name);
    }
    ::closedir(stream);
    std::sort(names.begin(), names.end());
    return names;
}

QByteArray bytesOf(const QString &path)
{
    return platform::encodeName(path);
}

} // namespace testing
