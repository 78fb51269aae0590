#include "filelist/LoadFileList.h"

#include "filelist/ListView.h"
#include "platform/FileSystem.h"

#include <QCoreApplication>

namespace filelist {

namespace {

struct ColumnSpec
{
    const char *header;
    int widthTwips;
};

constexpr ColumnSpec columns[] = {
    {"Filename", 2000},
    {"Type", 2000},
    {"Size", 1000},
    {"Modified", 2000},
    {"Created", 2000},
};

} // namespace

void loadFileList(ListView &list, QString path)
{
    const platform::FileSystemObject fileSystem;
    FileListModel &model = list.model();
    const FileListModel::Rebuild rebuild(model, path);
    model.clearColumns();
    model.clearItems();
    for (const ColumnSpec &column : columns)
        model.addColumn(QCoreApplication::translate("ListView1", column.header), column.widthTwips);

    const platform::Folder folder = fileSystem.GetFolder(path);
    for (const platform::File &file : folder.Files()) {
        const int item = model.addItem(file.NameBytes());
        model.setType(item, file.TypeIndex());
        model.setSize(item, file.Size());
        model.setModified(item, file.DateLastModified());
        model.setCreated(item, file.DateCreated());
    }
}

} // namespace filelist
