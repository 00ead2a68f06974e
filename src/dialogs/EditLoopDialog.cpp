#include "dialogs/EditLoopDialog.h"

#include "ui_EditLoopDialog.h"

#include <QIntValidator>
#include <QTime>
#include <QToolTip>

#include <climits>
#include <cmath>

namespace TW {

namespace {

const qint64 kLastMsecOfDay = 24LL * 60 * 60 * 1000 - 1;

// Times of day cannot go past 23:59:59.999; later positions show as that.
QTime timeOfMsecs(double msecs)
{
    const qint64 ms = qint64(qBound(0.0, std::trunc(msecs), double(kLastMsecOfDay)));
    return QTime(0, 0).addMSecs(int(ms));
}

} // namespace

struct EditLoopDialog::Impl
{
    EditLoopDialog* owner = nullptr;
    VideoLoopPtr loop;
    VideoLoopPtr newLoop;
    int lastFrame = 0;
    double fps = 25.0;
    QVector<VideoLoopPtr> loops;
    Ui::EditLoopDialogClass ui;

    // What the fields showed when the dialog opened: a field left as it was
    // keeps the loop's own value instead of a re-converted or rounded one.
    QString shownName;
    QTime shownStart;
    QTime shownEnd;
    double shownPitch = 0.0;
    double shownTempo = 0.0;
    QString shownCount;
    QString shownDelay;

    QTime frameToTime(int frame) const { return timeOfMsecs(frame / fps * 1000.0); }
    int timeToFrame(const QTime& time) const
    {
        return int(std::trunc(QTime(0, 0).msecsTo(time) * fps / 1000.0));
    }
    void complain(QWidget* field, const QString& text) const
    {
        QToolTip::showText(field->mapToGlobal(QPoint(0, 0)), text, owner);
    }
};

EditLoopDialog::EditLoopDialog(VideoLoopPtr loop, int lastFrame, QVector<VideoLoopPtr> loops,
                               double fps, QWidget* parent)
    : QDialog(parent), d(std::make_unique<Impl>())
{
    d->owner = this;
    d->loop = loop;
    d->newLoop = VideoLoopPtr::create();
    d->lastFrame = qMax(0, lastFrame);
    // Without a usable frame rate positions are shown at 25 frames a second.
    d->fps = (std::isfinite(fps) && fps > 0.0) ? fps : 25.0;
    d->loops = loops;

    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    d->ui.setupUi(this);

    // Positions stay after the loops to the left and before those to the right.
    const int start = loop ? loop->getStartFrame() : 0;
    bool anyLeft = false;
    bool anyRight = false;
    int lower = 0;
    int upper = d->lastFrame;
    for (const VideoLoopPtr& other : d->loops) {
        if (!other || other == loop)
            continue;
        if (other->getStartFrame() < start) {
            const int latest = qMax(other->getStartFrame(), other->getEndFrame());
            lower = anyLeft ? qMax(lower, latest + 1) : latest + 1;
            anyLeft = true;
        } else if (other->getStartFrame() > start) {
            const int earliest = qMin(other->getStartFrame(), other->getEndFrame());
            upper = anyRight ? qMin(upper, earliest - 1) : earliest - 1;
            anyRight = true;
        }
    }
    const QTime lowerTime = d->frameToTime(lower);
    const QTime upperTime = d->frameToTime(upper);
    d->ui.timeEdit->setTimeRange(lowerTime, upperTime);
    d->ui.timeEdit_2->setTimeRange(lowerTime, upperTime);

    const double lengthMs = d->lastFrame / d->fps * 1000.0 - 1.0;
    const int maxDelay = int(qBound(0.0, std::trunc(lengthMs), double(INT_MAX)));
    d->ui.lineEdit_6->setValidator(new QIntValidator(0, 999, this));
    d->ui.lineEdit_7->setValidator(new QIntValidator(0, maxDelay, this));

    if (loop) {
        d->ui.lineEdit_3->setText(loop->getName());
        d->ui.timeEdit->setTime(d->frameToTime(loop->getStartFrame()));
        d->ui.timeEdit_2->setTime(d->frameToTime(loop->getEndFrame()));
        d->ui.doubleSpinBox->setValue(loop->getPitch());
        d->ui.doubleSpinBox_2->setValue(loop->getTempo());
        if (loop->getLoopCount() != -1)
            d->ui.lineEdit_6->setText(QString::number(loop->getLoopCount()));
        if (loop->getDelay() != -1)
            d->ui.lineEdit_7->setText(QString::number(loop->getDelay()));
    }
    d->shownName = d->ui.lineEdit_3->text();
    d->shownStart = d->ui.timeEdit->time();
    d->shownEnd = d->ui.timeEdit_2->time();
    d->shownPitch = d->ui.doubleSpinBox->value();
    d->shownTempo = d->ui.doubleSpinBox_2->value();
    d->shownCount = d->ui.lineEdit_6->text();
    d->shownDelay = d->ui.lineEdit_7->text();

    connect(d->ui.cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(d->ui.okButton, &QPushButton::clicked, this, &EditLoopDialog::onOkPressed);
}

EditLoopDialog::~EditLoopDialog() = default;

VideoLoopPtr EditLoopDialog::getUpdatedLoop() const
{
    return d->newLoop;
}

void EditLoopDialog::onOkPressed()
{
    const Ui::EditLoopDialogClass& ui = d->ui;
    const bool startKept = d->loop && ui.timeEdit->time() == d->shownStart;
    const bool endKept = d->loop && ui.timeEdit_2->time() == d->shownEnd;
    const int start = startKept ? d->loop->getStartFrame() : d->timeToFrame(ui.timeEdit->time());
    const int end = endKept ? d->loop->getEndFrame() : d->timeToFrame(ui.timeEdit_2->time());

    const QString name = ui.lineEdit_3->text();
    if (name.isEmpty()) {
        d->complain(ui.lineEdit_3, tr("Please enter the name."));
        return;
    }
    if (ui.timeEdit->time() >= ui.timeEdit_2->time() && !(startKept && endKept && start < end)) {
        d->complain(ui.timeEdit, tr("Loop's start must be earlier than loop's end."));
        return;
    }
    for (const VideoLoopPtr& other : d->loops) {
        if (other && other != d->loop && other->getName() == name) {
            d->complain(ui.lineEdit_3, tr("Loop with this name already exists."));
            return;
        }
    }

    // Start from the loop's own values (its volume has no field), keeping
    // the new loop's identifier.
    VideoLoop& result = *d->newLoop;
    if (d->loop)
        result = *d->loop;

    result.setName(name);
    result.setStartFrame(start);
    result.setEndFrame(end);
    if (!d->loop || ui.doubleSpinBox->value() != d->shownPitch)
        result.setPitch(float(ui.doubleSpinBox->value()));
    if (!d->loop || ui.doubleSpinBox_2->value() != d->shownTempo)
        result.setTempo(float(ui.doubleSpinBox_2->value()));

    const VideoLoop fresh;
    const QString delay = ui.lineEdit_7->text();
    if (delay != d->shownDelay)
        result.setDelay(delay.isEmpty() ? fresh.getDelay() : delay.toInt());
    const QString count = ui.lineEdit_6->text();
    if (count != d->shownCount)
        result.setLoopCount(count.isEmpty() ? fresh.getLoopCount() : count.toInt());

    accept();
}

} // namespace TW
