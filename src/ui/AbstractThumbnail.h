#pragma once

#include <QWidget>

#include <memory>

namespace TW {

// A thumbnail of the timeline: a widget standing for a stretch of a track,
// from a start frame over a length in frames. Inside a track row it places
// and sizes itself through the row's frame-to-pixel mapping; outside one its
// placement calls change nothing. Presses and releases pass on to the row
// below (for the drag-to-scroll gesture), and a release of a button that was
// held at the press is reported as a click.
class AbstractThumbnail : public QWidget
{
    Q_OBJECT

public:
    AbstractThumbnail(int start, int length);
    ~AbstractThumbnail() override;

    int getPosition() const;
    int getDuration() const;

public slots:
    void setPosition(int newPosition);
    void setDuration(int newDuration);

signals:
    void clicked(Qt::MouseButton button);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace TW
