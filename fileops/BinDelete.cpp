#include "fileops/BinDelete.h"

#include "platform/FileSystem.h"

namespace fileops {

bool deleteFilesNamed(const QString &folderPath, const QString &name)
{
    const platform::FileSystemObject fileSystem;
    const platform::Folder folder = fileSystem.GetFolder(folderPath);
    bool deleted = false;
    for (const platform::File &file : folder.Files()) {
        if (file.Name() == name) {
            file.Delete(false);
            deleted = true;
        }
    }
    return deleted;
}

} // namespace fileops
