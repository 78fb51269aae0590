#include "testsupport.h"

#include "platform/NameCodec.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTest>

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace testing {

static QByteArray processFolder()
{
    char buffer[4096];
    return ::getcwd(buffer, sizeof buffer) ? QByteArray(buffer) : QByteArray();
}

QByteArray makeScratchFolder()
{
    QByteArray name
        = processFolder() + '/' + QCoreApplication::applicationName().toUtf8() + "-XXXXXX";
    if (!::mkdtemp(name.data()))
        qFatal("cannot make a folder like %s", name.constData());
    return name;
}

CurrentFolder::CurrentFolder(const QByteArray &path)
    : m_previous(processFolder())
{
    if (::chdir(path.constData()) != 0)
        qFatal("cannot change to %s", path.constData());
}

CurrentFolder::~CurrentFolder()
{
    if (!m_previous.isEmpty() && ::chdir(m_previous.constData()) != 0)
        qWarning("cannot change back to %s", m_previous.constData());
}

void useEnglishLocale()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void writeFile(const QByteArray &path, const QByteArray &bytes, mode_t mode)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    QVERIFY2(fd >= 0, path.constData());
    const ssize_t written = ::write(fd, bytes.constData(), size_t(bytes.size()));
    const int modeSet = ::fchmod(fd, mode);
    ::close(fd);
    QCOMPARE(written, bytes.size());
    QCOMPARE(modeSet, 0);
}

QByteArray readFile(const QByteArray &path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return QByteArray("<missing>");
    QByteArray bytes;
    char buffer[65536];
    for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) > 0;)
        bytes.append(buffer, got);
    ::close(fd);
    return bytes;
}

void makeFolder(const QByteArray &path)
{
    QVERIFY2(::mkdir(path.constData(), 0755) == 0, path.constData());
}

void removeTree(const QByteArray &path)
{
    struct stat status;
    if (::lstat(path.constData(), &status) != 0)
        return;
    if (!S_ISDIR(status.st_mode)) {
        ::unlink(path.constData());
        return;
    }
    // A folder without write or search permission cannot be emptied, even by its owner.
    ::chmod(path.constData(), 0700);
    if (DIR *stream = ::opendir(path.constData())) {
        while (const struct dirent *entry = ::readdir(stream)) {
            const QByteArray name(entry->d_name);
            if (name != "." && name != "..")
                removeTree(path + '/' + name);
        }
        ::closedir(stream);
    }
    ::rmdir(path.constData());
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

static void collect(
    QMap<QByteArray, QByteArray> &entries, const QByteArray &root, const QByteArray &prefix)
{
    for (const QByteArray &name : folderEntries(root + '/' + prefix)) {
        const QByteArray relative = prefix + name;
        const QByteArray path = root + '/' + relative;
        struct stat status;
        if (::lstat(path.constData(), &status) != 0)
            continue;
        if (S_ISDIR(status.st_mode)) {
            entries.insert(relative, "folder");
            collect(entries, root, relative + '/');
        } else if (S_ISLNK(status.st_mode)) {
            char target[4096];
            const ssize_t length = ::readlink(path.constData(), target, sizeof target);
            entries.insert(relative, "link:" + QByteArray(target, std::max<ssize_t>(length, 0)));
        } else {
            entries.insert(relative, S_ISREG(status.st_mode) ? "file:" + readFile(path) : "other");
        }
    }
}

QMap<QByteArray, QByteArray> entriesOf(const QByteArray &path)
{
    QMap<QByteArray, QByteArray> entries;
    collect(entries, path, {});
    return entries;
}

QList<QByteArray> treeOf(const QByteArray &path)
{
    QList<QByteArray> tree;
    const QMap<QByteArray, QByteArray> entries = entriesOf(path);
    for (auto entry = entries.begin(); entry != entries.end(); ++entry) {
        const QByteArray &what = entry.value();
        if (what == "folder")
            tree.push_back(entry.key() + '/');
        else if (what.startsWith("file:"))
            tree.push_back(entry.key() + '=' + what.mid(5));
        else
            tree.push_back(entry.key() + '@' + what);
    }
    return tree;
}

QByteArray bytesOf(const QString &path)
{
    return platform::encodeName(path);
}

struct WithoutFileAccessOverride::Saved
{
    __user_cap_header_struct header {};
    __user_cap_data_struct data[2] {};
};

WithoutFileAccessOverride::WithoutFileAccessOverride()
    : m_saved(std::make_unique<Saved>())
{
    m_saved->header.version = _LINUX_CAPABILITY_VERSION_3;
    if (::syscall(SYS_capget, &m_saved->header, m_saved->data) != 0)
        return;
    __user_cap_data_struct reduced[2] = {m_saved->data[0], m_saved->data[1]};
    reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
    m_active = ::syscall(SYS_capset, &m_saved->header, reduced) == 0;
}

WithoutFileAccessOverride::~WithoutFileAccessOverride()
{
    if (m_active)
        ::syscall(SYS_capset, &m_saved->header, m_saved->data);
}

} // namespace testing
