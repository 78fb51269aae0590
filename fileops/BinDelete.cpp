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

// The walk runs on a worker thread. Cancel stops it before the next file is looked at. Deleting
// the file that matches is the walk's point of return: up to it, Cancel leaves everything as it
// was; once a file is deleted, the walk reports that rather than a cancellation.
bool walkAndDelete(const QString &folderPath, const QString &name)
{
    const platform::FileSystemObject fileSystem;
    const platform::Folder folder = fileSystem.GetFolder(folderPath);
    bool deleted = false;
    for (const platform::File &file : folder.Files()) {
        const bool match = file.Name() == name;
        if (deleted && platform::cancelRequested())
            return true;
        if (!deleted && !(match ? platform::passPointOfReturn() : !platform::cancelRequested()))
            throw platform::Failure::refused(ECANCELED, tr("Cannot delete"),
                {folderPath + QLatin1Char('/') + name}, tr("cancelled; nothing was deleted"));
        if (match) {
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
    const QString shown = platform::displayName(path);
    const platform::Activity deleting {tr("Deleting %1").arg(shown), platform::Activity::Unit::None,
        tr("deleting %1 was cancelled; nothing was deleted").arg(shown),
        tr("deleting %1 was cancelled; the file may still be deleted when the volume answers")
            .arg(shown)};
    return platform::runLong(
        deleting, [folderPath, name] { return walkAndDelete(folderPath, name); });
}

} // namespace fileops
