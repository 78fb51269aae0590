#pragma once

#include <QString>

// The calls that change the file system: copy, move and delete one file.
//
// Every path is the name codec's text form and reaches the kernel as its exact bytes. Every
// refusal throws platform::Failure with an errno number and a description naming the path or
// paths. A refused or failed call leaves the source and the destination as they were: a copy is
// written into an unnamed file in the destination's folder (O_TMPFILE; a hidden temporary file
// where the file system has none, and on FUSE) and gets its name only once it is complete and
// flushed, and a move never replaces an existing entry (where the file system offers neither
// RENAME_NOREPLACE nor hard links, as FAT and exFAT through FUSE, short of one that another
// program puts under the claimed name in the instant before the rename). A volume's refusals are
// said in words, with the system's number: a file too large for it or for its free space
// (checked before a byte is written), a name with characters it does not accept.
//
// Copying runs in chunks: after each one it reports progress (platform::reportProgress, in
// bytes) and stops when the current call was cancelled (platform::cancelRequested), failing with
// ECANCELED. Holes of sparse files stay holes, and a source that changes while it is copied
// fails the copy.
namespace platform::changes {

// Copies the regular file source (symbolic links followed) to destination; the copy gets the
// source's modification time, and the permission bits of the source, or where it replaces a file
// that file's owner, group and permission bits (as far as the process may set them). Refused: the
// same file by device and inode, a destination that is a folder, a symbolic link (never written
// through), not a regular file, read-only (no 0222 bit, also for root), or that exists while
// overwrite is false. Other hard links to a replaced destination keep its old bytes: the name gets
// a new file.
void copyFile(const QString &source, const QString &destination, bool overwrite);

// Moves (renames) source to destination without ever replacing an existing entry, the source
// itself and its hard links included. A destination ending in '/' means the same name inside
// that folder. Across file systems a regular file or symbolic link is copied, published without
// replacing, and only then is the source removed. Folders are refused.
void moveFile(const QString &source, const QString &destination);

// Removes one file for good (a symbolic link itself, never its target). Refused: a folder, and
// a read-only file (no 0222 bit, also for root) unless force is true.
void deleteFile(const QString &path, bool force);

} // namespace platform::changes
