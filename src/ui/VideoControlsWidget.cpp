#include "ui/VideoControlsWidget.h"

#include "ui/ScreenRules.h"
#include "ui/ImageStyle.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>

namespace TW {

namespace {

const char *const kZoomSliderStyle =
    "QSlider{padding: 5; margin: 5;}"
    "QSlider::groove:horizontal{height: 4px; margin: 6px 0; border: none; border-radius: 2px;}"
    "QSlider::handle:horizontal{width: 19px; margin: -6px 0;}"
    "QSlider::handle:horizontal:enabled{border-image: url(:/gui/mainprogress-pointer-U);}"
    "QSlider::handle:horizontal:hover{border-image: url(:/gui/mainprogress-pointer-F);}"
    "QSlider::handle:horizontal:pressed{border-image: url(:/gui/mainprogress-pointer-D);}"
    "QSlider::handle:horizontal:disabled{border-image: url(:/gui/mainprogress-pointer-X);}"
    "QSlider::add-page:horizontal{margin: 6px 0; border-radius: 2px;"
    "background: qlineargradient(x1:0.5, y1:0, x2:0.5, y2:1, stop:0 darkGray, stop:0.5 darkGray, stop:1 gray);}"
    "QSlider::sub-page:horizontal{margin: 6px 0; border-radius: 2px;"
    "background: qlineargradient(x1:0.5, y1:0, x2:0.5, y2:1, stop:0 #1010f0, stop:1 #1010a0);}";

} // namespace

struct VideoControlsWidget::Impl
{
    VideoControlsWidget *owner = nullptr;
    QString timeFormat = QStringLiteral("HH:mm:ss.zzz");
    QTime duration;
    double fps = 0.0;
    QSlider *zoomSlider = nullptr;
    QLabel *timeLabelCurrent = nullptr;
    QLabel *timeLabelDuration = nullptr;
    QHBoxLayout *frameLayout = nullptr;
};

VideoControlsWidget::VideoControlsWidget(QWidget *parent, Qt::WindowFlags flags)
    : QWidget(parent, flags), d(std::make_unique<Impl>())
{
    d->owner = this;
    if (objectName().isEmpty())
        setObjectName(QStringLiteral("VideoControlsWidgetClass"));
    setWindowTitle(QStringLiteral("Form"));
    resize(1092, 55);
    setFixedHeight(55);
    setStyleSheet(QStringLiteral("*{border: 0;}"
                                 "QToolButton{min-width: 33px; max-width: 33px; min-height: 23px; max-height: 23px;"
                                 "padding: 0; border: 0;}"
                                 "QPushButton{padding: 0; border: 0;}"));

    QFrame *frame = buildFrame();
    d->frameLayout->addWidget(buildTransportButtons(frame));
    d->frameLayout->addWidget(buildZoomSlider(frame));
    d->frameLayout->addWidget(buildStepButtons(frame));
    d->frameLayout->addWidget(buildReadout(frame));
    d->frameLayout->addStretch();

    connect(d->zoomSlider, &QSlider::valueChanged, this, &VideoControlsWidget::zoomChanged);

    if (ScreenRules::isLowResolutionScreen())
        d->frameLayout->setContentsMargins(10, 2, 10, 2);
}

// The rounded bar that holds the groups, in a row between two stretches.
QFrame *VideoControlsWidget::buildFrame()
{
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto *frame = new QFrame(this);
    frame->setObjectName(QStringLiteral("frame"));
    frame->setLayoutDirection(Qt::LeftToRight);
    frame->setFrameShape(QFrame::StyledPanel);
    frame->setFrameShadow(QFrame::Raised);
    frame->setStyleSheet(QStringLiteral("#frame{border-bottom-left-radius: 10px; border-bottom-right-radius: 10px;"
                                        "background: qlineargradient(x1:0.5, y1:0, x2:0.5, y2:1, stop:0 #808080, "
                                        "stop:0.5 #606060, stop:1 #505050);}"));
    outer->addWidget(frame);
    d->frameLayout = new QHBoxLayout(frame);
    d->frameLayout->setSpacing(6);
    d->frameLayout->setContentsMargins(10, 5, 10, 5);
    d->frameLayout->addStretch();
    return frame;
}

// Play, pause and stop.
QFrame *VideoControlsWidget::buildTransportButtons(QFrame *frame)
{
    auto *mainButtonsFrame = new QFrame(frame);
    mainButtonsFrame->setObjectName(QStringLiteral("mainButtonsFrame"));
    mainButtonsFrame->setFrameShape(QFrame::StyledPanel);
    mainButtonsFrame->setFrameShadow(QFrame::Sunken);
    mainButtonsFrame->setStyleSheet(QStringLiteral("#mainButtonsFrame{background-image: url(:/gui/container);"
                                                   "background-position: center; background-repeat: no-repeat;"
                                                   "margin: 0; padding: 0 7 0 7;}"));
    auto *mainRow = new QHBoxLayout(mainButtonsFrame);
    mainRow->setSpacing(2);
    mainRow->setContentsMargins(7, 0, 7, 0);
    struct Transport
    {
        const char *name;
        const char *image;
        QSize size;
        void (VideoControlsWidget::*signal)();
        QString accessibleName;
        QString toolTip;
    };
    const Transport transport[] = {
        {"playPushButton", "play", QSize(31, 26), &VideoControlsWidget::playVideo, tr("Play"),
         tr("Play (Space)")},
        {"pausePushButton", "pause", QSize(40, 33), &VideoControlsWidget::pauseVideo, tr("Pause"),
         tr("Pause (Space)")},
        {"stopPushButton", "stop", QSize(31, 26), &VideoControlsWidget::stopVideo, tr("Stop"),
         tr("Stop and go back to the start")},
    };
    for (const Transport &t : transport) {
        auto *b = new QPushButton(mainButtonsFrame);
        b->setObjectName(QString::fromLatin1(t.name));
        b->setFixedSize(t.size);
        QString style = ImageStyle::stateImages(QStringLiteral("QPushButton"), QString::fromLatin1(t.image),
                                                QStringLiteral("border-image"), QStringLiteral("-P"));
        if (t.size.width() == 40)
            style += QStringLiteral("QPushButton{margin: 0; padding: 1;}");
        b->setStyleSheet(style);
        ImageStyle::drawStateImages(b, QString::fromLatin1(t.image), ImageStyle::ImageFit::Stretch,
                                    QStringLiteral("-P"));
        b->setAccessibleName(t.accessibleName);
        b->setToolTip(t.toolTip);
        connect(b, &QPushButton::clicked, this, t.signal);
        mainRow->addWidget(b);
    }
    return mainButtonsFrame;
}

// The zoom slider with its captions.
QFrame *VideoControlsWidget::buildZoomSlider(QFrame *frame)
{
    auto *sliderFrame = new QFrame(frame);
    sliderFrame->setObjectName(QStringLiteral("sliderFrame"));
    sliderFrame->setFixedWidth(200);
    auto *sliderColumn = new QVBoxLayout(sliderFrame);
    sliderColumn->setSpacing(0);
    sliderColumn->setContentsMargins(0, 5, 0, 0);
    sliderColumn->addStretch();
    auto *slider_frame = new QFrame(sliderFrame);
    slider_frame->setObjectName(QStringLiteral("slider_frame"));
    slider_frame->setFixedSize(200, 25);
    slider_frame->setStyleSheet(QStringLiteral("#slider_frame{border: 2px solid #202020; border-top-color: #000000;"
                                               "border-bottom-color: #404040; border-radius: 10px; background: #272727;}"));
    auto *sliderRow = new QHBoxLayout(slider_frame);
    sliderRow->setContentsMargins(0, 0, 0, 0);
    d->zoomSlider = new QSlider(Qt::Horizontal, slider_frame);
    d->zoomSlider->setObjectName(QStringLiteral("zoomSlider"));
    d->zoomSlider->setRange(0, 100);
    d->zoomSlider->setPageStep(10);
    d->zoomSlider->setValue(1);
    d->zoomSlider->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    d->zoomSlider->setStyleSheet(QString::fromLatin1(kZoomSliderStyle));
    sliderRow->addWidget(d->zoomSlider);
    sliderColumn->addWidget(slider_frame);
    auto *captions = new QHBoxLayout;
    captions->setContentsMargins(10, 0, 10, 0);
    auto *zoomOut = new QLabel(tr("Zoom (-)"), sliderFrame);
    zoomOut->setObjectName(QStringLiteral("label_3"));
    zoomOut->setStyleSheet(QStringLiteral("color: white;"));
    auto *zoomIn = new QLabel(tr("Zoom (+)"), sliderFrame);
    zoomIn->setObjectName(QStringLiteral("label_2"));
    zoomIn->setStyleSheet(QStringLiteral("color: white;"));
    captions->addWidget(zoomOut);
    captions->addStretch();
    captions->addWidget(zoomIn);
    sliderColumn->addLayout(captions);
    sliderColumn->addStretch();
    return sliderFrame;
}

// The step buttons around the centre piece.
QFrame *VideoControlsWidget::buildStepButtons(QFrame *frame)
{
    auto *ffFrame = new QFrame(frame);
    ffFrame->setObjectName(QStringLiteral("ffFrame"));
    ffFrame->setStyleSheet(QStringLiteral("#ffFrame{border: 2px solid #202020; border-top-color: #404040;"
                                          "border-bottom-color: #000000; border-radius: 15px; background: #272727;}"));
    auto *ffRow = new QHBoxLayout(ffFrame);
    ffRow->setContentsMargins(6, 0, 6, 0);
    struct Step
    {
        const char *name;
        const char *image;
        void (VideoControlsWidget::*signal)();
        QString accessibleName;
        QString toolTip;
    };
    // The images read "1s", "¼s", "0.1s" and "F" (one frame), with a minus
    // sign for the steps back.
    const Step steps[] = {
        {"ffm1ToolButton", "-1", &VideoControlsWidget::rewindByOneSec, tr("Back 1 second"),
         tr("Back 1 second")},
        {"ffmp25ToolButton", "-025", &VideoControlsWidget::rewindByQuarterSec, tr("Back a quarter second"),
         tr("Back a quarter of a second")},
        {"ffmp1ToolButton", "-01", &VideoControlsWidget::rewindByTenthSec, tr("Back a tenth of a second"),
         tr("Back a tenth of a second")},
        {"ffmFToolButton", "-f", &VideoControlsWidget::rewindByFrame, tr("Back one frame"),
         tr("Back one frame (F: frame)")},
        {nullptr, nullptr, nullptr, QString(), QString()},
        {"ffFToolButton", "f", &VideoControlsWidget::advanceByFrame, tr("Forward one frame"),
         tr("Forward one frame (F: frame)")},
        {"ffp1ToolButton", "01", &VideoControlsWidget::advanceByTenthSec, tr("Forward a tenth of a second"),
         tr("Forward a tenth of a second")},
        {"ffp25ToolButton", "025", &VideoControlsWidget::advanceByQuarterSec, tr("Forward a quarter second"),
         tr("Forward a quarter of a second")},
        {"ff1ToolButton", "1", &VideoControlsWidget::advanceByOneSec, tr("Forward 1 second"),
         tr("Forward 1 second")},
    };
    for (const Step &s : steps) {
        if (!s.name) {
            auto *centre = new QWidget(ffFrame);
            centre->setObjectName(QStringLiteral("widget"));
            centre->setFixedSize(53, 41);
            centre->setAttribute(Qt::WA_StyledBackground);
            centre->setStyleSheet(QStringLiteral("#widget{border-image: url(:/gui/FF); padding: 0; border: 0;}"));
            ffRow->addWidget(centre);
            continue;
        }
        auto *b = new QToolButton(ffFrame);
        b->setObjectName(QString::fromLatin1(s.name));
        b->setStyleSheet(ImageStyle::stateImages(QStringLiteral("QToolButton"), QString::fromLatin1(s.image),
                                                 QStringLiteral("background-image")));
        ImageStyle::drawStateImages(b, QString::fromLatin1(s.image), ImageStyle::ImageFit::Natural);
        b->setAccessibleName(s.accessibleName);
        b->setToolTip(s.toolTip);
        connect(b, &QToolButton::clicked, this, s.signal);
        ffRow->addWidget(b);
    }
    return ffFrame;
}

// The read-out of position and duration.
QFrame *VideoControlsWidget::buildReadout(QFrame *frame)
{
    auto *frame_2 = new QFrame(frame);
    frame_2->setObjectName(QStringLiteral("frame_2"));
    frame_2->setStyleSheet(QStringLiteral("#frame_2{border: 2px solid #707070; border-top-color: #505050;"
                                          "border-bottom-color: #909090; border-radius: 15px;"
                                          "background: qlineargradient(x1:0.5, y1:0, x2:0.5, y2:1, stop:0 lightgray, "
                                          "stop:0.5 gray, stop:1 lightgray);}"));
    auto *timeRow = new QHBoxLayout(frame_2);
    timeRow->setSpacing(0);
    timeRow->setContentsMargins(10, 0, 10, 0);
    // A condensed face keeps both times inside the read-out's fixed width.
    QFont readout = ImageStyle::interfaceFont(10, true);
    readout.setFamilies({QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("Liberation Sans Narrow"),
                         QStringLiteral("DejaVu Sans")});
    auto makeLabel = [&](const QString &name, const QString &text, const QString &colour, bool right) {
        auto *l = new QLabel(text, frame_2);
        l->setObjectName(name);
        l->setFont(readout);
        l->setStyleSheet(QStringLiteral("background: transparent; color: %1;").arg(colour));
        if (right)
            l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        return l;
    };
    d->timeLabelCurrent = makeLabel(QStringLiteral("timeLabelCurrent"), QStringLiteral("00:00:00:000"),
                                    QStringLiteral("#202020"), false);
    timeRow->addWidget(d->timeLabelCurrent);
    QLabel *slash = makeLabel(QStringLiteral("label"), QStringLiteral("/"), QStringLiteral("#303030"), true);
    slash->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    timeRow->addWidget(slash);
    timeRow->addSpacing(3);
    d->timeLabelDuration = makeLabel(QStringLiteral("timeLabelDuration"), QStringLiteral("00:00:00:000"),
                                     QStringLiteral("#202020"), true);
    timeRow->addWidget(d->timeLabelDuration);
    frame_2->setFixedSize(210, 31);
    return frame_2;
}

VideoControlsWidget::~VideoControlsWidget() = default;

QSlider *VideoControlsWidget::zoomSlider() const { return d->zoomSlider; }
QLabel *VideoControlsWidget::currentTimeLabel() const { return d->timeLabelCurrent; }
QLabel *VideoControlsWidget::durationLabel() const { return d->timeLabelDuration; }

QAbstractButton *VideoControlsWidget::button(const QString &objectName) const
{
    return findChild<QAbstractButton *>(objectName);
}

void VideoControlsWidget::setZoom(int value)
{
    const bool old = blockSignals(true);
    d->zoomSlider->setValue(value);
    blockSignals(old);
}

void VideoControlsWidget::setDuration(QTime dur, double fps)
{
    d->duration = dur;
    d->fps = fps;
    d->timeLabelDuration->setText(dur.toString(d->timeFormat));
}

void VideoControlsWidget::setCurrentTime(QTime time)
{
    if (!time.isNull())
        d->timeLabelCurrent->setText(time.toString(d->timeFormat));
    if (!d->duration.isNull())
        d->timeLabelDuration->setText(d->duration.toString(d->timeFormat));
}

void VideoControlsWidget::setCurrentFrame(int frame)
{
    if (d->fps == 0.0)
        return;
    // The time of day wraps past 24 hours; reduce first so that very long
    // positions never overflow the millisecond count.
    const double exact = static_cast<double>(frame) / d->fps * 1000.0;
    if (!std::isfinite(exact))
        return;
    const qint64 ms = static_cast<qint64>(exact);
    setCurrentTime(QTime(0, 0).addMSecs(static_cast<int>(ms % (24 * 3600 * 1000))));
}

} // namespace TW
