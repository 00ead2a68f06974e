#include "ui/MainWindowForm.h"

#include "core/ProgressMonitor.h"
#include "core/Singleton.h"
#include "ui/EditVideoWidget.h"
#include "ui/ImageStyle.h"
#include "ui/MainWindow.h"
#include "ui/ScreenRules.h"
#include "ui/TimeAreaWidget.h"
#include "ui/TimelineViewportWidget.h"
#include "ui/TimelineWidget.h"
#include "ui/TopToolbarWidget.h"
#include "ui/VideoControlsWidget.h"
#include "ui/VideoWidget.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>
#include <QScrollArea>
#include <QSlider>
#include <QStackedLayout>
#include <QStatusBar>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace TW {

namespace {

const char *const kMasterSliderStyle =
    "QSlider:horizontal{padding: 5;}"
    "QSlider::groove:horizontal{height: 6px;margin: 5px 0;border: 1px solid gray;border-bottom: 1px solid white;"
    "border-radius: 4px;}"
    "QSlider::handle:horizontal{width: 19px;margin: -5px -5px;background-position: center center;}"
    "QSlider::handle:horizontal:enabled{background-image: url(:/gui/mainprogress-pointer-U);}"
    "QSlider::handle:horizontal:disabled{background-image: url(:/gui/mainprogress-pointer-X);}"
    "QSlider::handle:horizontal:hover{background-image: url(:/gui/mainprogress-pointer-F);}"
    "QSlider::handle:horizontal:pressed{background-image: url(:/gui/mainprogress-pointer-D);}"
    "QSlider::add-page:horizontal{margin: 5px 0;background: qlineargradient(x1:0.5, y1:0, x2:0.5, y2:1, "
    "stop:0 #a0a0a0, stop: 1 #505050);border: 1px solid gray;border-bottom: 1px solid white;border-radius: 4px;}"
    "QSlider::sub-page:horizontal{margin: 5px 0;background: qlineargradient(x1:0.5, y1:0, x2:0.5, y2:1, "
    "stop:0 #3030f0, stop: 1 #3030a0);border: 1px solid gray;border-bottom: 1px solid white;border-radius: 4px;}";

} // namespace

void MainWindowForm::setupUi(QMainWindow *w)
{
    window = w;
    const bool lowRes = ScreenRules::isLowResolutionScreen();
    auto *column = new QVBoxLayout;
    column->setContentsMargins(5, 5, 5, 5);
    column->setSpacing(1);

    buildToolbarSection(column);
    auto *line = new QFrame(window);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    column->addWidget(line);
    column->addSpacing(lowRes ? 2 : 5);

    buildMiddleRow(column, lowRes);
    videoControls = new VideoControlsWidget(window);
    column->addWidget(videoControls);

    buildTimelineSection(column);
    buildStatusBar(lowRes);
    updateToggleButtons();

    auto *outer = new QVBoxLayout;
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addLayout(column);
    auto *central = new QWidget;
    central->setLayout(outer);
    auto *scroll = new QScrollArea(window);
    scroll->setObjectName(QStringLiteral("centralScrollArea"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setWidget(central);
    window->setCentralWidget(scroll);
}

void MainWindowForm::buildToolbarSection(QVBoxLayout *column)
{
    topToolbar = new TopToolbarWidget(window);
    toolbarPlaceholder = new QWidget(window);
    toolbarStack = new QStackedLayout;
    toolbarStack->setSpacing(0);
    toolbarStack->setContentsMargins(0, 0, 0, 0);
    toolbarStack->addWidget(topToolbar);
    toolbarStack->addWidget(toolbarPlaceholder);
    toolbarStack->setCurrentWidget(topToolbar);
    newInstanceButton = new QToolButton(window);
    newInstanceButton->setObjectName(QStringLiteral("newInstanceButton"));
    newInstanceButton->setFixedSize(13, 13);
    newInstanceButton->setStyleSheet(QStringLiteral(":enabled{border-image: url(:/gui/plusButton-U);}"
                                                    ":pressed{border-image: url(:/gui/plusButton-D);}"));
    ImageStyle::drawStateImages(newInstanceButton, QStringLiteral("plusButton"), ImageStyle::ImageFit::Stretch);
    newInstanceButton->setAccessibleName(MainWindow::tr("New window"));
    newInstanceButton->setToolTip(MainWindow::tr("Open another Tarnwell window"));
    auto *plusColumn = new QVBoxLayout;
    plusColumn->setSpacing(0);
    plusColumn->setContentsMargins(0, 0, 0, 0);
    plusColumn->addWidget(newInstanceButton);
    plusColumn->addStretch();
    toolbarToggleButton = new QToolButton(window);
    toolbarToggleButton->setObjectName(QStringLiteral("toolbarToggleButton"));
    toolbarToggleButton->setFixedSize(19, 12);
    toolbarToggleButton->setAccessibleName(MainWindow::tr("Show or hide the toolbar"));
    auto *toggleColumn = new QVBoxLayout;
    toggleColumn->setSpacing(0);
    toggleColumn->setContentsMargins(0, 0, 0, 0);
    toggleColumn->addWidget(toolbarToggleButton);
    toggleColumn->addStretch();
    auto *toolbarRow = new QHBoxLayout;
    toolbarRow->setSpacing(0);
    toolbarRow->setContentsMargins(0, 0, 0, 0);
    toolbarRow->addLayout(plusColumn);
    toolbarRow->addStretch();
    toolbarRow->addLayout(toolbarStack);
    toolbarRow->addStretch();
    toolbarRow->addLayout(toggleColumn);
    toolbarContainer = new QWidget(window);
    toolbarContainer->setObjectName(QStringLiteral("toolbarContainer"));
    toolbarContainer->setLayout(toolbarRow);
    toolbarContainer->setFixedHeight(topToolbar->height());
    toolbarPlaceholder->setFixedSize(topToolbar->width(), 13);
    column->addWidget(toolbarContainer);
}

void MainWindowForm::buildMiddleRow(QVBoxLayout *column, bool lowRes)
{
    auto *middle = new QHBoxLayout;
    middle->setSpacing(1);
    middle->setContentsMargins(0, 0, 0, 0);
    auto *sideColumn = new QVBoxLayout;
    sideColumn->setContentsMargins(0, 0, 10, 0);
    editVideoWidget = new EditVideoWidget;
    // The side panel is the tallest part of the middle row: in a short
    // window it scrolls on its own, so the video controls and the
    // timeline below stay in view.
    auto *sidePanel = new QWidget;
    sidePanel->setObjectName(QStringLiteral("sidePanel"));
    auto *sideStack = new QVBoxLayout(sidePanel);
    sideStack->setContentsMargins(0, 0, 0, 0);
    sideStack->addStretch();
    sideStack->addWidget(editVideoWidget);
    sideStack->addStretch();
    auto *sideScroll = new QScrollArea(window);
    sideScroll->setObjectName(QStringLiteral("sidePanelScrollArea"));
    sideScroll->setFrameShape(QFrame::NoFrame);
    sideScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    sideScroll->setWidgetResizable(true);
    sideScroll->setWidget(sidePanel);
    sideScroll->viewport()->setAutoFillBackground(false);
    sidePanel->setAutoFillBackground(false);
    sideScroll->setFixedWidth(editVideoWidget->minimumSizeHint().width()
                              + sideScroll->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 2);
    sideScroll->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    sideScroll->setMinimumHeight(100);
    sideColumn->addWidget(sideScroll);
    middle->addLayout(sideColumn);
    auto *videoColumn = new QVBoxLayout;
    videoColumn->setContentsMargins(0, 0, 0, 0);
    videoWidget = new VideoWidget(window);
    videoColumn->addWidget(videoWidget);
    videoColumn->addSpacing(5);
    masterSlider = new QSlider(Qt::Horizontal, window);
    masterSlider->setObjectName(QStringLiteral("masterSlider"));
    masterSlider->setFixedHeight(16);
    masterSlider->setTracking(true);
    masterSlider->installEventFilter(window);
    masterSlider->setStyleSheet(QString::fromLatin1(kMasterSliderStyle));
    videoColumn->addWidget(masterSlider);
    middle->addLayout(videoColumn);
    column->addLayout(middle);
    column->addSpacing(lowRes ? 2 : 5);
}

void MainWindowForm::buildTimelineSection(QVBoxLayout *column)
{
    timelineWidget = new TimelineWidget(window);
    timeArea = timelineWidget->getViewport()->getTimeline();
    timelinePlaceholder = new QWidget(window);
    timelineStack = new QStackedLayout;
    timelineStack->setSpacing(0);
    timelineStack->setContentsMargins(0, 0, 0, 0);
    timelineStack->addWidget(timelineWidget);
    timelineStack->addWidget(timelinePlaceholder);
    timelineStack->setCurrentWidget(timelineWidget);
    timelineContainer = new QWidget(window);
    timelineContainer->setObjectName(QStringLiteral("timelineContainer"));
    auto *timelineRow = new QHBoxLayout(timelineContainer);
    timelineRow->setSpacing(0);
    timelineRow->setContentsMargins(0, 0, 0, 0);
    timelineRow->addLayout(timelineStack);
    timelineToggleButton = new QToolButton(window);
    timelineToggleButton->setObjectName(QStringLiteral("timelineToggleButton"));
    timelineToggleButton->setFixedSize(19, 12);
    timelineToggleButton->setAccessibleName(MainWindow::tr("Show or hide the timeline"));
    timelineContainer->setFixedHeight(timelineWidget->height());
    timelinePlaceholder->setFixedHeight(timelineToggleButton->height());
    column->addWidget(timelineContainer);
}

void MainWindowForm::buildStatusBar(bool lowRes)
{
    auto *progress = new QProgressBar(window);
    progress->setFixedHeight(15);
    progress->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    auto *label = new QLabel(window);
    auto *status = new QStatusBar;
    window->setStatusBar(status);
    status->setSizeGripEnabled(true);
    status->addWidget(progress, 1);
    status->addPermanentWidget(label, 0);
    if (lowRes) {
        status->setContentsMargins(0, 0, 0, 0);
        status->setMaximumHeight(20);
    }
    if (ProgressMonitor *monitor = Singleton<ProgressMonitor>::instance())
        monitor->setWidgets(progress, label, status);
    progress->hide();
    label->hide();
}

void MainWindowForm::updateToggleButtons()
{
    const QString down = QStringLiteral("QToolButton{border-image: url(:/gui/toggle-down);}");
    const QString up = QStringLiteral("QToolButton{border-image: url(:/gui/toggle-up);}");
    toolbarToggleButton->setStyleSheet(topToolbar->isHidden() ? down : up);
    timelineToggleButton->setStyleSheet(timelineWidget->isHidden() ? down : up);
    const auto arrow = [](bool hidden) { return hidden ? QStringLiteral("toggle-down") : QStringLiteral("toggle-up"); };
    ImageStyle::drawStateImages(toolbarToggleButton, arrow(topToolbar->isHidden()), ImageStyle::ImageFit::Stretch);
    ImageStyle::drawStateImages(timelineToggleButton, arrow(timelineWidget->isHidden()),
                                ImageStyle::ImageFit::Stretch);
    toolbarToggleButton->setToolTip(topToolbar->isHidden() ? MainWindow::tr("Show the toolbar")
                                                           : MainWindow::tr("Hide the toolbar"));
    timelineToggleButton->setToolTip(timelineWidget->isHidden() ? MainWindow::tr("Show the timeline")
                                                                : MainWindow::tr("Hide the timeline"));
}

void MainWindowForm::placeTimelineToggle()
{
    const QPoint corner = timelineContainer->mapTo(window, QPoint(0, 0));
    timelineToggleButton->move(corner.x() + timelineContainer->width() - timelineToggleButton->width(),
                               corner.y() + 1);
    timelineToggleButton->raise();
}

void MainWindowForm::toggleSection(QStackedLayout *stack, QWidget *section, QWidget *placeholder, QWidget *container)
{
    if (stack->currentWidget() == section) {
        stack->setCurrentWidget(placeholder);
        container->setFixedHeight(placeholder->height());
    } else {
        stack->setCurrentWidget(section);
        container->setFixedHeight(section->height());
    }
    updateToggleButtons();
}

} // namespace TW
