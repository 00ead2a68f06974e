#include "ui/TimelineWidget.h"

#include "ui/ImageStyle.h"
#include "ui/MediaTrackWidget.h"
#include "ui/TimeAreaWidget.h"
#include "ui/TimelineViewportWidget.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyleOption>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

namespace TW {

namespace {
const int kLayoutMargin = 13;
const int kFixedHeight = 153;

QString lockIcon(bool locked)
{
    return locked ? QStringLiteral(":/gui/locked") : QStringLiteral(":/gui/unlocked");
}

QString playableIcon(bool playable)
{
    return playable ? QStringLiteral(":/gui/checkbox-checked") : QStringLiteral(":/gui/checkbox-unchecked");
}

QLabel *separator(QWidget *parent, int width, int height)
{
    auto *label = new QLabel(parent);
    label->setStyleSheet(QStringLiteral("background-color: black;"));
    if (width > 0)
        label->setFixedWidth(width);
    if (height > 0)
        label->setFixedHeight(height);
    return label;
}
} // namespace

struct TimelineWidget::TimelineWidgetImpl
{
    explicit TimelineWidgetImpl(TimelineWidget *owner);

    // Drawn from the SVG, sharp at any scale.
    void setIcon(QToolButton *button, const QString &path) { button->setIcon(ImageStyle::imageIcon(path)); }
    void showFlags()
    {
        setIcon(videoPlayableButton, playableIcon(videoPlayable));
        setIcon(audioPlayableButton, playableIcon(audioPlayable));
        setIcon(videoLockButton, lockIcon(videoLocked));
        setIcon(audioLockButton, lockIcon(audioLocked));
        videoPlayableButton->setToolTip(videoPlayable
                ? TimelineWidget::tr("The picture plays; click to switch it off")
                : TimelineWidget::tr("The picture is switched off; click to play it"));
        audioPlayableButton->setToolTip(audioPlayable
                ? TimelineWidget::tr("The sound plays; click to switch it off")
                : TimelineWidget::tr("The sound is switched off; click to play it"));
        videoLockButton->setToolTip(videoLocked
                ? TimelineWidget::tr("The picture is locked: edits leave it alone; click to unlock")
                : TimelineWidget::tr("Click to lock the picture, so that edits leave it alone"));
        audioLockButton->setToolTip(audioLocked
                ? TimelineWidget::tr("The sound is locked: edits leave it alone; click to unlock")
                : TimelineWidget::tr("Click to lock the sound, so that edits leave it alone"));
    }

    TimelineWidget *owner;
    QLabel *markerAreaLabel = nullptr;
    QLabel *selectionToolLabel = nullptr;
    QLabel *loopingAreaLabel = nullptr;
    QLabel *videoIconLabel = nullptr;
    QLabel *audioIconLabel = nullptr;
    QToolButton *videoPlayableButton = nullptr;
    QToolButton *audioPlayableButton = nullptr;
    QToolButton *videoLockButton = nullptr;
    QToolButton *audioLockButton = nullptr;
    QScrollArea *scrollArea = nullptr;
    TimelineViewportWidget *viewport = nullptr;
    bool videoLocked = false;
    bool audioLocked = false;
    bool videoPlayable = true;
    bool audioPlayable = true;
    int padlockAreaWidth = 63;
    double zoomAnchorRatio = 0.0;
    int zoomAnchorX = 0;
};

TimelineWidget::TimelineWidgetImpl::TimelineWidgetImpl(TimelineWidget *owner)
    : owner(owner)
{
    auto *layout = new QHBoxLayout(owner);
    layout->setSpacing(0);
    layout->setContentsMargins(kLayoutMargin, kLayoutMargin, kLayoutMargin, kLayoutMargin);

    scrollArea = new QScrollArea(owner);
    viewport = new TimelineViewportWidget;
    scrollArea->setWidget(viewport);
    scrollArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scrollArea->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scrollArea->setContentsMargins(0, 0, 0, 0);
    scrollArea->setObjectName(QStringLiteral("scrollArea"));
    viewport->setObjectName(QStringLiteral("scrollViewport"));
    scrollArea->move(padlockAreaWidth - kLayoutMargin, kLayoutMargin);

    auto makeButton = [owner]() {
        auto *button = new QToolButton(owner);
        button->setToolButtonStyle(Qt::ToolButtonIconOnly);
        button->setAutoRaise(true);
        return button;
    };
    auto makeIcon = [owner](const QString &path) {
        auto *label = new QLabel(owner);
        label->setPixmap(QPixmap(path));
        label->setAlignment(Qt::AlignCenter);
        return label;
    };
    markerAreaLabel = new QLabel(owner);
    selectionToolLabel = new QLabel(owner);
    loopingAreaLabel = new QLabel(owner);
    videoIconLabel = makeIcon(QStringLiteral(":/gui/video-icon"));
    audioIconLabel = makeIcon(QStringLiteral(":/gui/audio-icon"));
    videoPlayableButton = makeButton();
    videoLockButton = makeButton();
    audioPlayableButton = makeButton();
    audioLockButton = makeButton();
    videoPlayableButton->setAccessibleName(TimelineWidget::tr("Play the picture"));
    audioPlayableButton->setAccessibleName(TimelineWidget::tr("Play the sound"));
    videoLockButton->setAccessibleName(TimelineWidget::tr("Lock the picture"));
    audioLockButton->setAccessibleName(TimelineWidget::tr("Lock the sound"));

    auto *column = new QVBoxLayout;
    column->setSpacing(0);
    column->addWidget(markerAreaLabel);
    column->addWidget(selectionToolLabel);
    column->addWidget(loopingAreaLabel);
    column->addWidget(separator(owner, 0, 1));
    auto *videoRow = new QHBoxLayout;
    videoRow->setSpacing(0);
    videoRow->addWidget(videoIconLabel);
    videoRow->addWidget(videoPlayableButton);
    videoRow->addWidget(videoLockButton);
    column->addLayout(videoRow);
    column->addWidget(separator(owner, 0, 2));
    auto *audioRow = new QHBoxLayout;
    audioRow->setSpacing(0);
    audioRow->addWidget(audioIconLabel);
    audioRow->addWidget(audioPlayableButton);
    audioRow->addWidget(audioLockButton);
    column->addLayout(audioRow);
    layout->addLayout(column);
    layout->addWidget(separator(owner, 1, 0));
    layout->addStretch();

    markerAreaLabel->setStyleSheet(QStringLiteral("border-image:url(:/gui/MarkerArea-label);"));
    selectionToolLabel->setStyleSheet(QStringLiteral("border-image:url(:/gui/SelectionTool-Label);"));
    loopingAreaLabel->setStyleSheet(QStringLiteral("border-image:url(:/gui/LoopingArea-label);"));
    showFlags();

    QObject::connect(videoLockButton, &QToolButton::clicked, owner, &TimelineWidget::onVideoLockClicked);
    QObject::connect(audioLockButton, &QToolButton::clicked, owner, &TimelineWidget::onAudioLockClicked);
    QObject::connect(videoPlayableButton, &QToolButton::clicked, owner, &TimelineWidget::onVideoPlayableClicked);
    QObject::connect(audioPlayableButton, &QToolButton::clicked, owner, &TimelineWidget::onAudioPlayableClicked);
    QObject::connect(viewport->getTimeline(), &TimeAreaWidget::frameChanged, owner, &TimelineWidget::onSliderMoved);
    QObject::connect(viewport->getVideoTrack(), &MediaTrackWidget::dragged, owner, &TimelineWidget::onViewportDragged);
    QObject::connect(viewport->getAudioTrack(), &MediaTrackWidget::dragged, owner, &TimelineWidget::onViewportDragged);
    QObject::connect(viewport, &TimelineViewportWidget::zoomStarted, owner, &TimelineWidget::onZoomStarted);
    QObject::connect(viewport, &TimelineViewportWidget::zoomUpdated, owner, &TimelineWidget::onZoomUpdated);

    owner->setStyleSheet(QStringLiteral("#timelineWidget{background: black;border: 12px solid #505050;}"));
    const QString controlStyle = QStringLiteral(
        "background: qlineargradient(x1:0.5, y1:0, x2:0.5, y2:1, stop:0 lightgray, stop: 1 gray);"
        "width: 17;height: 25;padding: 2;margin: 0;");
    for (QWidget *w : std::initializer_list<QWidget *>{videoIconLabel, audioIconLabel, videoPlayableButton,
                                                       audioPlayableButton, videoLockButton, audioLockButton})
        w->setStyleSheet(controlStyle);
    scrollArea->setStyleSheet(QStringLiteral(
        "TW--TimelineViewportWidget,TW--MediaTrackWidget{background: transparent;}"
        "TW--AbstractThumbnail{background: transparent;border: 1px solid gray;}"
        "TW--AbstractThumbnail:enabled{background: transparent;}"
        "TW--AbstractThumbnail:disabled{background: rgb(50,50,50);}"
        "#scrollArea{background: transparent;border: 0px solid green;}"
        "TW--MediaTrackWidget{border: 1px solid gray;}"));
}

TimelineWidget::TimelineWidget(QWidget *parent, Qt::WindowFlags flags)
    : QWidget(parent, flags), d(std::make_unique<TimelineWidgetImpl>(this))
{
    setFixedHeight(kFixedHeight);
    setObjectName(QStringLiteral("timelineWidget"));
    d->viewport->show();
    d->scrollArea->show();
}

TimelineWidget::~TimelineWidget() = default;

QSize TimelineWidget::sizeHint() const { return d->viewport->sizeHint(); }

TimelineViewportWidget *TimelineWidget::getViewport() const { return d->viewport; }
QScrollArea *TimelineWidget::getScrollArea() const { return d->scrollArea; }

bool TimelineWidget::isVideoPlayable() const { return d->videoPlayable; }
bool TimelineWidget::isAudioPlayable() const { return d->audioPlayable; }
bool TimelineWidget::isVideoLocked() const { return d->videoLocked; }
bool TimelineWidget::isAudioLocked() const { return d->audioLocked; }

void TimelineWidget::setVideoLocked(bool locked)
{
    d->videoLocked = locked;
    d->showFlags();
}

void TimelineWidget::setAudioLocked(bool locked)
{
    d->audioLocked = locked;
    d->showFlags();
}

void TimelineWidget::setVideoPlayable(bool playable)
{
    d->videoPlayable = playable;
    d->showFlags();
}

void TimelineWidget::setAudioPlayable(bool playable)
{
    d->audioPlayable = playable;
    d->showFlags();
}

void TimelineWidget::onVideoLockClicked()
{
    setVideoLocked(!d->videoLocked);
    emit videoLockChanged(d->videoLocked);
}

void TimelineWidget::onAudioLockClicked()
{
    setAudioLocked(!d->audioLocked);
    emit audioLockChanged(d->audioLocked);
}

void TimelineWidget::onVideoPlayableClicked()
{
    setVideoPlayable(!d->videoPlayable);
    emit videoPlayableChanged(d->videoPlayable);
}

void TimelineWidget::onAudioPlayableClicked()
{
    setAudioPlayable(!d->audioPlayable);
    emit audioPlayableChanged(d->audioPlayable);
}

void TimelineWidget::onViewportDragged(int distance)
{
    QScrollBar *bar = d->scrollArea->horizontalScrollBar();
    bar->setValue(bar->value() - distance);
}

void TimelineWidget::onZoomStarted(const QPoint globalPos)
{
    // The pointer's place in the visible part of the scroll area: keeping the
    // media point under it there is what holds it still.
    d->zoomAnchorX = d->scrollArea->viewport()->mapFromGlobal(globalPos).x();
    const int width = d->viewport->width();
    d->zoomAnchorRatio = width > 0 ? double(d->viewport->mapFromGlobal(globalPos).x()) / double(width) : 0.0;
}

void TimelineWidget::onZoomUpdated()
{
    const double content = std::trunc(double(d->viewport->width()) * d->zoomAnchorRatio);
    const double value = qBound(double(INT_MIN), content - d->zoomAnchorX, double(INT_MAX));
    d->scrollArea->horizontalScrollBar()->setValue(int(value));
}

void TimelineWidget::onSliderMoved(int) {}

void TimelineWidget::paintEvent(QPaintEvent *)
{
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
}

void TimelineWidget::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    d->scrollArea->resize(width() - d->padlockAreaWidth, height() - 2 * kLayoutMargin);
    const int visible = d->scrollArea->viewport()->width();
    if (d->viewport->width() < visible)
        d->viewport->resize(visible, d->viewport->height());
}

} // namespace TW
