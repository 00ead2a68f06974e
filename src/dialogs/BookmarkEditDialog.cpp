#include "dialogs/BookmarkEditDialog.h"

#include "core/OptionsHolder.h"
#include "core/Singleton.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTimeEdit>
#include <QToolTip>
#include <QVBoxLayout>

#include <climits>
#include <cmath>

namespace TW {

namespace {

const qint64 kLastMsecOfDay = 24LL * 60 * 60 * 1000 - 1;

BookmarkEditDialog::DurationSource& durationSource()
{
    static BookmarkEditDialog::DurationSource source;
    return source;
}

// The project frame rate; one that cannot divide (0, negative, not a
// number) counts as 25 frames a second.
float projectFps()
{
    const OptionsHolder* options = Singleton<OptionsHolder>::instance();
    const float fps = options ? options->m_originalfps : 0.0f;
    return (std::isfinite(fps) && fps > 0.0f) ? fps : 25.0f;
}

QTime timeOfMsecs(qint64 msecs)
{
    return QTime(0, 0).addMSecs(int(qBound<qint64>(0, msecs, kLastMsecOfDay)));
}

} // namespace

class BookmarkEditDialog::BookmarkEditDialogImpl
{
public:
    BookmarkEditDialog* owner = nullptr;
    VideoMarkerPtr marker;
    VideoMarkerPtr updatedMarker;
    QVector<VideoMarkerPtr> markers;
    QLineEdit* nameField = nullptr;
    QSpinBox* frameField = nullptr;
    QTimeEdit* timeField = nullptr;
    QPushButton* okButton = nullptr;
    QPushButton* cancelButton = nullptr;

    static QTime frameToTime(int frame)
    {
        const float fps = projectFps();
        return timeOfMsecs(qint64(float(frame) / fps * 1000.0f));
    }
    static int timeToFrame(const QTime& time)
    {
        const double seconds = QTime(0, 0).msecsTo(time) / 1000.0;
        return int(std::trunc(double(projectFps()) * seconds));
    }
};

void BookmarkEditDialog::setDurationSource(DurationSource source)
{
    durationSource() = std::move(source);
}

BookmarkEditDialog::BookmarkEditDialog(QWidget* parent, VideoMarkerPtr marker, int lastFrame,
                                       QVector<VideoMarkerPtr> markers)
    : QDialog(parent), d(std::make_unique<BookmarkEditDialogImpl>())
{
    d->owner = this;
    d->marker = marker;
    d->markers = markers;

    d->nameField = new QLineEdit;
    d->frameField = new QSpinBox;
    d->timeField = new QTimeEdit;
    d->okButton = new QPushButton(tr("OK"));
    d->cancelButton = new QPushButton(tr("Cancel"));

    auto* layout = new QVBoxLayout(this);
    auto addRow = [layout](const QString& text, QWidget* field) {
        auto* row = new QHBoxLayout;
        row->addWidget(new QLabel(text));
        row->addWidget(field);
        layout->addLayout(row);
    };
    addRow(tr("Name:"), d->nameField);
    addRow(tr("Frame:"), d->frameField);
    addRow(tr("Time:"), d->timeField);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(d->okButton);
    buttons->addWidget(d->cancelButton);
    buttons->addStretch();
    layout->addLayout(buttons);

    const int last = qMax(0, lastFrame);
    d->frameField->setMaximum(last);
    if (marker) {
        d->nameField->setText(marker->getName());
        d->frameField->setValue(int(qMin<quint64>(marker->getFrame(), quint64(INT_MAX))));
    }
    d->timeField->setDisplayFormat(QStringLiteral("HH:mm:ss.zzz"));
    QTime end;
    if (durationSource())
        end = timeOfMsecs(qint64(std::trunc(durationSource()() / 1000000.0 * 1000.0)));
    else
        end = BookmarkEditDialogImpl::frameToTime(last);
    d->timeField->setTimeRange(QTime(0, 0), end);
    d->timeField->setTime(BookmarkEditDialogImpl::frameToTime(d->frameField->value()));

    connect(d->okButton, &QPushButton::clicked, this, &BookmarkEditDialog::onOkClicked);
    connect(d->cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(d->frameField, qOverload<int>(&QSpinBox::valueChanged), this,
            &BookmarkEditDialog::onFrameValueChanged);
    connect(d->timeField, &QTimeEdit::timeChanged, this, &BookmarkEditDialog::onTimeChanged);

    setSizeGripEnabled(true);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
}

BookmarkEditDialog::~BookmarkEditDialog() = default;

VideoMarkerPtr BookmarkEditDialog::getUpdatedMarker() const
{
    return d->updatedMarker;
}

void BookmarkEditDialog::onFrameValueChanged(int frame)
{
    const QSignalBlocker blocker(d->timeField);
    d->timeField->setTime(BookmarkEditDialogImpl::frameToTime(frame));
}

void BookmarkEditDialog::onTimeChanged(const QTime& time)
{
    const QSignalBlocker blocker(d->frameField);
    d->frameField->setValue(BookmarkEditDialogImpl::timeToFrame(time));
}

void BookmarkEditDialog::onOkClicked()
{
    const QString name = d->nameField->text();
    const QPoint at = d->nameField->mapToGlobal(QPoint(0, 0));
    if (name.isEmpty()) {
        QToolTip::showText(at, tr("Please enter the name."), this);
        return;
    }
    for (const VideoMarkerPtr& other : d->markers) {
        if (other && other != d->marker && other->getName() == name) {
            QToolTip::showText(at, tr("Marker with this name already exists."), this);
            return;
        }
    }
    d->updatedMarker = VideoMarkerPtr::create();
    d->updatedMarker->setName(name);
    d->updatedMarker->setFrame(static_cast<unsigned long>(d->frameField->value()));
    accept();
}

} // namespace TW
