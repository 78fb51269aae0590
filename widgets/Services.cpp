#include "widgets/Services.h"

#include "platform/FileSystem.h"
#include "platform/NameCodec.h"
#include "widgets/TextFit.h"

#include <QApplication>
#include <QDesktopServices>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QUrl>

#include <algorithm>

namespace widgets {

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
        bytes = platform::encodeName(path);
    } catch (const platform::Failure &) {
        return {};
    }
    // Without this a relative path would read as "file://host/rest".
    if (!bytes.startsWith('/')) {
        const QString folder = platform::currentFolder();
        if (folder.isEmpty())
            return {};
        bytes = platform::encodeName(folder) + '/' + bytes;
    }
    return QUrl::fromEncoded("file://" + bytes.toPercentEncoding("/"));
}

QWidget *windowInUse()
{
    // The window that was active a moment ago may have been hidden since (the main window while
    // a dialog opens): a box must not stand over a window that is not there.
    if (QWidget *active = QApplication::activeWindow(); active && active->isVisible())
        return active;
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (window->isVisible() && !(window->windowType() & Qt::Popup)
            && window->windowType() != Qt::ToolTip)
            return window;
    }
    return nullptr;
}

namespace {

// A message box that fits its text to the screen and stands over the window it was opened for.
// A name has no spaces to break at, so a long one would run past the box's edge or make the box
// wider than the screen: the text breaks anywhere where it must, at most about two thirds of the
// screen wide, and a text too long even then loses the middle of its longest paragraphs, the
// whole of it going into the box's details area. The box's own text (what assistive technology
// reads) stays whole and exact.
class FittedMessageBox final : public QMessageBox
{
public:
    FittedMessageBox(Icon icon, const QString &text, QWidget *over)
        : QMessageBox(icon, applicationTitle(), text, NoButton, over)
    {
        // A file name is text, never markup: "<b>x</b>.txt" must show as it is named.
        setTextFormat(Qt::PlainText);
        // The user may select the text to copy a name from it.
        setTextInteractionFlags(Qt::TextSelectableByMouse);
    }

protected:
    // The text is fitted before the box sizes itself (a details area has to be there by then),
    // the size and the place after, so that they are the last word.
    void showEvent(QShowEvent *event) override
    {
        fitText();
        QMessageBox::showEvent(event);
        fitSize();
        placeOverWindow();
        for (QAbstractButton *button : buttons()) {
            if (buttonRole(button) == ActionRole)
                connect(button, &QAbstractButton::clicked, this, &FittedMessageBox::detailsToggled,
                    Qt::QueuedConnection);
        }
    }

    // The box sizes itself again whenever its layout asks; the fitted size stays.
    bool event(QEvent *event) override
    {
        const bool handled = QMessageBox::event(event);
        if (event->type() == QEvent::LayoutRequest && isVisible()) {
            fitSize();
            QCoreApplication::removePostedEvents(this, QEvent::LayoutRequest);
        }
        return handled;
    }

private:
    QLabel *textLabel() const { return findChild<QLabel *>(QStringLiteral("qt_msgbox_label")); }
    QRect screenArea() const;
    void fitText();
    void fitSize();
    void placeOverWindow();
    void keepOnScreen(QRect framed);
    void detailsToggled();
};

// The screen of the window the box stands over, or the box's own.
QRect FittedMessageBox::screenArea() const
{
    return (parentWidget() ? parentWidget() : this)->screen()->availableGeometry();
}

// The label shows the text in lines of at most 80 average characters, which read comfortably,
// and no wider than leaves the box two thirds of the screen wide; in no more lines than leave it
// two thirds of the screen high. The box's parts beside and below the text are what the layout
// needs beyond the text's one long line.
void FittedMessageBox::fitText()
{
    QLabel *label = textLabel();
    if (!label)
        return;
    const QString whole = text();
    label->setWordWrap(false);
    label->setText(whole);
    layout()->invalidate();
    const QSize needed = layout()->totalMinimumSize();
    const QSize textSize = label->minimumSizeHint();
    const QRect area = screenArea();
    const int lineWidth = std::max(10 * fontMetrics().averageCharWidth(),
        std::min(area.width() * 2 / 3 - (needed.width() - textSize.width()),
            80 * fontMetrics().averageCharWidth()));
    const int titleBar = 2 * fontMetrics().height();
    const int lineCount = std::max(3,
        (area.height() * 2 / 3 - (needed.height() - textSize.height()) - titleBar)
            / fontMetrics().lineSpacing());
    const widgets::FittedText shown
        = widgets::fittedParagraphs(whole, font(), lineWidth, lineCount);
    if (shown.text == whole)
        return;
    label->setText(shown.text);
    label->setAccessibleName(whole);
    if (shown.cut)
        setDetailedText(whole);
}

// The box takes the size its lines need: the box's own sizing would wrap them again, or cut
// them at a width of its choosing.
void FittedMessageBox::fitSize()
{
    if (QLabel *label = textLabel())
        label->setWordWrap(false);
    layout()->activate();
    setFixedSize(layout()->totalMinimumSize());
}

// The frame the window manager draws around a shown window.
QMargins frameMargins(const QWidget *window)
{
    const QRect outer = window->frameGeometry();
    const QRect inner = window->geometry();
    return {inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
        outer.bottom() - inner.bottom()};
}

// Centred over the window it was opened for, or over the screen. Before the box is shown it
// has no frame yet: it will get one like that of the window it stands over.
void FittedMessageBox::placeOverWindow()
{
    const QWidget *over = parentWidget() ? parentWidget()->window() : nullptr;
    const bool overShown = over && over->isVisible();
    QRect placed(QPoint(), size().grownBy(overShown ? frameMargins(over) : QMargins()));
    placed.moveCenter(overShown ? over->frameGeometry().center() : screenArea().center());
    keepOnScreen(placed);
}

// Moves the box, its frame placed at framed or as near as the screen allows, so that it is
// entirely on the screen, its title bar first.
void FittedMessageBox::keepOnScreen(QRect framed)
{
    const QRect area = screenArea();
    framed.moveLeft(
        std::max(area.left(), std::min(framed.left(), area.right() + 1 - framed.width())));
    framed.moveTop(
        std::max(area.top(), std::min(framed.top(), area.bottom() + 1 - framed.height())));
    move(framed.topLeft());
}

// Showing or hiding the details area resizes the box its own way; it takes its fitted size
// again, growing from where it stands, and stays on the screen.
void FittedMessageBox::detailsToggled()
{
    fitSize();
    keepOnScreen(QRect(frameGeometry().topLeft(), size().grownBy(frameMargins(this))));
}

} // namespace

std::unique_ptr<QMessageBox> messageBox(QMessageBox::Icon icon, const QString &text)
{
    auto box = std::make_unique<FittedMessageBox>(icon, text, windowInUse());
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
            = messageBox(QMessageBox::NoIcon, platform::displayName(prompt));
        QPushButton *ok = box->addButton(QMessageBox::Ok);
        if (buttons == OkCancel)
            box->addButton(QMessageBox::Cancel);
        box->setDefaultButton(ok);
        box->exec();
        return box->clickedButton() == ok ? Ok : Cancel;
    }

    void reportFailure(const platform::Failure &failure) override
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

MessageService *installedMessages = nullptr;
OpenService *installedOpener = nullptr;

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

} // namespace widgets
