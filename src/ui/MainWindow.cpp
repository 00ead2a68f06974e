#include "ui/MainWindow.h"

#include "app/AddBookmarkCommand.h"
#include "app/AddLoopCommand.h"
#include "app/Application.h"
#include "app/CommandTargets.h"
#include "app/EditBookmarkCommand.h"
#include "app/EditLoopCommand.h"
#include "app/RemoveAllLoopsCommand.h"
#include "app/RemoveBookmarkCommand.h"
#include "app/RemoveLoopCommand.h"
#include "dialogs/BookmarkEditDialog.h"
#include "dialogs/EditLoopDialog.h"
#include "model/Media.h"
#include "model/MediaTimeLine.h"
#include "model/Project.h"
#include "app/MainController.h"
#include "dialogs/ExportDialog.h"
#include "dialogs/OptionsDialog.h"
#include "dialogs/PrintDialog.h"
#include "dialogs/RipDialog.h"
#include "core/Options.h"
#include "core/OptionsHolder.h"
#include "core/ProgressMonitor.h"
#include "core/Singleton.h"
#include "model/VideoLoop.h"
#include "model/VideoMarker.h"
#include "ui/EditVideoWidget.h"
#include "ui/ImageStyle.h"
#include "ui/AbstractThumbnail.h"
#include "ui/AudioThumbnailWidget.h"
#include "ui/MediaTrackWidget.h"
#include "ui/TimeAreaWidget.h"
#include "ui/TimelineViewportOverlay.h"
#include "ui/TimelineViewportWidget.h"
#include "ui/TimelineWidget.h"
#include "ui/TopToolbarWidget.h"
#include "ui/VideoControlsWidget.h"
#include "ui/VideoThumbnailWidget.h"
#include "ui/VideoWidget.h"
#include "app/SnifferController.h"
#include "capture/Tarnwell2SnifferWindow.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDebug>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QProgressBar>
#include <QScreen>
#include <QGuiApplication>
#include <QScrollArea>
#include <QSettings>
#include <QSlider>
#include <QStackedLayout>
#include <QStatusBar>
#include <QTextEdit>
#include <QToolButton>
#include <QUndoCommand>
#include <QVBoxLayout>
#include <cmath>
#include <limits>

#if __has_include("playback/MediaPlayer.h")
#include "playback/MediaPlayer.h"
#define TW_HAVE_PLAYER 1
#else
#define TW_HAVE_PLAYER 0
#endif

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

QString openFilters()
{
    static const QString filters = QStringList{
        QObject::tr("All Media Files (*.avi *.mp4 *.m4v *.mpg *.mpeg *.mov *.mts *.m2ts *.ts *.flv *.mkv *.webm "
                    "*.wmv *.rm *.vob *.3gp *.ogv *.mp3 *.wav *.flac *.m4a *.aac *.ogg *.oga *.opus *.wma *.aif "
                    "*.aiff *.twp)"),
        QObject::tr("Audio Files (*.mp3 *.wav *.flac *.m4a *.aac *.ogg *.oga *.opus *.wma *.aif *.aiff)"),
        QObject::tr("AVI (*.avi)"), QObject::tr("MPEG-4 (*.mp4)"), QObject::tr("MPEG-4 (*.m4v)"),
        QObject::tr("MPEG-1 (*.mpg)"), QObject::tr("QuickTime (*.mov)"), QObject::tr("Matroska (*.mkv)"),
        QObject::tr("Flash (*.flv)"), QObject::tr("Windows Media (*.wmv)"), QObject::tr("Real Media (*.rm)"),
        QObject::tr("MTS (*.mts)"), QObject::tr("DVD-Video Object (*.vob)"),
        QObject::tr("Tarnwell Project (*.twp)"), QObject::tr("All files (*)")}.join(QStringLiteral(";;"));
    return filters;
}

// Widgets that take typed text: keys typed there belong to them.
bool isTextField(const QWidget *w)
{
    if (!w)
        return false;
    if (qobject_cast<const QLineEdit *>(w) || qobject_cast<const QAbstractSpinBox *>(w)
        || qobject_cast<const QTextEdit *>(w) || qobject_cast<const QPlainTextEdit *>(w))
        return true;
    const auto *combo = qobject_cast<const QComboBox *>(w);
    return combo && combo->isEditable();
}

bool focusInsideDialog()
{
    for (QWidget *w = QApplication::focusWidget(); w; w = w->parentWidget()) {
        if (qobject_cast<QDialog *>(w))
            return true;
    }
    return false;
}

} // namespace

struct MainWindow::MainWindowImpl
{
    MainWindow *window = nullptr;
    TopToolbarWidget *topToolbar = nullptr;
    VideoWidget *videoWidget = nullptr;
    QSlider *masterSlider = nullptr;
    TimelineWidget *timelineWidget = nullptr;
    // The time ruler of the timeline's viewport.
    TimeAreaWidget *timeArea = nullptr;
    VideoControlsWidget *videoControls = nullptr;
    EditVideoWidget *editVideoWidget = nullptr;
    QStackedLayout *toolbarStack = nullptr;
    QWidget *toolbarContainer = nullptr;
    QWidget *toolbarPlaceholder = nullptr;
    QToolButton *toolbarToggleButton = nullptr;
    QToolButton *newInstanceButton = nullptr;
    QStackedLayout *timelineStack = nullptr;
    QWidget *timelineContainer = nullptr;
    QWidget *timelinePlaceholder = nullptr;
    QToolButton *timelineToggleButton = nullptr;
    MainController *controller = nullptr;
    // The loop whose tempo and pitch the side panel shows (empty: the
    // project's), and whether it shows any yet.
    QString tempoLoopId;
    bool tempoShown = false;
    QMenu *aspectResizeMenu = nullptr;
    QAction *undoAction = nullptr;
    QAction *redoAction = nullptr;
    // The sniffed-media window: made hidden at start-up when the sniffer
    // runs in the background, else by the sniffer entry; it has no parent.
    QPointer<Tarnwell2SnifferWindow> snifferWindow;

    void makeSnifferWindow()
    {
        snifferWindow = new Tarnwell2SnifferWindow;
        QObject::connect(snifferWindow, &Tarnwell2SnifferWindow::downloadFinished, window,
                         &MainWindow::onSnifferDownloadFinish, Qt::QueuedConnection);
        QObject::connect(snifferWindow, &Tarnwell2SnifferWindow::closed, window, &MainWindow::onSnifferWindowClosed);
    }

    void setupUi()
    {
        const bool lowRes = Application::isLowResolutionScreen();
        auto *column = new QVBoxLayout;
        column->setContentsMargins(5, 5, 5, 5);
        column->setSpacing(1);

        // Toolbar section.
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
        auto *line = new QFrame(window);
        line->setFrameShape(QFrame::HLine);
        line->setFrameShadow(QFrame::Sunken);
        column->addWidget(line);
        column->addSpacing(lowRes ? 2 : 5);

        // Side panel and video.
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

        videoControls = new VideoControlsWidget(window);
        column->addWidget(videoControls);

        // Timeline section.
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

        // Status bar.
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

    void updateToggleButtons()
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

    void placeTimelineToggle()
    {
        const QPoint corner = timelineContainer->mapTo(window, QPoint(0, 0));
        timelineToggleButton->move(corner.x() + timelineContainer->width() - timelineToggleButton->width(),
                                   corner.y() + 1);
        timelineToggleButton->raise();
    }

    void toggleSection(QStackedLayout *stack, QWidget *section, QWidget *placeholder, QWidget *container)
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

    void postResize()
    {
        QCoreApplication::postEvent(window, new QResizeEvent(QSize(1, 1), window->size()));
    }

    void connectChildren()
    {
        MainWindow *w = window;
        QObject::connect(topToolbar, &TopToolbarWidget::openButtonClicked, w, &MainWindow::onOpenButtonClicked);
        QObject::connect(topToolbar, &TopToolbarWidget::saveButtonClicked, w, &MainWindow::onSaveButtonClicked);
        QObject::connect(topToolbar, &TopToolbarWidget::exportButtonClicked, w, &MainWindow::onExportButtonClicked);
        QObject::connect(topToolbar, &TopToolbarWidget::ripButtonClicked, w, &MainWindow::onRipButtonClicked);
        QObject::connect(topToolbar, &TopToolbarWidget::aspectResizeButtonClicked, w, &MainWindow::onAspectResizeButtonClicked);
        QObject::connect(topToolbar, &TopToolbarWidget::snifferButtonClicked, w, &MainWindow::onSnifferButtonClicked);
        QObject::connect(topToolbar, &TopToolbarWidget::snifferYoutubeButtonClicked, w, &MainWindow::onSnifferYoutubeButtonClicked);
        QObject::connect(topToolbar, &TopToolbarWidget::snifferBackgroundClicked, w, &MainWindow::onSnifferBackgroundClicked);
        QObject::connect(topToolbar, &TopToolbarWidget::optionButtonClicked, w, &MainWindow::onOptionButtonClicked);
        QObject::connect(topToolbar, &TopToolbarWidget::helpButtonClicked, w, &MainWindow::onHelpButtonClicked);
        QObject::connect(topToolbar, &TopToolbarWidget::printerButtonClicked, w, &MainWindow::onPrinterButtonClicked);
        QObject::connect(topToolbar, &TopToolbarWidget::exportEntireVideoClicked, w, &MainWindow::onExportEntireVideoClicked);
        QObject::connect(topToolbar, &TopToolbarWidget::exportCurrentLoopClicked, w, &MainWindow::onExportCurrentLoopClicked);
        QObject::connect(topToolbar, &TopToolbarWidget::exportAllLoopsClicked, w, &MainWindow::onExportAllLoopsClicked);
        QObject::connect(topToolbar, &TopToolbarWidget::undoButtonClicked, w, &MainWindow::onUndo);
        QObject::connect(topToolbar, &TopToolbarWidget::redoButtonClicked, w, &MainWindow::onRedo);
        QObject::connect(topToolbar, &TopToolbarWidget::markerButtonClicked, w, &MainWindow::onMarkerButtonClicked);
        QObject::connect(topToolbar, &TopToolbarWidget::openFileClicked, w, &MainWindow::onOpenFileClicked);
        QObject::connect(topToolbar, &TopToolbarWidget::sizeCustomClicked, w, &MainWindow::onSizeCustomClicked);
        QObject::connect(topToolbar, &TopToolbarWidget::sizeMostRecentClicked, w, &MainWindow::onSizeMostRecentClicked);
        QObject::connect(topToolbar, &TopToolbarWidget::sizeOriginalClicked, w, &MainWindow::onSizeOriginalClicked);
        QObject::connect(topToolbar, &TopToolbarWidget::sizeClicked, w, &MainWindow::onSizeClicked);
        // The help entries go straight to the application's controller.
        if (MainController *c = Application::instance() ? Application::instance()->getMainController() : controller) {
            QObject::connect(topToolbar, &TopToolbarWidget::helpUserGuideClicked, c, &MainController::onHelpUserGuideClicked);
            QObject::connect(topToolbar, &TopToolbarWidget::helpQuickStartGuideClicked, c,
                    &MainController::onHelpQuickStartGuideClicked);
            QObject::connect(topToolbar, &TopToolbarWidget::helpTrainingVideosClicked, c,
                    &MainController::onHelpTrainingVideosClicked);
            QObject::connect(topToolbar, &TopToolbarWidget::helpHelpDeskClicked, c, &MainController::onHelpHelpDeskClicked);
            QObject::connect(topToolbar, &TopToolbarWidget::helpAboutClicked, c, &MainController::onHelpAboutClicked);
        }
        QObject::connect(newInstanceButton, &QToolButton::clicked, w, &MainWindow::onNewInstanceButtonClicked);
        QObject::connect(toolbarToggleButton, &QToolButton::clicked, w, &MainWindow::onToggleTopToolbarClicked);
        QObject::connect(timelineToggleButton, &QToolButton::clicked, w, &MainWindow::onToggleTimelineClicked);

        QObject::connect(editVideoWidget, &EditVideoWidget::tempoValueChanged, w, &MainWindow::onTempoChanged);
        QObject::connect(editVideoWidget, &EditVideoWidget::pitchValueChanged, w, &MainWindow::onPitchChanged);
        QObject::connect(editVideoWidget, &EditVideoWidget::volumeChanged, w, &MainWindow::onVoumeChanged);
        QObject::connect(editVideoWidget, &EditVideoWidget::deletePressed, w, &MainWindow::onDelete);
        QObject::connect(editVideoWidget, &EditVideoWidget::cutPressed, w, &MainWindow::onCut);
        QObject::connect(editVideoWidget, &EditVideoWidget::copyPressed, w, &MainWindow::onCopy);
        QObject::connect(editVideoWidget, &EditVideoWidget::pastePressed, w, &MainWindow::onPaste);
        QObject::connect(editVideoWidget, &EditVideoWidget::volumePressed, w, &MainWindow::onVolume);
        QObject::connect(editVideoWidget, &EditVideoWidget::insertSilencePressed, w, &MainWindow::onInsertSilence);
        QObject::connect(editVideoWidget, &EditVideoWidget::silenceSectionPressed, w, &MainWindow::onSilenceSection);
        QObject::connect(editVideoWidget, &EditVideoWidget::startLoopPressed, w, &MainWindow::onStartLoop);
        QObject::connect(editVideoWidget, &EditVideoWidget::endLoopPressed, w, &MainWindow::onEndLoop);
        QObject::connect(editVideoWidget, &EditVideoWidget::editLoopPressed, w, &MainWindow::onEditLoop);
        QObject::connect(editVideoWidget, &EditVideoWidget::deleteLoopPressed, w, &MainWindow::onDeleteLoop);
        QObject::connect(editVideoWidget, &EditVideoWidget::previousLoopPressed, w, &MainWindow::onPreviousLoop);
        QObject::connect(editVideoWidget, &EditVideoWidget::nextLoopPressed, w, &MainWindow::onNextLoop);
        QObject::connect(editVideoWidget, &EditVideoWidget::previousMarkerPressed, w, &MainWindow::onPreviousMarker);
        QObject::connect(editVideoWidget, &EditVideoWidget::nextMarkerPressed, w, &MainWindow::onNextMarker);

        QObject::connect(videoControls, &VideoControlsWidget::advanceByOneSec, w, &MainWindow::onAdvanceByOneSec);
        QObject::connect(videoControls, &VideoControlsWidget::advanceByTenthSec, w, &MainWindow::onAdvanceByTenthSec);
        QObject::connect(videoControls, &VideoControlsWidget::advanceByQuarterSec, w, &MainWindow::onAdvanceByQuarterSec);
        QObject::connect(videoControls, &VideoControlsWidget::advanceByFrame, w, &MainWindow::onAdvanceByFrame);
        QObject::connect(videoControls, &VideoControlsWidget::rewindByOneSec, w, &MainWindow::onRewindByOneSec);
        QObject::connect(videoControls, &VideoControlsWidget::rewindByTenthSec, w, &MainWindow::onRewindByTenthSec);
        QObject::connect(videoControls, &VideoControlsWidget::rewindByQuarterSec, w, &MainWindow::onRewindByQuarterSec);
        QObject::connect(videoControls, &VideoControlsWidget::rewindByFrame, w, &MainWindow::onRewindByFrame);
        QObject::connect(videoControls, &VideoControlsWidget::stopVideo, w, &MainWindow::onStopVideo);
        QObject::connect(videoControls, &VideoControlsWidget::playVideo, w, &MainWindow::onPlayVideo);
        QObject::connect(videoControls, &VideoControlsWidget::pauseVideo, w, &MainWindow::onPauseVideo);
        QObject::connect(videoControls, &VideoControlsWidget::zoomChanged, w, &MainWindow::onZoomSliderChanged);

        QObject::connect(videoWidget, &VideoWidget::zoomIn, w, &MainWindow::onVideoZoomIn);
        QObject::connect(videoWidget, &VideoWidget::zoomOut, w, &MainWindow::onVideoZoomOut);
        QObject::connect(videoWidget, &VideoWidget::zoom, w, &MainWindow::onVideoZoom);

        QObject::connect(masterSlider, &QSlider::valueChanged, w, &MainWindow::onPlaybackFrameChanged);
        QObject::connect(masterSlider, &QSlider::sliderMoved, w, &MainWindow::onMasterTimelineValueChanged);
        QObject::connect(masterSlider, &QSlider::sliderPressed, w, &MainWindow::onSliderPressed);
        QObject::connect(masterSlider, &QSlider::sliderReleased, w, &MainWindow::onSliderReleased);
        // Keys move the slider without its handle: the player follows at
        // once. A drag seeks through sliderMoved; a plain move is the window
        // showing the play position (the wheel is not taken, see eventFilter).
        QObject::connect(masterSlider, &QSlider::actionTriggered, w, [this](int action) {
            if (action == QAbstractSlider::SliderNoAction || action == QAbstractSlider::SliderMove
                || masterSlider->isSliderDown())
                return;
            const int frame = masterSlider->sliderPosition();
            window->updateTempoPitch();
            controller->onPlaybackFrameChanged(static_cast<quint32>(qMax(0, frame)));
        });
        QObject::connect(timeArea, &TimeAreaWidget::sliderPressed, w, &MainWindow::onSliderPressed);
        QObject::connect(timeArea, &TimeAreaWidget::sliderReleased, w, &MainWindow::onSliderReleased);
        QObject::connect(timeArea, &TimeAreaWidget::timeChanged, w, &MainWindow::onPlaybackTimeChanged);
        QObject::connect(timeArea, &TimeAreaWidget::frameChanged, w, &MainWindow::onTimelineValueChanged);
        QObject::connect(timeArea, &TimeAreaWidget::selectionChanged, w, &MainWindow::onSelectionChanged);
        QObject::connect(timeArea, &TimeAreaWidget::execute, w, &MainWindow::execute);
        // The ruler asks for its loop and bookmark changes; each becomes one
        // undoable command on the window's queued road to the controller.
        QObject::connect(timeArea, &TimeAreaWidget::addBookmarkRequested, w,
                         [w](VideoMarkerPtr bookmark) { emit w->execute(new AddBookmarkCommand(bookmark)); });
        QObject::connect(timeArea, &TimeAreaWidget::addLoopRequested, w,
                         [w](VideoLoopPtr loop) { emit w->execute(new AddLoopCommand(loop)); });
        QObject::connect(timeArea, &TimeAreaWidget::editBookmarkRequested, w,
                         [w](VideoMarkerPtr before, VideoMarkerPtr bookmark, VideoMarkerPtr after) {
                             emit w->execute(new EditBookmarkCommand(before, bookmark, after));
                         });
        QObject::connect(timeArea, &TimeAreaWidget::editLoopRequested, w,
                         [w](VideoLoopPtr before, VideoLoopPtr loop, VideoLoopPtr after) {
                             emit w->execute(new EditLoopCommand(before, loop, after));
                         });
        QObject::connect(timeArea, &TimeAreaWidget::removeBookmarkRequested, w,
                         [w](VideoMarkerPtr bookmark) { emit w->execute(new RemoveBookmarkCommand(bookmark)); });
        QObject::connect(timeArea, &TimeAreaWidget::removeLoopRequested, w,
                         [w](VideoLoopPtr loop) { emit w->execute(new RemoveLoopCommand(loop)); });
        QObject::connect(timelineWidget, &TimelineWidget::videoPlayableChanged, w, &MainWindow::onVideoPlayableChanged);
        QObject::connect(timelineWidget, &TimelineWidget::audioPlayableChanged, w, &MainWindow::onAudioPlayableChanged);
        QObject::connect(timelineWidget, &TimelineWidget::videoLockChanged, w, &MainWindow::onVideoLockChanged);
        QObject::connect(timelineWidget, &TimelineWidget::audioLockChanged, w, &MainWindow::onAudioLockChanged);
        TimelineViewportWidget *viewport = timelineWidget->getViewport();
        QObject::connect(viewport->getAudioTrack(), &MediaTrackWidget::thumbnailClicked, w,
                         &MainWindow::onThumbnailClicked);
        QObject::connect(viewport->getVideoTrack(), &MediaTrackWidget::thumbnailClicked, w,
                         &MainWindow::onThumbnailClicked);
    }

    void readSettings()
    {
        if (Options::instance() && Options::instance()->getAlwaysOnTop())
            window->setWindowFlags(window->windowFlags() | Qt::WindowStaysOnTopHint);
        QSettings settings;
        settings.beginGroup(QStringLiteral("MainWindow"));
        const QSize size = settings.value(QStringLiteral("size"), QSize(1024, 800)).toSize();
        const QPoint position = settings.value(QStringLiteral("position"), QPoint(100, 100)).toPoint();
        // The saved or default place, kept on the screen it is on (or the
        // first one): a small screen, or one that has gone, must not leave
        // the window's bottom or the timeline out of reach.
        QRect wanted(position, size);
        const QScreen *screen = QGuiApplication::screenAt(wanted.center());
        if (!screen)
            screen = QGuiApplication::primaryScreen();
        if (screen) {
            // The frame is not known before the window is shown: a title bar
            // and thin borders are allowed for.
            const QMargins frame(4, 32, 4, 4);
            wanted = MainWindow::fitToScreen(QRect(position, size), screen->availableGeometry(), frame);
        }
        window->resize(wanted.size());
        window->move(wanted.topLeft());
        if (settings.value(QStringLiteral("maximized"), 0).toInt() == 1) {
            if (window->isMaximized())
                window->showNormal();
            window->showMaximized();
            window->hide();
        }
        settings.endGroup();
    }

    void writeSettings()
    {
        QSettings settings;
        settings.beginGroup(QStringLiteral("MainWindow"));
        const bool maximized = window->isMaximized();
        if (!maximized) {
            settings.setValue(QStringLiteral("size"), window->size());
            settings.setValue(QStringLiteral("position"), window->pos());
        }
        settings.setValue(QStringLiteral("maximized"), maximized ? 1 : 0);
        settings.endGroup();
    }

    void createMainMenu()
    {
        QMenuBar *bar = window->menuBar();
        auto menu = [&](const QString &title) {
            auto *m = new QMenu(title, window);
            bar->addMenu(m);
            return m;
        };
        QMenu *open = menu(MainWindow::tr("Open"));
        QObject::connect(open->addAction(MainWindow::tr("Open")), &QAction::triggered, window, &MainWindow::onOpenButtonClicked);
        QMenu *save = menu(MainWindow::tr("Save"));
        QObject::connect(save->addAction(MainWindow::tr("Save")), &QAction::triggered, controller,
                &MainController::saveCurrentProject);
        QObject::connect(save->addAction(MainWindow::tr("Save As")), &QAction::triggered, window,
                &MainWindow::onSaveButtonClicked);
        QMenu *exportMenu = topToolbar->getExportMenu();
        exportMenu->setTitle(MainWindow::tr("Export"));
        bar->addMenu(exportMenu);
        QMenu *rip = menu(MainWindow::tr("Rip"));
        QObject::connect(rip->addAction(MainWindow::tr("Rip")), &QAction::triggered, window, &MainWindow::onRipButtonClicked);
        aspectResizeMenu = menu(MainWindow::tr("Aspect Resize"));
        QObject::connect(aspectResizeMenu, &QMenu::aboutToShow, window, &MainWindow::rebuildAspectResizeMenu);
        QMenu *sniffer = topToolbar->getSnifferMenu();
        sniffer->setTitle(MainWindow::tr("Sniffer"));
        bar->addMenu(sniffer);
        QMenu *undo = menu(MainWindow::tr("Undo"));
        undoAction = undo->addAction(MainWindow::tr("Undo"));
        QObject::connect(undoAction, &QAction::triggered, window, &MainWindow::onUndo);
        QObject::connect(undo, &QMenu::aboutToShow, window, [this] { undoAction->setEnabled(topToolbar->canUndo()); });
        QMenu *redo = menu(MainWindow::tr("Redo"));
        redoAction = redo->addAction(MainWindow::tr("Redo"));
        QObject::connect(redoAction, &QAction::triggered, window, &MainWindow::onRedo);
        QObject::connect(redo, &QMenu::aboutToShow, window, [this] { redoAction->setEnabled(topToolbar->canRedo()); });
        QMenu *marker = menu(MainWindow::tr("Marker"));
        QObject::connect(marker->addAction(MainWindow::tr("Marker")), &QAction::triggered, window,
                &MainWindow::onMarkerButtonClicked);
        QMenu *option = menu(MainWindow::tr("Option"));
        QObject::connect(option->addAction(MainWindow::tr("Option")), &QAction::triggered, window,
                &MainWindow::onOptionButtonClicked);
        QMenu *help = topToolbar->getHelpMenu();
        help->setTitle(MainWindow::tr("Help "));
        for (QAction *a : help->actions()) {
            if (a->text() == QLatin1String("About"))
                a->setMenuRole(QAction::NoRole);
        }
        bar->addMenu(help);
        QMenu *printer = menu(MainWindow::tr("Printer"));
        QObject::connect(printer->addAction(MainWindow::tr("Printer")), &QAction::triggered, window,
                &MainWindow::onPrinterButtonClicked);
    }

    // Keys of the whole window: the toolbar's (which act while it is
    // collapsed too) and Quit.
    void createShortcuts()
    {
        window->addActions(topToolbar->shortcutActions());
        auto *quit = new QAction(MainWindow::tr("Quit"), window);
        quit->setObjectName(QStringLiteral("quitAction"));
        QList<QKeySequence> quitKeys = QKeySequence::keyBindings(QKeySequence::Quit);
        if (quitKeys.isEmpty())
            quitKeys << QKeySequence(Qt::CTRL | Qt::Key_Q);
        quit->setShortcuts(quitKeys);
        quit->setShortcutContext(Qt::WindowShortcut);
        QObject::connect(quit, &QAction::triggered, window, &QWidget::close);
        window->addAction(quit);
    }

    bool projectEmpty() const { return timeArea->getFrameCount() <= 0; }

    // Lets the ruler jump to a loop or bookmark, then seeks the player there.
    void jumpOnRuler(void (TimeAreaWidget::*jump)())
    {
        (timeArea->*jump)();
        controller->onPlaybackFrameChanged(static_cast<quint32>(qMax(0, timeArea->getCurFrame())));
    }

    // Shows an accepted seek target and hands it to the controller.
    void seekTo(int frame)
    {
        window->onPlaybackFrameChanged(frame);
        controller->onPlaybackFrameChanged(static_cast<quint32>(frame));
    }

    void step(double seconds, bool forward)
    {
        if (projectEmpty())
            return;
        const double fps = timeArea->getFps();
        const int current = timeArea->getCurFrame();
        const int last = timeArea->getFrameCount();
        int target;
        if (seconds <= 0.0) {
            target = forward ? current + 1 : current - 1;
        } else {
            const double delta = seconds * fps;
            target = forward ? static_cast<int>(std::floor(current + delta))
                             : static_cast<int>(std::ceil(current - delta));
        }
        if (forward ? target > last : target < 0)
            return;
        if (!forward && seconds <= 0.0 && current <= 0)
            return;
        seekTo(target);
    }
};

MainWindow::MainWindow(MainController *controller, QWidget *parent, Qt::WindowFlags flags)
    : QMainWindow(parent, flags), d(std::make_unique<MainWindowImpl>())
{
    d->window = this;
    d->controller = controller;
    d->setupUi();
    // Where the ruler allocates new loops and bookmarks, and how long the
    // project is for the bookmark editor: always the current project.
    TimeAreaWidget::setTimelineSource([] { return CommandTargets::timeline(); });
    BookmarkEditDialog::setDurationSource([]() -> qint64 {
        MainController *c = CommandTargets::controller();
        const QSharedPointer<Media> media = c ? c->getMedia() : QSharedPointer<Media>();
        return media ? media->getDuration().unitCount : 0;
    });
    OptionsDialog::setCustomSizeAction([] {
        if (MainController *c = CommandTargets::controller())
            c->onSizeCustomClicked();
    });
    PrintDialog::setProjectSource({[] {
                                       MainController *c = CommandTargets::controller();
                                       return c ? c->getMedia() : QSharedPointer<Media>();
                                   },
                                   [] {
                                       MainController *c = CommandTargets::controller();
                                       MainWindow *w = c ? c->getMainWindow() : nullptr;
                                       return w ? w->getSelection() : PairInt(-1, -1);
                                   },
                                   [] {
                                       MainController *c = CommandTargets::controller();
                                       MainWindow *w = c ? c->getMainWindow() : nullptr;
                                       return w ? w->getCurFrame() : 0;
                                   }});
#if TW_HAVE_PLAYER
    if (controller && controller->getMediaPlayer())
        controller->getMediaPlayer()->setRenderingWidget(getRenderingWidget());
#endif
    d->connectChildren();
    d->readSettings();
    setWindowTitle(QStringLiteral("Tarnwell"));
    setWindowIcon(QIcon(QStringLiteral(":/gui/tw_icon")));
    setAcceptDrops(true);
    setDuration(QTime(0, 0), 0.0);
    setObjectName(QStringLiteral("mainWindow"));
    setStyleSheet(QStringLiteral("#mainWindow { border: 2px solid gray; }"));
    qApp->installEventFilter(this);
    d->createMainMenu();
    d->createShortcuts();
    if (Application::isLowResolutionScreen())
        onToggleTopToolbarClicked();
    d->postResize();
    d->placeTimelineToggle();
    if (Options::instance()->getRunSnifferInBackground())
        d->makeSnifferWindow();
    d->topToolbar->setSnifferInBackground(Options::instance()->getRunSnifferInBackground());
}

MainWindow::~MainWindow()
{
    qApp->removeEventFilter(this);
    delete d->snifferWindow;
    d->writeSettings();
}

bool MainWindow::isVideoLocked() const { return d->timelineWidget->isVideoLocked(); }
bool MainWindow::isAudioLocked() const { return d->timelineWidget->isAudioLocked(); }
PairInt MainWindow::getSelection() const { return d->timeArea->getSelection(); }
int MainWindow::getCurFrame() const { return d->timeArea->getCurFrame(); }
QSharedPointer<VideoLoop> MainWindow::getCurLoop() const { return d->timeArea->getCurLoop(); }
QWidget *MainWindow::getRenderingWidget() const { return d->videoWidget->getRenderingWidget(); }
bool MainWindow::isMaximized() const { return QWidget::isMaximized(); }
TopToolbarWidget *MainWindow::getTopToolbar() const { return d->topToolbar; }
EditVideoWidget *MainWindow::getEditVideoWidget() const { return d->editVideoWidget; }
VideoWidget *MainWindow::getVideoWidget() const { return d->videoWidget; }
VideoControlsWidget *MainWindow::getVideoControls() const { return d->videoControls; }
TimeAreaWidget *MainWindow::getTimeArea() const { return d->timeArea; }
TimelineWidget *MainWindow::getTimeline() const { return d->timelineWidget; }
QSlider *MainWindow::getMasterSlider() const { return d->masterSlider; }
QMenu *MainWindow::getAspectResizeMenu() const { return d->aspectResizeMenu; }
bool MainWindow::isToolbarCollapsed() const { return d->toolbarStack->currentWidget() != d->topToolbar; }
bool MainWindow::isTimelineCollapsed() const { return d->timelineStack->currentWidget() != d->timelineWidget; }

void MainWindow::setWindowTitle(const QString &title) { QMainWindow::setWindowTitle(title); }

void MainWindow::setDuration(QTime duration, double fps)
{
    d->timelineWidget->getViewport()->setDuration(duration, fps);
    d->videoControls->setDuration(duration, fps);
    d->masterSlider->setMaximum(d->timeArea->getFrameCount());
    d->masterSlider->setSingleStep(static_cast<int>(fps / 10.0));
    qDebug() << "Duration is set to" << duration.toString(QStringLiteral("HH-mm-ss-zzz")) << "fps:" << fps;
}

void MainWindow::setCurrentFrame(long frame)
{
    if (d->timeArea->isSliderDown() || d->masterSlider->isSliderDown())
        return;
    // The end of playback shows as the start.
    const QSharedPointer<Media> media = d->controller ? d->controller->getMedia() : nullptr;
    const long length = media ? static_cast<long>(media->getDuration().toFrameUnits(false)) : 0;
    const long shown = frame == length ? 0 : frame;
    const int f = static_cast<int>(qBound(static_cast<long>(std::numeric_limits<int>::min()), shown,
                                          static_cast<long>(std::numeric_limits<int>::max())));
    d->masterSlider->setSliderPosition(f);
    d->timeArea->setCurrentFrame(f);
    d->videoControls->setCurrentFrame(f);
    // The side panel follows the project's settings signal; a position
    // report changes it only when it crosses a loop's boundary.
    const QSharedPointer<VideoLoop> loop = d->timeArea->getCurLoop();
    const QString loopId = loop ? loop->getID() : QString();
    if (!d->tempoShown || loopId != d->tempoLoopId)
        updateTempoPitch();
}

void MainWindow::setCurrentTime(QTime time)
{
    qDebug() << "MainWindow::setCurrentTime" << time;
    d->timeArea->setCurrentTime(time);
    d->videoControls->setCurrentTime(time);
    const int ms = QTime(0, 0).msecsTo(time);
    d->masterSlider->setSliderPosition(static_cast<int>(d->timeArea->getFps() * ms / 1000.0));
}

void MainWindow::addLoop(QSharedPointer<VideoLoop> loop)
{
    d->timeArea->addLoop(loop);
    d->timelineWidget->getViewport()->getOverlay()->addLoop(loop);
}

void MainWindow::removeLoop(QSharedPointer<VideoLoop> loop)
{
    d->timeArea->removeLoop(loop);
    d->timelineWidget->getViewport()->getOverlay()->removeLoop(loop);
}

void MainWindow::addBookmark(QSharedPointer<VideoMarker> bookmark) { d->timeArea->addBookmark(bookmark); }
void MainWindow::removeBookmark(QSharedPointer<VideoMarker> bookmark) { d->timeArea->removeBookmark(bookmark); }
void MainWindow::updateLoops()
{
    d->timeArea->updateLoops();
    d->timelineWidget->getViewport()->getOverlay()->update();
}

void MainWindow::updateBookmarks() { d->timeArea->updateBookmarks(); }
void MainWindow::clearLoops()
{
    d->timeArea->clearLoops();
    d->timelineWidget->getViewport()->getOverlay()->clearLoops();
}

void MainWindow::clearBookmarks() { d->timeArea->clearBookmarks(); }
void MainWindow::clearTmpLoops() { d->timeArea->clearTmpLoops(); }
void MainWindow::clearSelection() { d->timeArea->clearSelection(); }
void MainWindow::updateTempoPitch()
{
    const qint64 frame = d->timeArea->getCurFrame();
    const Project *project = d->controller ? d->controller->getProject() : nullptr;
    const PlaybackValues values = project ? project->valuesAt(frame)
                                          : PlaybackSettings::of(nullptr, *Singleton<OptionsHolder>::instance())->valuesAt(frame);
    d->editVideoWidget->setTempo(values.tempo);
    d->editVideoWidget->setPitch(values.pitch);
    const QSharedPointer<VideoLoop> loop = d->timeArea->getCurLoop();
    d->tempoLoopId = loop ? loop->getID() : QString();
    d->tempoShown = true;
}

void MainWindow::setSizeMostRecent(QSize size) { d->topToolbar->setSizeMostRecent(size.width(), size.height()); }
void MainWindow::setSizeCustom(QSize size) { d->topToolbar->setSizeCustom(size.width(), size.height()); }
void MainWindow::setSizeOriginal(QSize size) { d->topToolbar->setSizeOriginal(size.width(), size.height()); }
void MainWindow::setCanUndo(bool enabled) { d->topToolbar->setCanUndo(enabled); }
void MainWindow::setCanRedo(bool enabled) { d->topToolbar->setCanRedo(enabled); }
void MainWindow::setOpenedFiles(const QStringList &files) { d->topToolbar->setOpenedFiles(files); }
void MainWindow::setVideoLocked(bool locked) { d->timelineWidget->setVideoLocked(locked); }
void MainWindow::setVideoPlayable(bool playable) { d->timelineWidget->setVideoPlayable(playable); }
void MainWindow::setAudioPlayable(bool playable) { d->timelineWidget->setAudioPlayable(playable); }

void MainWindow::setAudioLocked(bool locked)
{
    d->timelineWidget->setAudioLocked(locked);
    d->editVideoWidget->setSilenceBtnEnabled(!locked);
}

void MainWindow::setZoom(float zoom) { d->videoControls->setZoom(static_cast<int>(zoom)); }

VideoThumbnailWidget *MainWindow::addThumbnail(int start, int length, QString name, QImage image)
{
    MediaTrackWidget *row = d->timelineWidget->getViewport()->getVideoTrack();
    return qobject_cast<VideoThumbnailWidget *>(row->addThumbnail(new VideoThumbnailWidget(start, length, name, image)));
}

AudioThumbnailWidget *MainWindow::addThumbnail(int start, int length, QImage wave)
{
    MediaTrackWidget *row = d->timelineWidget->getViewport()->getAudioTrack();
    return qobject_cast<AudioThumbnailWidget *>(row->addThumbnail(new AudioThumbnailWidget(start, length, wave)));
}

void MainWindow::removeThumbnail(AbstractThumbnail *thumbnail)
{
    // The row that does not hold it leaves it alone.
    d->timelineWidget->getViewport()->getVideoTrack()->removeThumbnail(thumbnail);
    d->timelineWidget->getViewport()->getAudioTrack()->removeThumbnail(thumbnail);
}

void MainWindow::updateThumbnails()
{
    d->timelineWidget->getViewport()->getAudioTrack()->updateThumbnails();
    d->timelineWidget->getViewport()->getVideoTrack()->updateThumbnails();
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (focusInsideDialog())
        return false;
    // The wheel would move the transport's read-out without a seek.
    if (event->type() == QEvent::Wheel && watched == d->masterSlider)
        return true;
    if (event->type() == QEvent::MouseButtonPress) {
        if (watched == d->masterSlider) {
            if (QApplication::focusWidget() != d->masterSlider)
                d->masterSlider->setFocus(Qt::MouseFocusReason);
            jumpMasterSliderTo(static_cast<QMouseEvent *>(event));
        }
        return false;
    }
    if (event->type() != QEvent::KeyPress)
        return false;
    // Only key presses on this window's widgets count; text fields and the
    // menu bar keep the keys they use.
    auto *target = qobject_cast<QWidget *>(watched);
    if (!target || target->window() != this || qobject_cast<QMenuBar *>(target)
        || isTextField(QApplication::focusWidget()))
        return false;
    auto *key = static_cast<QKeyEvent *>(event);
    switch (key->key()) {
    case Qt::Key_Space: {
        bool playing = false;
#if TW_HAVE_PLAYER
        if (d->controller->getMediaPlayer())
            playing = d->controller->getMediaPlayer()->isPlaying();
#endif
        if (playing)
            d->controller->onPauseVideo();
        else
            d->controller->onPlayVideo();
        return true;
    }
    case Qt::Key_Up:
        d->controller->onVideoZoomIn();
        break;
    case Qt::Key_Down:
        d->controller->onVideoZoomOut();
        break;
    case Qt::Key_Left:
    case Qt::Key_Right:
        // The transport steps wherever the focus is in the window (no other
        // slider moves by these keys): the slider moves by its single step
        // and its actionTriggered connection seeks there.
        if ((key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            d->masterSlider->triggerAction(key->key() == Qt::Key_Right ? QAbstractSlider::SliderSingleStepAdd
                                                                      : QAbstractSlider::SliderSingleStepSub);
            return true;
        }
        break;
    default:
        break;
    }
    return false;
}

// A press in the transport's groove puts the handle under the pointer and
// seeks there, so the press goes on as a drag of the handle (rather than a
// page step that moves the read-out only).
void MainWindow::jumpMasterSliderTo(QMouseEvent *event)
{
    QSlider *slider = d->masterSlider;
    if (event->button() != Qt::LeftButton || slider->maximum() <= slider->minimum())
        return;
    QStyleOptionSlider option;
    option.initFrom(slider);
    option.orientation = slider->orientation();
    option.minimum = slider->minimum();
    option.maximum = slider->maximum();
    option.sliderPosition = slider->sliderPosition();
    option.sliderValue = slider->value();
    option.upsideDown = slider->invertedAppearance();
    const QRect handle = slider->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, slider);
    const QPoint at = event->position().toPoint();
    if (handle.contains(at))
        return;
    const QRect groove = slider->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, slider);
    const int span = qMax(1, groove.width() - handle.width());
    const int offset = at.x() - groove.x() - handle.width() / 2;
    const int frame = QStyle::sliderValueFromPosition(slider->minimum(), slider->maximum(), offset, span,
                                                      option.upsideDown);
    slider->setValue(frame);
    updateTempoPitch();
    d->controller->onPlaybackFrameChanged(static_cast<quint32>(qMax(0, frame)));
}

void MainWindow::keyPressEvent(QKeyEvent *event)
{
    QMainWindow::keyPressEvent(event);
    const Qt::KeyboardModifiers mods = event->modifiers();
    const bool ctrl = mods & Qt::ControlModifier;
    const bool alt = mods & Qt::AltModifier;
    qDebug() << "Key pressed" << event->key() << "Ctrl:" << ctrl << "Alt:" << alt
             << "Shift:" << bool(mods & Qt::ShiftModifier);
    switch (event->key()) {
    case Qt::Key_Delete:
        if (ctrl)
            emit execute(new RemoveAllLoopsCommand);
        break;
    case Qt::Key_Comma:
    case Qt::Key_Period: {
        const QSharedPointer<Media> media = d->controller->getMedia();
        const QSharedPointer<MediaTimeLine> timeline = media ? media->getTimeline() : nullptr;
        const QSharedPointer<VideoLoop> loop = timeline ? timeline->getLoopByFrame(d->timeArea->getCurFrame()) : nullptr;
        if (loop) {
            const int frame = event->key() == Qt::Key_Comma ? loop->getStartFrame() : loop->getEndFrame();
            setCurrentFrame(frame);
            d->controller->onPlaybackFrameChanged(static_cast<quint32>(qMax(0, frame)));
        }
        break;
    }
    case Qt::Key_H:
        setCurrentFrame(0);
        d->controller->onPlaybackFrameChanged(0);
        break;
    case Qt::Key_L:
        if (ctrl && alt) {
            if (MainController *c = Application::instance() ? Application::instance()->getMainController()
                                                            : d->controller)
                c->toggleLogger();
        }
        break;
    case Qt::Key_O:
        d->videoControls->setZoom(0);
        d->controller->onVideoZoom(0.0f);
        break;
    case Qt::Key_S:
        if (event->matches(QKeySequence::Save))
            d->controller->saveCurrentProject();
        break;
    default:
        break;
    }
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    d->placeTimelineToggle();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // Unsaved changes are asked about first; Cancel keeps the window.
    if (d->controller && !d->controller->confirmClose()) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
    delete d->snifferWindow;
}

void MainWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent *event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty())
        return;
    d->controller->openFile(urls.first().toLocalFile());
    d->controller->onPlayVideo();
}

QRect MainWindow::fitToScreen(const QRect &window, const QRect &available, const QMargins &frame)
{
    const int width = qMax(1, qMin(window.width(), available.width() - frame.left() - frame.right()));
    const int height = qMax(1, qMin(window.height(), available.height() - frame.top() - frame.bottom()));
    // The position is that of the frame's top left corner.
    const int outerWidth = width + frame.left() + frame.right();
    const int outerHeight = height + frame.top() + frame.bottom();
    const int x = qBound(available.left(), window.x(), qMax(available.left(), available.right() + 1 - outerWidth));
    const int y = qBound(available.top(), window.y(), qMax(available.top(), available.bottom() + 1 - outerHeight));
    return QRect(x, y, width, height);
}

void MainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    d->placeTimelineToggle();
}

void MainWindow::onOpenButtonClicked()
{
    Options *options = Options::instance();
    QString folder = options->getLastPath(PathType(2));
    if (folder.isEmpty())
        folder = options->getPath(PathType(2));
    const QString file = QFileDialog::getOpenFileName(this, tr("Open"), folder, openFilters());
    if (file.isEmpty())
        return;
    options->setLastPath(PathType(2), QFileInfo(file).canonicalPath());
    qDebug() << "selected to open:" << file;
    d->controller->openFile(file);
}

void MainWindow::onSaveButtonClicked() { d->controller->saveCurrentProjectAs(); }
void MainWindow::onExportButtonClicked() {}
void MainWindow::onRipButtonClicked()
{
    RipDialog dialog(this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QPair<QStringList, QStringList> rip = dialog.getRipInfo();
    d->controller->ripFiles(rip.first, rip.second);
}

void MainWindow::onAspectResizeButtonClicked() {}
void MainWindow::onSnifferButtonClicked()
{
    // A window still open is shown again rather than made twice.
    if (!d->snifferWindow)
        d->makeSnifferWindow();
    d->snifferWindow->setVisible(true);
    d->snifferWindow->raise();
}

void MainWindow::onSnifferDownloadFinish(const QString &path)
{
    // The sniffer window stays on top; it steps back while the file opens.
    if (d->snifferWindow) {
        d->snifferWindow->setWindowFlags(d->snifferWindow->windowFlags() & ~Qt::WindowStaysOnTopHint);
        d->snifferWindow->show();
    }
    if (!d->controller)
        return;
    // A download may have replaced a file opened before under that name.
    d->controller->clearCachedData(path);
    d->controller->openFile(path);
    setWindowTitle(QStringLiteral("Tarnwell - %1").arg(QFileInfo(path).fileName()));
    if (d->snifferWindow) {
        d->snifferWindow->setWindowFlags(d->snifferWindow->windowFlags() | Qt::WindowStaysOnTopHint);
        d->snifferWindow->show();
    }
    d->controller->onPlayVideo();
}

void MainWindow::onSnifferWindowClosed()
{
    if (Options::instance()->getRunSnifferInBackground() || !d->snifferWindow)
        return;
    d->snifferWindow->deleteLater();
    d->snifferWindow.clear();
}

void MainWindow::onSnifferBackgroundClicked()
{
    // Nothing changes while the window is on screen.
    Options *options = Options::instance();
    if (!d->snifferWindow || !d->snifferWindow->isVisible()) {
        if (options->getRunSnifferInBackground()) {
            delete d->snifferWindow;
            options->setRunSnifferInBackground(false);
        } else {
            if (!d->snifferWindow)
                d->makeSnifferWindow();
            options->setRunSnifferInBackground(true);
        }
    }
    d->topToolbar->setSnifferInBackground(options->getRunSnifferInBackground());
}

Tarnwell2SnifferWindow *MainWindow::getSnifferWindow() const { return d->snifferWindow; }
void MainWindow::onSnifferYoutubeButtonClicked()
{
    if (d->controller)
        d->controller->getSnifferController()->exec();
}
void MainWindow::onOptionButtonClicked()
{
    const bool wasOnTop = Options::instance()->getAlwaysOnTop();
    {
        OptionsDialog dialog(this);
        dialog.exec();
    }
    const bool onTop = Options::instance()->getAlwaysOnTop();
    if (onTop == wasOnTop)
        return;
    setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
    // Changing the flags hides the window.
    show();
}

void MainWindow::onHelpButtonClicked() {}
void MainWindow::onPrinterButtonClicked() { d->controller->onPrint(); }

namespace {

// Runs the export dialog for a project that is not empty; true, with the
// options filled, when the user pressed OK.
bool askExportOptions(MainWindow *window, MainController *controller, ExportOptions *options)
{
    const QSharedPointer<Media> media = controller ? controller->getMedia() : nullptr;
    if (!media || media->isEmpty())
        return false;
    ExportDialog dialog(window);
    if (!dialog.exec())
        return false;
    *options = dialog.getExportOptions();
    return true;
}

} // namespace

void MainWindow::onExportEntireVideoClicked()
{
    ExportOptions options;
    if (askExportOptions(this, d->controller, &options))
        d->controller->exportAll(options);
}

void MainWindow::onExportCurrentLoopClicked()
{
    ExportOptions options;
    if (askExportOptions(this, d->controller, &options))
        d->controller->exportCurrentLoop(options);
}

void MainWindow::onExportAllLoopsClicked()
{
    ExportOptions options;
    if (askExportOptions(this, d->controller, &options))
        d->controller->exportAllLoops(options);
}
void MainWindow::onUndo() { d->controller->onUndo(); }
void MainWindow::onRedo() { d->controller->onRedo(); }
void MainWindow::onMarkerButtonClicked()
{
    const QSharedPointer<Media> media = d->controller->getMedia();
    const QSharedPointer<MediaTimeLine> timeline = media ? media->getTimeline() : nullptr;
    if (!timeline)
        return;
    if (const QSharedPointer<VideoMarker> bookmark = timeline->allocBookmark(d->timeArea->getCurFrame()))
        emit execute(new AddBookmarkCommand(bookmark));
}

void MainWindow::onOpenFileClicked(const QString &path)
{
    if (!path.isEmpty())
        d->controller->openFile(path);
}

void MainWindow::onSizeCustomClicked() { d->controller->onSizeCustomClicked(); }
void MainWindow::onSizeMostRecentClicked() { d->controller->onSizeMostRecentClicked(); }
void MainWindow::onSizeOriginalClicked() { d->controller->onSizeOriginalClicked(); }
void MainWindow::onSizeClicked(QSize size) { d->controller->onSizeClicked(size); }

void MainWindow::onNewInstanceButtonClicked()
{
    if (MainController *c = Application::instance() ? Application::instance()->getMainController() : d->controller)
        c->openNewInstance();
}

void MainWindow::onToggleTopToolbarClicked()
{
    d->toggleSection(d->toolbarStack, d->topToolbar, d->toolbarPlaceholder, d->toolbarContainer);
}

void MainWindow::onToggleTimelineClicked()
{
    d->toggleSection(d->timelineStack, d->timelineWidget, d->timelinePlaceholder, d->timelineContainer);
    d->postResize();
}

void MainWindow::onTempoChanged(float tempo) { d->controller->onTempoChanged(tempo); }
void MainWindow::onPitchChanged(float pitch) { d->controller->onPitchChanged(pitch); }
void MainWindow::onVoumeChanged(int volume) { d->controller->onVoumeChanged(volume); }
void MainWindow::onDelete() { d->controller->onDelete(); }
void MainWindow::onCut() { d->controller->onCut(); }
void MainWindow::onCopy() { d->controller->onCopy(); }
void MainWindow::onPaste() { d->controller->onPaste(); }
void MainWindow::onVolume() { d->controller->onVolume(); }
void MainWindow::onInsertSilence() { d->controller->onInsertSilence(); }
void MainWindow::onSilenceSection() { d->controller->onSilenceSection(); }
void MainWindow::onStartLoop() { d->timeArea->addLoopStart(); }
void MainWindow::onEndLoop() { d->timeArea->addLoopEnd(); }
void MainWindow::onEditLoop()
{
    const QSharedPointer<VideoLoop> loop = d->timeArea->getCurLoop();
    if (!loop)
        return;
    EditLoopDialog dialog(loop, d->timeArea->getFrameCount(), d->timeArea->getLoops(), d->timeArea->getFps(), this);
    if (dialog.exec() != 1)
        return;
    emit execute(new EditLoopCommand(QSharedPointer<VideoLoop>(new VideoLoop(*loop)), loop, dialog.getUpdatedLoop()));
}

void MainWindow::onDeleteLoop()
{
    if (const QSharedPointer<VideoLoop> loop = d->timeArea->getCurLoop())
        emit execute(new RemoveLoopCommand(loop));
}

void MainWindow::onPreviousLoop() { d->jumpOnRuler(&TimeAreaWidget::moveToPrevLoop); }
void MainWindow::onNextLoop() { d->jumpOnRuler(&TimeAreaWidget::moveToNextLoop); }
void MainWindow::onPreviousMarker() { d->jumpOnRuler(&TimeAreaWidget::moveToPrevBookmark); }
void MainWindow::onNextMarker() { d->jumpOnRuler(&TimeAreaWidget::moveToNextBookmark); }

void MainWindow::onAdvanceByOneSec() { d->step(1.0, true); }
void MainWindow::onAdvanceByTenthSec() { d->step(0.1, true); }
void MainWindow::onAdvanceByQuarterSec() { d->step(0.25, true); }
void MainWindow::onAdvanceByFrame() { d->step(0.0, true); }
void MainWindow::onRewindByOneSec() { d->step(1.0, false); }
void MainWindow::onRewindByTenthSec() { d->step(0.1, false); }
void MainWindow::onRewindByQuarterSec() { d->step(0.25, false); }
void MainWindow::onRewindByFrame() { d->step(0.0, false); }
void MainWindow::onStopVideo() { d->controller->onStopVideo(); }
void MainWindow::onPlayVideo() { d->controller->onPlayVideo(); }
void MainWindow::onPauseVideo() { d->controller->onPauseVideo(); }
void MainWindow::onZoomSliderChanged(int value) { d->controller->onVideoZoom(static_cast<float>(value)); }
void MainWindow::onVideoZoomIn() { d->controller->onVideoZoomIn(); }
void MainWindow::onVideoZoomOut() { d->controller->onVideoZoomOut(); }
void MainWindow::onVideoZoom(QRectF area) { d->controller->onVideoZoom(area); }

void MainWindow::onPlaybackFrameChanged(int frame)
{
    if (frame < 0 || frame > d->timeArea->getFrameCount())
        return;
    d->masterSlider->setSliderPosition(frame);
    d->timeArea->setCurrentFrame(frame);
    d->videoControls->setCurrentFrame(frame);
    updateTempoPitch();
}

void MainWindow::onMasterTimelineValueChanged(int)
{
    updateTempoPitch();
    d->controller->onPlaybackFrameChanged(static_cast<quint32>(qMax(0, d->masterSlider->value())));
}

void MainWindow::onSliderPressed() { d->controller->onTimeSliderPressed(); }
void MainWindow::onSliderReleased()
{
    // The last step of a drag may not have reached the player yet: the
    // slider, the picture and the read-out agree on where it was let go.
    if (sender() == d->masterSlider) {
        const int frame = d->masterSlider->value();
        onPlaybackFrameChanged(frame);
        d->controller->onPlaybackFrameChanged(static_cast<quint32>(qMax(0, frame)));
    }
    d->controller->onTimeSliderReleased();
}

void MainWindow::onPlaybackTimeChanged(QTime time)
{
    setCurrentTime(time);
    d->controller->onPlaybackTimeChanged(time);
}

void MainWindow::onTimelineValueChanged(int frame)
{
    onPlaybackFrameChanged(frame);
    updateTempoPitch();
    d->controller->onPlaybackFrameChanged(static_cast<quint32>(qMax(0, frame)));
}

void MainWindow::onSelectionChanged(PairInt selection) { d->controller->onSelectionChanged(selection); }
void MainWindow::onVideoPlayableChanged(bool playable) { d->controller->onVideoPlayableChanged(playable); }
void MainWindow::onAudioPlayableChanged(bool playable) { d->controller->onAudioPlayableChanged(playable); }
void MainWindow::onVideoLockChanged(bool locked) { d->controller->onVideoLockChanged(locked); }

void MainWindow::onAudioLockChanged(bool locked)
{
    d->controller->onAudioLockChanged(locked);
    d->editVideoWidget->setSilenceBtnEnabled(!locked);
}

void MainWindow::onThumbnailClicked(AbstractThumbnail *thumbnail)
{
    if (!thumbnail)
        return;
    const int frame = thumbnail->getPosition() + 1;
    setCurrentFrame(frame);
    d->controller->onPlaybackFrameChanged(static_cast<quint32>(qMax(0, frame)));
}

void MainWindow::rebuildAspectResizeMenu()
{
    QMenu *menu = d->aspectResizeMenu;
    // Headings made on an earlier opening are children of the menu and go
    // with the clear; the copied entries belong to the toolbar and stay.
    menu->clear();
    for (QAction *a : d->topToolbar->getAspectResizeMenu()->actions()) {
        if (!a->text().isEmpty())
            menu->addAction(a);
    }
    const struct
    {
        const char *title;
        int index;
    } headings[] = {{"Widescreen (16:9)", 3}, {"Standard (4:3)", 9}, {"Other", 15}};
    for (const auto &h : headings) {
        const QList<QAction *> actions = menu->actions();
        QAction *before = h.index < actions.size() ? actions.at(h.index) : nullptr;
        auto *heading = new QAction(tr(h.title), menu);
        heading->setEnabled(false);
        auto *sepA = new QAction(menu);
        sepA->setSeparator(true);
        auto *sepB = new QAction(menu);
        sepB->setSeparator(true);
        menu->insertActions(before, {sepA, heading, sepB});
    }
}

} // namespace TW
