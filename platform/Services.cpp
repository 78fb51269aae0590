#include "platform/Services.h"

#include "platform/NameCodec.h"
#include "platform/Volumes.h"

#include <QDesktopServices>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

namespace platform {

QString applicationTitle()
{
    return QStringLiteral("Tolvan File Explorer");
}

namespace {

class RealMessages final : public MessageService
{
public:
    int MsgBox(const QString &prompt, int buttons) override
    {
        QMessageBox box(QMessageBox::NoIcon, applicationTitle(), displayName(prompt));
        QPushButton *ok = box.addButton(QMessageBox::Ok);
        if (buttons == OkCancel)
            box.addButton(QMessageBox::Cancel);
        box.setDefaultButton(ok);
        box.exec();
        return box.clickedButton() == ok ? Ok : Cancel;
    }

    void reportFailure(const Failure &failure) override
    {
        QMessageBox box(QMessageBox::Critical, applicationTitle(),
            QObject::tr("Error %1").arg(failure.number()));
        box.setInformativeText(failure.description());
        box.addButton(QMessageBox::Ok);
        box.exec();
    }
};

// The path becomes a file URL built from its exact bytes: no shell sees it, a name that is not
// UTF-8 keeps its bytes, and a path such as "//name" stays a path rather than a host name.
class RealOpener final : public OpenService
{
public:
    void open(const QString &path) override
    {
        if (path.isEmpty())
            return;
        QByteArray bytes;
        try {
            bytes = encodeName(path);
        } catch (const Failure &) {
            return; // a path that no file can have: there is nothing to open
        }
        const QUrl url = QUrl::fromEncoded("file://" + bytes.toPercentEncoding("/"));
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
