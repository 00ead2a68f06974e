#pragma once

#include "capture/YTSniffer.h"

#include <QObject>
#include <QStringList>
#include <memory>

namespace TW {

// The link between the main controller and the video download window: exec()
// opens a window on the folder of the last download; when the window reports
// its result the folder is remembered, the file's cached data is dropped
// and, for "Download and Play", the file is opened as the project and played.
// Errors of the window are only logged (the window shows them itself).
//
// Graphical thread only.
class SnifferController : public QObject
{
    Q_OBJECT
public:
    SnifferController();
    ~SnifferController() override;

    void exec();
    // The window opened last while it exists.
    YTSniffer *getSniffer() const;

private slots:
    void onYtSnifferError(YTSniffer::errors error);
    void onYtSnifferFinish(YTSniffer::signalOnFinish status, QStringList data);

private:
    struct SnifferControllerImpl;
    std::unique_ptr<SnifferControllerImpl> d;
};

} // namespace TW
