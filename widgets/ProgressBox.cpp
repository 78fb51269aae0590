#include "widgets/ProgressBox.h"

#include "widgets/Services.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace widgets {

namespace {

// The bar counts in thousandths: byte counts do not fit its int range.
constexpr int barSteps = 1000;

} // namespace

ProgressBox::ProgressBox(QWidget *over, const QString &doing, platform::Activity::Unit unit)
    : QDialog(over)
    , m_unit(unit)
    , m_doing(new QLabel(doing, this))
    , m_count(new QLabel(this))
    , m_bar(new QProgressBar(this))
    , m_cancel(new QPushButton(tr("Cancel"), this))
{
    setObjectName(QStringLiteral("progressBox"));
    setWindowTitle(widgets::applicationTitle());
    setAccessibleName(tr("Progress"));
    // Modal for the whole program, but by the long call's own holding back of input rather
    // than by Qt's modality: Qt's would also swallow the window manager's request to close a
    // window under the box, and closing the main window must cancel the call and end the
    // program. The box stays over its window as that window's dialog.
    // A title and a close button only: the box has nothing to minimize or enlarge.
    setWindowFlags(
        Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setAttribute(Qt::WA_DeleteOnClose, false);
    m_doing->setTextFormat(Qt::PlainText);
    m_doing->setMinimumWidth(300);
    m_doing->setMaximumWidth(600);
    m_count->setTextFormat(Qt::PlainText);
    m_count->setVisible(unit == platform::Activity::Unit::Entries);
    m_bar->setAccessibleName(tr("Progress"));
    m_bar->setTextVisible(unit == platform::Activity::Unit::Bytes);
    if (unit == platform::Activity::Unit::Bytes)
        m_bar->setRange(0, barSteps);
    else
        m_bar->setRange(0, 0);
    // Enter must not cancel by accident; only the button, Esc and the frame do.
    m_cancel->setAutoDefault(false);
    connect(m_cancel, &QPushButton::clicked, this, &ProgressBox::cancelPressed);

    // Two lines: what is done (and how far, counted), then the bar beside Cancel.
    auto *layout = new QVBoxLayout(this);
    auto *counted = new QHBoxLayout;
    counted->addWidget(m_doing, 1);
    counted->addWidget(m_count);
    layout->addLayout(counted);
    auto *barAndCancel = new QHBoxLayout;
    barAndCancel->addWidget(m_bar, 1);
    barAndCancel->addWidget(m_cancel);
    layout->addLayout(barAndCancel);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

// Low over the window in use, so that the top of what the window shows (the first rows of a
// list being read) stays in sight; alone, at the centre of the screen.
void ProgressBox::placeOver(const QWidget *window)
{
    adjustSize();
    if (!window)
        return;
    const QRect area = window->geometry();
    const int titleBar = frameGeometry().height() - height();
    const int gap = 6;
    move(area.center().x() - width() / 2,
        std::max(area.top(), area.bottom() - height() - std::max(titleBar, 24) - gap));
}

void ProgressBox::showProgress(qint64 done, qint64 total)
{
    if (m_unit == platform::Activity::Unit::Bytes && total > 0)
        m_bar->setValue(int(std::min<qint64>(barSteps, done * barSteps / total)));
    else if (m_unit == platform::Activity::Unit::Entries)
        m_count->setText(tr("%1 entries").arg(QLocale().toString(done)));
}

void ProgressBox::reject()
{
    Q_EMIT cancelPressed();
}

void ProgressBox::closeEvent(QCloseEvent *event)
{
    event->ignore();
    Q_EMIT cancelPressed();
}

} // namespace widgets
