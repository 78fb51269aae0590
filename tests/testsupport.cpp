#include "testsupport.h"

#include "app/Form1.h"
#include "app/Forms.h"
#include "app/Module1.h"
#include "platform/NameCodec.h"
#include "widgets/CallWaiting.h"
#include "widgets/FolderTree.h"

#include <QCoreApplication>
#include <QLocale>
#include <QStandardPaths>
#include <QTest>
#include <QTreeView>

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace testing {

namespace {

// Long calls made on the window thread are waited for as the program waits for them.
const bool waiting = (widgets::waitForLongCalls(), true);

} // namespace

int ScriptedMessages::MsgBox(const QString &prompt, int buttons)
{
    boxes.push_back({prompt, buttons});
    if (answers.empty())
        return Ok;
    const int answer = answers.front();
    answers.pop_front();
    return answer;
}

void ScriptedMessages::reportFailure(const platform::Failure &failure)
{
    failures.push_back(failure);
}

static QByteArray processFolder()
{
    char buffer[4096];
    return ::getcwd(buffer, sizeof buffer) ? QByteArray(buffer) : QByteArray();
}

CurrentFolder::CurrentFolder(const QByteArray &path)
    : m_previous(processFolder())
{
    if (::chdir(path.constData()) != 0)
        qFatal("cannot change to %s", path.constData());
}

CurrentFolder::~CurrentFolder()
{
    if (!m_previous.isEmpty() && ::chdir(m_previous.constData()) != 0)
        qWarning("cannot change back to %s", m_previous.constData());
}

void unloadAllForms()
{
    for (const char *name : {"Form2", "Form3", "Form4", "Form1"})
        app::Forms::unload(QString::fromLatin1(name));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void useEnglishLocale()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void writeFile(const QByteArray &path, const QByteArray &bytes, mode_t mode)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    QVERIFY2(fd >= 0, path.constData());
    const ssize_t written = ::write(fd, bytes.constData(), size_t(bytes.size()));
    const int modeSet = ::fchmod(fd, mode);
    ::close(fd);
    QCOMPARE(written, bytes.size());
    QCOMPARE(modeSet, 0);
}

QByteArray readFile(const QByteArray &path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return QByteArray("<missing>");
    QByteArray bytes;
    char buffer[65536];
    for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) > 0;)
        bytes.append(buffer, got);
    ::close(fd);
    return bytes;
}

void makeFolder(const QByteArray &path)
{
    QVERIFY2(::mkdir(path.constData(), 0755) == 0, path.constData());
}

void removeTree(const QByteArray &path)
{
    struct stat status;
    if (::lstat(path.constData(), &status) != 0)
        return;
    if (!S_ISDIR(status.st_mode)) {
        ::unlink(path.constData());
        return;
    }
    // A folder without write or search permission cannot be emptied, even by its owner.
    ::chmod(path.constData(), 0700);
    if (DIR *stream = ::opendir(path.constData())) {
        while (const struct dirent *entry = ::readdir(stream)) {
            const QByteArray name(entry->d_name);
            if (name != "." && name != "..")
                removeTree(path + '/' + name);
        }
        ::closedir(stream);
    }
    ::rmdir(path.constData());
}

QList<QByteArray> folderEntries(const QByteArray &path)
{
    QList<QByteArray> names;
    DIR *stream = ::opendir(path.constData());
    if (!stream)
        return names;
    while (const struct dirent *entry = ::readdir(stream)) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..")
            names.push_back(name);
    }
    ::closedir(stream);
    std::sort(names.begin(), names.end());
    return names;
}

static void collect(QList<QByteArray> &tree, const QByteArray &root, const QByteArray &prefix)
{
    for (const QByteArray &name : folderEntries(root + '/' + prefix)) {
        const QByteArray relative = prefix + name;
        struct stat status;
        if (::lstat((root + '/' + relative).constData(), &status) == 0 && S_ISDIR(status.st_mode)) {
            tree.push_back(relative + '/');
            collect(tree, root, relative + '/');
        } else {
            tree.push_back(relative + '=' + readFile(root + '/' + relative));
        }
    }
}

QList<QByteArray> treeOf(const QByteArray &path)
{
    QList<QByteArray> tree;
    collect(tree, path, {});
    std::sort(tree.begin(), tree.end());
    return tree;
}

QByteArray bytesOf(const QString &path)
{
    return platform::encodeName(path);
}

// (The widget overload of mouseDClick sends the double-click event alone, without the first
// click.)
void doubleClick(QWidget *widget, QPoint position)
{
    QWidget *window = widget->window();
    QTest::mouseDClick(window->windowHandle(), Qt::LeftButton, {}, widget->mapTo(window, position));
}

bool openInTree(widgets::FolderTree *tree, const QString &path)
{
    QTreeWidgetItem *row = tree->rowForPath(path);
    if (!row) {
        qWarning("no tree row for %s", qPrintable(path));
        return false;
    }
    tree->scrollToItem(row);
    doubleClick(tree->viewport(), tree->visualItemRect(row).center());
    return tree->Path() == path;
}

const QStringList allFileButtons {"cmdopen", "cmdrename", "cmdCopy", "cmdMove"};

QStringList enabledFileButtons(const app::Form1 &form)
{
    QStringList names;
    for (const QPushButton *button : {form.cmdopen, form.cmdrename, form.cmdCopy, form.cmdMove}) {
        if (button->isEnabled())
            names.push_back(button->objectName());
    }
    return names;
}

static QByteArray makeScratchFolder()
{
    QByteArray name
        = processFolder() + '/' + QCoreApplication::applicationName().toUtf8() + "-XXXXXX";
    if (!::mkdtemp(name.data()))
        qFatal("cannot make a folder like %s", name.constData());
    return name;
}

MainWindowScene::MainWindowScene()
    : folder(makeScratchFolder())
{
    QStandardPaths::setTestModeEnabled(true);
    useEnglishLocale();
    m_current.emplace(folder);
}

MainWindowScene::~MainWindowScene()
{
    unloadAllForms();
    app::Module1::SelectedFileName.clear();
    app::Module1::NewFileName.clear();
    m_current.reset();
    removeTree(folder);
}

void MainWindowScene::enter(const QByteArray &subfolder)
{
    m_current.reset();
    m_current.emplace(path(subfolder));
}

app::Form1 &MainWindowScene::start()
{
    form = &app::Forms::show<app::Form1>();
    if (!QTest::qWaitForWindowExposed(form))
        qFatal("the main window was never shown");
    return *form;
}

QString MainWindowScene::text(const QByteArray &name) const
{
    return platform::decodeName(name.isEmpty() ? folder : path(name));
}

filelist::FileListModel &MainWindowScene::model() const
{
    return form->ListView1->model();
}

QStringList MainWindowScene::shownNames() const
{
    QStringList names;
    for (int row = 0; row < model().rowCount(); ++row)
        names.push_back(model().itemText(row));
    return names;
}

bool MainWindowScene::clickFile(const QString &name)
{
    const int row = model().rowOfName(name);
    if (row < 0) {
        qWarning("no row for %s", qPrintable(name));
        return false;
    }
    QAbstractItemView *view = form->ListView1->currentView();
    const QModelIndex index = model().index(row, 0);
    view->scrollTo(index);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(index).center());
    return form->ListView1->selectedRow() == row;
}

struct WithoutFileAccessOverride::Saved
{
    __user_cap_header_struct header {};
    __user_cap_data_struct data[2] {};
};

WithoutFileAccessOverride::WithoutFileAccessOverride()
    : m_saved(std::make_unique<Saved>())
{
    m_saved->header.version = _LINUX_CAPABILITY_VERSION_3;
    if (::syscall(SYS_capget, &m_saved->header, m_saved->data) != 0)
        return;
    __user_cap_data_struct reduced[2] = {m_saved->data[0], m_saved->data[1]};
    reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
    m_active = ::syscall(SYS_capset, &m_saved->header, reduced) == 0;
}

WithoutFileAccessOverride::~WithoutFileAccessOverride()
{
    if (m_active)
        ::syscall(SYS_capset, &m_saved->header, m_saved->data);
}

} // namespace testing
