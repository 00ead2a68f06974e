// The downloader window's runs: each run of the downloader (format list,
// title, download) or of "update.sh" is a fresh ToolProcess; its output is
// read in whole lines and its end leads to the next run.
#include "YTSniffer.h"
#include "ui_YTSniffer.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTimer>

void YTSniffer::youtubeDL_Start()
{
    // Only the current run is listened to; one it replaces is ended.
    if (process) {
        process->disconnect(this);
        process->cancel();
        process->deleteLater();
    }
    process = new TW::ToolProcess(this);
    // The wrapper runs yt-dlp, which may start ffmpeg: all of them end with
    // a cancel and with this program.
    process->setWholeGroup(true);
    processRunning = true;
    runLines.clear();
    runErrors.clear();
    connect(process, &TW::ToolProcess::outputLine, this, &YTSniffer::youtubeDL_Line);
    connect(process, &TW::ToolProcess::finished, this, &YTSniffer::youtubeDL_Finish);
    // The downloader's own messages go to the log as they come; the last
    // lines are kept to tell the user why a run failed.
    connect(process, &TW::ToolProcess::errorLine, this, [this](const QString &said) {
        qWarning() << "YTSniffer: the run said:" << said;
        keepError(said);
    });

    QString action;
    QStringList arguments;
    switch (step) {
    case StepGetTitle:
        action = tr("Get default file name");
        arguments << QStringLiteral("--get-title");
        break;
    case StepListFormats:
        action = tr("Detect available formats");
        arguments << QStringLiteral("--list-formats");
        break;
    case StepDownload:
        // --newline: each progress report on a line of its own.
        action = tr("Download file");
        arguments << QStringLiteral("--newline") << QStringLiteral("--format") << QString::number(formatId)
                  << QStringLiteral("-o") << outputTemplate(outputPath);
        break;
    default:
        action = tr("Check is YTSniffer up-to-date");
        break;
    }
    ui->lblAction->setText(action);
    qDebug() << action;

    if (step == StepListFormats) {
        showPage(PageGetContent);
        startProgressBar_byTimer();
    }
    if (step == StepUpdate) {
        showPage(PageGetContent);
        startProgressBar_byTimer();
        ui->plainTextEdit->appendPlainText(tr("Please wait a moment as we check for updates to the YouTube Sniffer module")
                                           + QStringLiteral("\n..."));
        const QString script = bundleFile(QStringLiteral("update.sh"));
        if (!QFileInfo::exists(script)) {
            processRunning = false;
            ui->progressBar->setValue(ui->progressBar->maximum());
            stopProgressBar();
            showError(NoBinary, QMessageBox::Critical, {QString(), QString()});
            return;
        }
        process->setWorkingDirectory(QDir::toNativeSeparators(QFileInfo(script).absolutePath()));
        process->setProgram(QFileInfo(script).absoluteFilePath());
        process->start();
        return;
    }

    // The address comes after "--", so nothing in it is ever an option.
    arguments << QStringLiteral("--") << url.toString(QUrl::FullyEncoded);
    qDebug() << "Started with arguments" << arguments;
    process->setProgram(programPath);
    process->setArguments(arguments);
    process->start();
}

void YTSniffer::youtubeDL_Line(const QString &line)
{
    if (sender() == process)
        handleLine(line);
}

void YTSniffer::handleLine(QString line)
{
    qDebug() << line;
    line.replace(QLatin1String("youtube-dl"), QLatin1String("YTSniffer"));
    ui->plainTextEdit->appendPlainText(line);
    runLines << line;
    switch (step) {
    case StepGetTitle:
        videoTitle = line;
        break;
    case StepDownload:
        parsePercents(line);
        break;
    case StepUpdate:
        if (line.contains(QLatin1String("Updating to version"))) {
            ui->lblAction->setText(line);
            saveYTDLastVersion(line);
        }
        break;
    default:
        break;
    }
}

void YTSniffer::keepError(const QString &said)
{
    const QString line = said.trimmed();
    if (line.isEmpty())
        return;
    runErrors << line;
    while (runErrors.size() > 20)
        runErrors.removeFirst();
}

void YTSniffer::failRun(YTSniffer::errors error)
{
    // A failed run has not got anywhere: the bar does not say otherwise.
    ui->progressBar->setValue(ui->progressBar->minimum());
    stopProgressBar();
    showError(error, QMessageBox::Critical, {QString(), QString()});
}

void YTSniffer::youtubeDL_Finish(TW::ToolProcess::Verdict verdict)
{
    if (sender() != process)
        return;
    // Every line, the last one included, came before the end.
    if (verdict == TW::ToolProcess::FailedToStart) {
        qCritical() << "!!! ERROR: " << "cannot start" << process->program() << process->errorString();
        const bool cancelled = !processRunning;
        processRunning = false;
        if (!cancelled)
            failRun(NoBinary);
        return;
    }
    if (!processRunning || verdict == TW::ToolProcess::Cancelled) {
        qDebug() << "Process is killed";
        emit error(ProcessKilled);
        return;
    }
    if (verdict != TW::ToolProcess::Succeeded) {
        qCritical() << "!!! ERROR: " << process->describe();
        exitCode = process->exitCode();
        failRun(step == StepGetTitle ? FileNameFailed : step == StepListFormats ? FormatsFailed : ContentFailed);
        return;
    }

    qDebug() << "Everything is OK";
    switch (step) {
    case StepGetTitle:
        stopProgressBar();
        setOutputFileName();
        if (!outputPath.isEmpty()) {
            qDebug() << "Next: download file from youtube";
            step = StepDownload;
            youtubeDL_Start();
        } else {
            showPage(PageSelectURL);
        }
        break;
    case StepListFormats:
        parseIDs();
        if (fileFormatMode != ChooseFormat) {
            qDebug() << "Next: select default file name";
            step = StepGetTitle;
            youtubeDL_Start();
        } else {
            qDebug() << "Manually select suitable format";
            showPage(PageSelectFormat);
        }
        break;
    case StepDownload:
        // A run that said it succeeded but left no file has not.
        if (!QFileInfo(outputPath).isFile()) {
            qCritical() << "!!! ERROR: " << "no file at" << outputPath;
            exitCode = 0;
            failRun(ContentFailed);
            return;
        }
        ui->progressBar->setValue(ui->progressBar->maximum());
        stopProgressBar();
        sendSignalOut();
        break;
    default:
        lastUpdateDate(SaveDate);
        stopProgressBar();
        showPage(PageSelectURL);
        break;
    }
}

void YTSniffer::cancelProcess()
{
    qDebug() << "Attempting to terminate current process if it started";
    if (processRunning) {
        processRunning = false;
        if (process)
            process->cancel();
    }
    stopProgressBar();
    showPage(PageSelectURL);
}

void YTSniffer::startProgressBar_byTimer()
{
    ui->progressBar->setValue(ui->progressBar->minimum());
    if (!progressTimer) {
        progressTimer = new QTimer(this);
        progressTimer->setInterval(100);
        connect(progressTimer, &QTimer::timeout, this, &YTSniffer::iterateProgressBar);
    }
    progressTimer->start();
}

void YTSniffer::iterateProgressBar()
{
    QProgressBar *bar = ui->progressBar;
    if (bar->value() <= bar->minimum())
        progressStep = 1;
    else if (bar->value() >= bar->maximum())
        progressStep = -1;
    bar->setValue(bar->value() + progressStep);
}

void YTSniffer::stopProgressBar()
{
    if (progressTimer)
        progressTimer->stop();
}
