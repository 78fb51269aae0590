#pragma once

#include <QString>

namespace fileops {

// Walks the files of the folder at folderPath once, to the end, and deletes every file whose
// name is exactly name (case-sensitive); a read-only file is refused. Returns whether a file was
// deleted. Deletion is for good: nothing goes to a trash.
bool deleteFilesNamed(const QString &folderPath, const QString &name);

} // namespace fileops
