#pragma once

#include "io/ExportOptions.h"

#include <QObject>
#include <QPointer>
#include <QSharedPointer>

#include <memory>

class QWidget;

namespace TW {

class Media;
class MediaExporter;
class ProgressDialog;
class VideoLoop;

// Runs one export behind a modal progress dialog with Cancel: completes the
// options with the project's own quality values when asked to, starts the
// media exporter in the background and returns when the export has ended
// (finished, failed or cancelled) and its job has stopped. Failures and
// cancels are told in a message box over the main window (or the given
// parent).
class ExportController : public QObject
{
    Q_OBJECT

public:
    enum Outcome { Running, Finished, Failed, Cancelled };

    ExportController(const ExportOptions &options, QSharedPointer<Media> media, QWidget *messageParent = nullptr);
    ~ExportController() override;

    // The three entry points; each blocks until the export has ended.
    void exportAll();
    void exportLoop(VideoLoop *loop);
    void exportAllLoops();

    ExportOptions getOptions() const;
    Outcome outcome() const;
    QString errorMessage() const;
    ProgressDialog *progressDialog() const;

private slots:
    void onExportProgressChanged(int percent);
    void onExportFinished();
    void onExportFailed(const QString &message);
    void onExportCancelled();

private:
    void run();
    QWidget *messageParent() const;

    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace TW
