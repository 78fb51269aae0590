// The View menu's four arrangements of the file list, and the choice of the sort column by a
// click on a column header.

#include "app/Form1.h"
#include "app/Module1.h"

#include <QCoreApplication>

#include <cerrno>
#include <limits>

namespace app {

namespace {

void changeView(Form1 &form, int view)
{
    form.ListView1->setView(view);
    app::Module1::LoadFileList(form.Dir1->Path());
}

// The header's 1-based position minus one, as a 16-bit signed sort key; a value that does not
// fit is an overflow failure.
qint16 sortKeyFor(int index)
{
    long long key = 0;
    if (__builtin_sub_overflow(static_cast<long long>(index), 1LL, &key)
        || key < std::numeric_limits<qint16>::min() || key > std::numeric_limits<qint16>::max())
        throw platform::Failure(EOVERFLOW,
            QCoreApplication::translate("ListView1",
                "Overflow: column %1 "
                "cannot be a sort key")
                .arg(index));
    return qint16(key);
}

} // namespace

void Form1::Report_Click()
{
    changeView(*this, filelist::ListView::Report);
}

void Form1::Icon_Click()
{
    changeView(*this, filelist::ListView::LargeIcons);
}

void Form1::Small_Click()
{
    changeView(*this, filelist::ListView::SmallIcons);
}

void Form1::listit_Click()
{
    changeView(*this, filelist::ListView::List);
}

void Form1::ListView1_ColumnClick(int index)
{
    ListView1->setSortKey(sortKeyFor(index));
}

} // namespace app
