#pragma once

#include "model/VideoMarker.h"

#include <QDialog>
#include <QVector>

#include <functional>
#include <memory>

class QTime;

namespace TW {

// Modal editor of one bookmark: its name and its position, typed either as
// a frame number or as a time (the two fields follow each other). The
// bookmark given is never changed: on OK a fresh bookmark holds the entered
// values (getUpdatedMarker), from which the caller makes an undoable edit.
class BookmarkEditDialog : public QDialog
{
    Q_OBJECT

public:
    BookmarkEditDialog(QWidget* parent, VideoMarkerPtr marker, int lastFrame,
                       QVector<VideoMarkerPtr> markers);
    ~BookmarkEditDialog() override;

    // The bookmark holding the entered values; null unless accepted.
    VideoMarkerPtr getUpdatedMarker() const;

    // Where the dialog learns the open project's duration, in microseconds,
    // which bounds the time field; installed once by the application. Without
    // it the time of the last frame bounds the field.
    using DurationSource = std::function<qint64()>;
    static void setDurationSource(DurationSource source);

private slots:
    void onOkClicked();
    void onFrameValueChanged(int frame);
    void onTimeChanged(const QTime& time);

private:
    class BookmarkEditDialogImpl;
    std::unique_ptr<BookmarkEditDialogImpl> d;
};

} // namespace TW
