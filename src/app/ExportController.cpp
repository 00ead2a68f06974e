#include "app/ExportController.h"

#include "app/Application.h"
#include "app/MainController.h"
#include "core/Options.h"
#include "core/OptionsHolder.h"
#include "core/Singleton.h"
#include "dialogs/ProgressDialog.h"
#include "io/MediaExporter.h"
#include "model/Media.h"
#include "ui/MainWindow.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QtDebug>

namespace TW {

struct ExportController::Impl
{
    QSharedPointer<Media> media;
    ExportOptions options;
    MediaExporter exporter;
    ProgressDialog dialog;
    Outcome outcome = Running;
    QString error;
    QPointer<QWidget> messageParent;
};

ExportController::ExportController(const ExportOptions &options, QSharedPointer<Media> media,
                                   QWidget *messageParent)
    : d(std::make_unique<Impl>())
{
    d->media = media;
    d->options = options;
    d->messageParent = messageParent;
    if (d->options.origQuality) {
        if (const OptionsHolder *o = Singleton<OptionsHolder>::instance()) {
            d->options.audioBitrate = o->m_audioBitRate;
            d->options.freq = o->m_audioSampleRate;
            d->options.stereo = o->m_numChannels > 1;
            d->options.videoBitrate = o->m_videoBitRate;
        }
    }
    connect(&d->exporter, &MediaExporter::progressChanged, this, &ExportController::onExportProgressChanged);
    connect(&d->exporter, &MediaExporter::processingFinished, this, &ExportController::onExportFinished);
    connect(&d->exporter, &MediaExporter::processingFailed, this, &ExportController::onExportFailed);
    connect(&d->dialog, &ProgressDialog::cancelled, this, &ExportController::onExportCancelled);
}

ExportController::~ExportController()
{
    // The job must not outlive the exporter it reports to.
    d->exporter.stop();
    d->exporter.wait();
}

ExportOptions ExportController::getOptions() const
{
    return d->options;
}

ExportController::Outcome ExportController::outcome() const
{
    return d->outcome;
}

QString ExportController::errorMessage() const
{
    return d->error;
}

ProgressDialog *ExportController::progressDialog() const
{
    return &d->dialog;
}

void ExportController::exportAll()
{
    d->exporter.setMedia(d->media);
    d->exporter.exportEntireMediaAsync(d->options);
    run();
}

void ExportController::exportLoop(VideoLoop *loop)
{
    d->exporter.setMedia(d->media);
    d->exporter.exportLoopAsync(loop, d->options);
    run();
}

void ExportController::exportAllLoops()
{
    d->exporter.setMedia(d->media);
    d->exporter.exportAllLoopsAsync(d->options);
    run();
}

void ExportController::run()
{
    d->dialog.setMessage(d->options.audioOnly ? tr("Exporting audio") : tr("Exporting video"));
    d->dialog.setProgress(0);
    const Options *options = Options::instance();
    const bool onTop = options && options->getAlwaysOnTop();
    d->dialog.setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
    // The exporter's signals arrive queued; one may already be waiting.
    QCoreApplication::processEvents();
    if (d->outcome == Running)
        d->dialog.exec();
    while (d->outcome == Running)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    // A cancelled job may still be ending its current step.
    d->exporter.wait();
    QCoreApplication::processEvents();
}

void ExportController::onExportProgressChanged(int percent)
{
    if (d->outcome == Running)
        d->dialog.setProgress(percent);
}

void ExportController::onExportFinished()
{
    if (d->outcome != Running)
        return;
    d->outcome = Finished;
    d->dialog.setProgress(100);
    d->dialog.hide();
}

void ExportController::onExportFailed(const QString &message)
{
    if (d->outcome != Running)
        return;
    d->outcome = Failed;
    d->error = message;
    d->dialog.hide();
    QCoreApplication::processEvents();
    const bool audio = d->options.audioOnly;
    QMessageBox::warning(messageParent(), audio ? tr("Audio Export") : tr("Video Export"),
                         (audio ? tr("The audio export failed.") : tr("The video export failed.")) + QLatin1Char('\n')
                             + message,
                         QMessageBox::Ok);
}

void ExportController::onExportCancelled()
{
    if (d->outcome != Running)
        return;
    d->outcome = Cancelled;
    d->exporter.stop();
    d->dialog.hide();
    QCoreApplication::processEvents();
    const bool audio = d->options.audioOnly;
    QMessageBox::information(messageParent(), audio ? tr("Audio Export") : tr("Video Export"),
                             audio ? tr("Audio Export Canceled.") : tr("Video Export Canceled."), QMessageBox::Ok);
}

QWidget *ExportController::messageParent() const
{
    if (d->messageParent)
        return d->messageParent;
    Application *app = Application::instance();
    MainController *controller = app ? app->getMainController() : nullptr;
    return controller ? controller->getMainWindow() : nullptr;
}

} // namespace TW
