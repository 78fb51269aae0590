#pragma once

// Shared helpers for every test: file helpers that take raw byte paths (so that names that are
// not UTF-8 work), the current folder, the locale, and root's file access given up. They need
// Qt Core alone; windowsupport.h adds what the tests of the windows share.

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

#include <memory>

#include <sys/types.h>

namespace testing {

// A fresh folder under the current folder, named after the test program; the caller removes it.
QByteArray makeScratchFolder();

// Makes path the process's current folder (where the program and its dialogs start) for the
// lifetime of this object.
class CurrentFolder
{
public:
    explicit CurrentFolder(const QByteArray &path);
    ~CurrentFolder();
    CurrentFolder(const CurrentFolder &) = delete;
    CurrentFolder &operator=(const CurrentFolder &) = delete;

private:
    QByteArray m_previous;
};

// Pins the locale the texts are checked in (en_US: 1,024.00KB).
void useEnglishLocale();

// Writes bytes to the file at path and gives it exactly mode; fails the test on error.
void writeFile(const QByteArray &path, const QByteArray &bytes, mode_t mode = 0644);
// The file's bytes, or "<missing>" when it cannot be opened. Never blocks on a FIFO.
QByteArray readFile(const QByteArray &path);
void makeFolder(const QByteArray &path);
// Removes path and everything under it without following symbolic links, read-only folders
// included.
void removeTree(const QByteArray &path);
// The names in a folder, sorted, as raw bytes.
QList<QByteArray> folderEntries(const QByteArray &path);
// Everything under a folder by raw path relative to it, symbolic links not followed: "folder",
// "file:" and the bytes, "link:" and the target, or "other". Comparing two shows whatever
// appeared, vanished or changed.
QMap<QByteArray, QByteArray> entriesOf(const QByteArray &path);
// The same as a sorted list, shorter to write out: a folder as "name/", a file as "name=" and
// its bytes, anything else as "name@" and what entriesOf says of it.
QList<QByteArray> treeOf(const QByteArray &path);
QByteArray bytesOf(const QString &path);

// Gives up, for this thread and the threads it starts, root's right to read, write and search
// any file whatever its mode, so that a folder's mode bits apply; restores it when it goes.
// active() is false where the right could not be given up.
class WithoutFileAccessOverride
{
public:
    WithoutFileAccessOverride();
    ~WithoutFileAccessOverride();
    WithoutFileAccessOverride(const WithoutFileAccessOverride &) = delete;
    WithoutFileAccessOverride &operator=(const WithoutFileAccessOverride &) = delete;

    bool active() const { return m_active; }

private:
    struct Saved;
    std::unique_ptr<Saved> m_saved;
    bool m_active = false;
};

} // namespace testing
