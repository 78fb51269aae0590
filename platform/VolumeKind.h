#pragma once

#include <QByteArray>
#include <QLocale>
#include <QString>

#include <cstdint>

#include <sys/types.h>

namespace platform {

// What the file-system layer must know of the volume a file goes to before, or after, asking it
// to hold that file: the kinds whose limits and refusals differ from a Linux file system's.
// Found from the file system's magic number (fstatfs) and, for a FUSE mount, its type in
// /proc/self/mountinfo ("fuse.fusefat"); nothing on the volume itself is read.
struct VolumeKind
{
    // A FUSE driver serves the calls, and it alone decides which it offers (no RENAME_NOREPLACE,
    // no hard links, no O_TMPFILE, no owners); inode numbers may be given per name, not per file.
    bool fuse = false;
    // FAT (the kernel's driver or a FUSE one): no file of 4 GiB or more, no holes, no owners.
    bool fat = false;
    // A kind that may refuse names Windows refuses: FAT, exFAT, NTFS (also through FUSE) and SMB
    // shares.
    bool windowsNames = false;

    // The kind of the volume that the open descriptor fd (a file, or a folder opened with
    // O_PATH) lies on; a plain Linux volume where it cannot be told.
    static VolumeKind of(int fd);

    // The largest file the volume can hold, in bytes.
    std::int64_t largestFile() const;
};

// The type of the mount whose device is dev, in the text of /proc/self/mountinfo; empty where
// none is listed.
QByteArray mountTypeOf(const QByteArray &mountInfo, dev_t dev);

// Why a volume of this kind refused the name, where the name itself shows it: characters it
// never takes (" * : < > ? \ | and control characters), a name that ends in a space or a dot or
// that Windows keeps for a device (NTFS with Windows names), characters beyond ASCII (FAT through
// fusefat), a name that is not UTF-8. Empty where the name shows no reason or the volume is of
// a kind that takes every name.
QString nameRefusal(const QByteArray &name, const VolumeKind &kind);

// A byte count as the program shows sizes: bytes divided by 1024, two decimals, "KB" with no
// space (1536 bytes gives "1.50KB").
QString sizeText(std::int64_t bytes, const QLocale &locale = QLocale());

} // namespace platform
