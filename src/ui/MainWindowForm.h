#pragma once

class QMainWindow;
class QSlider;
class QStackedLayout;
class QToolButton;
class QVBoxLayout;
class QWidget;

namespace TW {

class EditVideoWidget;
class TimeAreaWidget;
class TimelineWidget;
class TopToolbarWidget;
class VideoControlsWidget;
class VideoWidget;

// The main window's widgets and their layout: the toolbar section (which
// collapses to a thin strip), the side panel beside the video view and its
// position slider, the transport controls, the timeline section (which
// collapses too) and the status bar with the progress read-out. It makes
// and places the widgets; what they do is wired by the window.
class MainWindowForm
{
public:
    // Builds every widget as a child of window and makes the layout its
    // central widget. The position slider's events go to window's filter.
    void setupUi(QMainWindow *window);

    // The arrows of the two collapse buttons follow their sections.
    void updateToggleButtons();
    // The timeline's collapse button sits over the section's top right
    // corner; called whenever the window's geometry changes.
    void placeTimelineToggle();
    // Swaps a section and its thin placeholder.
    void toggleSection(QStackedLayout *stack, QWidget *section, QWidget *placeholder, QWidget *container);

    QMainWindow *window = nullptr;
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

private:
    void buildToolbarSection(QVBoxLayout *column);
    void buildMiddleRow(QVBoxLayout *column, bool lowRes);
    void buildTimelineSection(QVBoxLayout *column);
    void buildStatusBar(bool lowRes);
};

} // namespace TW
