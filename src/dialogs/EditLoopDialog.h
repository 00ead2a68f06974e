#pragma once

#include "model/VideoLoop.h"

#include <QDialog>
#include <QVector>

#include <memory>

namespace TW {

// Modal editor of one loop: name, start and end (shown as times), pitch,
// tempo, repeat count and delay. The loop given is never changed: on OK the
// entered values go into a fresh loop (getUpdatedLoop), from which the caller
// makes an undoable edit. Start and end are kept between the neighbouring
// loops of `loops`.
class EditLoopDialog : public QDialog
{
    Q_OBJECT

public:
    EditLoopDialog(VideoLoopPtr loop, int lastFrame, QVector<VideoLoopPtr> loops, double fps,
                   QWidget* parent = nullptr);
    ~EditLoopDialog() override;

    // The loop holding the entered values; read it after exec() returned 1.
    VideoLoopPtr getUpdatedLoop() const;

private slots:
    void onOkPressed();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace TW
