#pragma once

#include "model/VideoLoop.h"
#include "ui/PairInt.h"

#include <QRect>
#include <QVector>
#include <QWidget>

#include <memory>

namespace TW {

class TimeAreaWidget;

// A transparent layer over the ruler and the track rows of the timeline that
// paints the loops as bands between their handles, the selection, and, while
// the play-position handle is dragged, a line under it across the tracks. It
// takes its geometry from the ruler's handles and never takes mouse input.
class TimelineViewportOverlay : public QWidget
{
    Q_OBJECT

public:
    TimelineViewportOverlay(QWidget *parent, TimeAreaWidget *ruler);
    ~TimelineViewportOverlay() override;

    QVector<VideoLoopPtr> getLoops() const;
    PairInt getSelection() const;
    bool isPosIndicatorPressed() const;
    // The selection rectangle as the last paint computed it (null when none).
    QRect getSelectionRect() const;

public slots:
    void addLoop(VideoLoopPtr loop);
    void removeLoop(VideoLoopPtr loop);
    void clearLoops();
    void onSelectionChanged(TW::PairInt selection);
    void onPosIndicatorPressed();
    void onPosIndicatorReleased();
    void onFrameChanged(int frame);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    struct TimelineViewportOverlayImpl;
    std::unique_ptr<TimelineViewportOverlayImpl> d;
};

} // namespace TW
