#pragma once

// Inside the platform layer only: what a Folder holds.

#include <QByteArray>
#include <QString>

#include <unistd.h>

namespace platform {

// An open folder: the descriptor that every per-entry statx is relative to, and the path as
// the caller gave it (text for messages, bytes for the kernel).
struct OpenFolder
{
    OpenFolder(QString pathText, QByteArray pathBytes, int descriptor)
        : text(std::move(pathText))
        , bytes(std::move(pathBytes))
        , fd(descriptor)
    { }
    ~OpenFolder() { ::close(fd); }
    OpenFolder(const OpenFolder &) = delete;
    OpenFolder &operator=(const OpenFolder &) = delete;

    QString text;
    QByteArray bytes;
    int fd;
};

} // namespace platform
