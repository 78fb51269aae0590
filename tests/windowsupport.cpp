#include "windowsupport.h"

#include "app/Form1.h"
#include "app/Forms.h"
#include "app/Guard.h"
#include "app/Module1.h"
#include "platform/NameCodec.h"
#include "widgets/CallWaiting.h"
#include "widgets/FolderTree.h"

#include <QCoreApplication>
#include <QStandardPaths>
#include <QTest>
#include <QTreeView>

namespace testing {

namespace {

// Long calls made on the window thread are waited for, and handlers end, as in the program.
const bool asInTheProgram = (widgets::waitForLongCalls(), app::installFailureHandling(), true);

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

void unloadAllForms()
{
    for (const char *name : {"Form2", "Form3", "Form4", "Form1"})
        app::Forms::unload(QString::fromLatin1(name));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
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

} // namespace testing
