#include "platform/Services.h"

#include "platform/FileSystem.h"
#include "platform/NameCodec.h"
#include "platform/Volumes.h"

#include <QApplication>
#include <QDesktopServices>
#include <QGridLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

#include <malloc.h>

namespace platform {

void returnLargeBlocksToTheSystem()
{
    // Setting the threshold also turns its automatic raising off.
    ::mallopt(M_MMAP_THRESHOLD, 256 * 1024);
}

QString applicationTitle()
{
    return QStringLiteral("Tolvan File Explorer");
}

QUrl fileUrlFor(const QString &path)
{
    if (path.isEmpty())
        return {};
    QByteArray bytes;
    try {
        bytes = encodeName(path);
    } catch (const Failure &) {
        return {};
    }
    // Without this a relative path would read as "file://host/rest".
    if (!bytes.startsWith('/')) {
        const QString folder = currentFolder();
        if (folder.isEmpty())
            return {};
        bytes = encodeName(folder) + '/' + bytes;
    }
    return QUrl::fromEncoded("file://" + bytes.toPercentEncoding("/"));
}

QWidget *windowInUse()
{
    if (QWidget *active = QApplication::activeWindow())
        return active;
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (window->isVisible() && !(window->windowType() & Qt::Popup)
            && window->windowType() != Qt::ToolTip)
            return window;
    }
    return nullptr;
}

std::unique_ptr<QMessageBox> messageBox(QMessageBox::Icon icon, const QString &text)
{
    auto box = std::make_unique<QMessageBox>(
        icon, applicationTitle(), text, QMessageBox::NoButton, windowInUse());
    // A file name is text, never markup: "<b>x</b>.txt" must show as it is named.
    box->setTextFormat(Qt::PlainText);
    // The box takes its width from its text; a short text would leave the frame too narrow for
    // the title, which window frames draw bold, beside the frame's icon and buttons.
    QFont titleFont = box->font();
    titleFont.setBold(true);
    const int titleRoom = QFontMetrics(titleFont).horizontalAdvance(box->windowTitle())
        + 8 * box->fontMetrics().height();
    if (auto *grid = qobject_cast<QGridLayout *>(box->layout()))
        grid->addItem(new QSpacerItem(titleRoom, 0), grid->rowCount(), 0, 1, grid->columnCount());
    return box;
}

namespace {

class RealMessages final : public MessageService
{
public:
    int MsgBox(const QString &prompt, int buttons) override
    {
        const std::unique_ptr<QMessageBox> box
            = messageBox(QMessageBox::NoIcon, displayName(prompt));
        QPushButton *ok = box->addButton(QMessageBox::Ok);
        if (buttons == OkCancel)
            box->addButton(QMessageBox::Cancel);
        box->setDefaultButton(ok);
        box->exec();
        return box->clickedButton() == ok ? Ok : Cancel;
    }

    void reportFailure(const Failure &failure) override
    {
        const std::unique_ptr<QMessageBox> box = messageBox(QMessageBox::Critical,
            QObject::tr("Error %1").arg(failure.number()) + QStringLiteral("\n\n")
                + failure.description());
        box->addButton(QMessageBox::Ok);
        box->exec();
    }
};

// The path goes out as a file URL (see fileUrlFor): no shell sees it. The desktop's answer is
// not looked at.
class RealOpener final : public OpenService
{
public:
    void open(const QString &path) override
    {
        const QUrl url = fileUrlFor(path);
        if (url.isEmpty())
            return; // nothing that could name a file: there is nothing to open
        QDesktopServices::openUrl(url);
    }
};

class RealVolumes final : public VolumeService
{
public:
    std::vector<Volume> volumes() override { return readMountedVolumes(); }
};

MessageService *installedMessages = nullptr;
OpenService *installedOpener = nullptr;
VolumeService *installedVolumes = nullptr;

} // namespace

MessageService &MessageService::current()
{
    static RealMessages real;
    return installedMessages ? *installedMessages : real;
}

void MessageService::install(MessageService *service)
{
    installedMessages = service;
}

OpenService &OpenService::current()
{
    static RealOpener real;
    return installedOpener ? *installedOpener : real;
}

void OpenService::install(OpenService *service)
{
    installedOpener = service;
}

VolumeService &VolumeService::current()
{
    static RealVolumes real;
    return installedVolumes ? *installedVolumes : real;
}

void VolumeService::install(VolumeService *service)
{
    installedVolumes = service;
}

} // namespace platform
