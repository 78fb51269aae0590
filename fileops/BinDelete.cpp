#include "fileops/BinDelete.h"

#include "platform/CallState.h"
#include "platform/FileSystem.h"
#include "platform/LongCall.h"
#include "platform/NameCodec.h"

#include <QCoreApplication>

#include <cerrno>

namespace fileops {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("BinDelete", text);
}

// The walk runs on a worker thread. Cancel stops it before the next file is looked at; once a
// file is deleted, the walk reports that rather than a cancellation.
bool walkAndDelete(const QString &folderPath, const QString &name)
{
    const platform::FileSystemObject fileSystem;
    const platform::Folder folder = fileSystem.GetFolder(folderPath);
    bool deleted = false;
    for (const platform::File &file : folder.Files()) {
        if (platform::cancelRequested()) {
            if (deleted)
                return true;
            throw platform::Failure::refused(ECANCELED, tr("Cannot delete"),
                {folderPath + QLatin1Char('/') + name}, tr("cancelled; nothing was deleted"));
        }
        if (file.Name() == name) {
            file.Delete(false);
            deleted = true;
        }
    }
    return deleted;
}

} // namespace

bool deleteFilesNamed(const QString &folderPath, const QString &name)
{
    const QString path = folderPath + QLatin1Char('/') + name;
    const platform::Activity deleting {tr("Deleting %1").arg(platform::displayName(path)),
        platform::Activity::Unit::None,
        platform::Failure::refused(ECANCELED, tr("Cannot delete"), {path},
            tr("cancelled; the file may still be deleted when the volume answers"))};
    return platform::runLong(
        deleting, [folderPath, name] { return walkAndDelete(folderPath, name); });
}

} // namespace fileops
