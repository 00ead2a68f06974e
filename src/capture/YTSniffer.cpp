// The window of the video downloader: its pages and their sizes, the entry
// getFile(), the choice of a format, the update shortcut, the error boxes
// and the one emission of the result.
#include "YTSniffer.h"
#include "ui_YTSniffer.h"

#include <QCloseEvent>
#include <QDebug>
#include <QFileInfo>
#include <QFont>
#include <QKeySequence>
#include <QListWidgetItem>
#include <QMessageBox>
#include <QRegularExpression>
#include <QScreen>
#include <QShortcut>

YTSniffer::YTSniffer(QWidget *parent) : QDialog(parent), ui(new Ui::YTSniffer)
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() | Qt::WindowStaysOnTopHint);
    setVURWindowTitle();

    QFont mono(QStringLiteral("Monaco"), 10, QFont::ExtraLight);
    mono.setStyleHint(QFont::TypeWriter);
    ui->listWidget->setFont(mono);
    ui->plainTextEdit->setFont(mono);
    // Progress lines come many a second; the pane keeps the recent ones.
    ui->plainTextEdit->setMaximumBlockCount(2000);

    connect(this, &YTSniffer::showLayer, ui->stackedWidget, &QStackedWidget::setCurrentIndex);
    connect(ui->listWidget, &QListWidget::itemDoubleClicked, this, &YTSniffer::listItemDblClick);
    connect(ui->btnGetURL_forDownload, &QPushButton::clicked, this, &YTSniffer::parseURL);
    connect(ui->btnGetURL_forDownloadPlay, &QPushButton::clicked, this, &YTSniffer::parseURL);
    connect(ui->btnCancelProcess, &QPushButton::clicked, this, &YTSniffer::cancelProcess);
    connect(ui->btnCancelSelectFormat, &QPushButton::clicked, this, &YTSniffer::cancelProcess);
    connect(ui->btnOkSelectFormat, &QPushButton::clicked, this, &YTSniffer::listItemSelect);

    auto *update = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_U), this);
    update->setContext(Qt::WindowShortcut);
    connect(update, &QShortcut::activated, this, &YTSniffer::startYTSnifferUpdate);
}

YTSniffer::~YTSniffer()
{
    // A run still going ends with the window; its end is of no interest.
    if (process) {
        process->disconnect(this);
        process->cancel();
        process->waitForFinished(3000);
    }
    delete ui;
}

void YTSniffer::getFile(YTSniffer::fileFormat mode, QString folder)
{
    fileFormatMode = mode;
    saveFolder = folder;
    showPage(PageSelectURL);

    programPath = bundleFile(QStringLiteral("run"));
    if (!QFileInfo::exists(programPath)) {
        ui->progressBar->setValue(ui->progressBar->maximum());
        stopProgressBar();
        showError(NoBinary, QMessageBox::Critical, {QString(), QString()});
        return;
    }
    lastUpdateDate(CheckDate);
}

void YTSniffer::setNewGeometry(YTSniffer::pages page)
{
    int w = 260, h = 200, m = 10;
    QWidget *container = ui->verticalLayoutWidget;
    const char *text = "show page 'get URL'";
    if (page == PageGetContent) {
        container = ui->verticalLayoutWidget_2;
        m = 5;
        if (step != StepUpdate) {
            text = "show page 'Download'";
            w = 430;
            h = 300;
            ui->plainTextEdit->clear();
        } else {
            text = "show page 'Update'";
            w = 300;
            h = 200;
        }
    } else if (page == PageSelectFormat) {
        container = ui->verticalLayoutWidget_3;
        text = "show page 'Select file format'";
        w = 300;
        h = 220;
        m = 5;
    }
    qDebug() << __FILE__ << __LINE__ << Q_FUNC_INFO << ":" << text;

    setFixedSize(w, h);
    if (QScreen *s = screen()) {
        const QRect area = s->availableGeometry();
        const int cx = (area.left() + area.right()) / 2;
        const int cy = (area.top() + area.bottom()) / 2;
        move(int(cx - w * 0.5), int(cy - h * 0.5));
    }
    ui->stackedWidget->setGeometry(0, 0, w - m, h - m);
    container->setGeometry(m, m, w - 2 * m, h - 2 * m);
}

void YTSniffer::showPage(YTSniffer::pages page)
{
    setNewGeometry(page);
    emit showLayer(page);
    show();
}

void YTSniffer::listItemSelect()
{
    QListWidgetItem *item = ui->listWidget->currentItem();
    if (!item)
        return;
    formatId = formatIds.value(item->text(), 0);
    qDebug() << "preferred ID" << ":" << formatId;
    showPage(PageGetContent);
    qDebug() << "Next: select default file name";
    step = StepGetTitle;
    youtubeDL_Start();
}

void YTSniffer::listItemDblClick(QListWidgetItem *)
{
    listItemSelect();
}

void YTSniffer::startYTSnifferUpdate()
{
    qDebug() << "Check for updates";
    step = StepUpdate;
    youtubeDL_Start();
}

void YTSniffer::closeEvent(QCloseEvent *event)
{
    if (!signalSent) {
        finishKind = ClosedWithoutResult;
        sendSignalOut();
    }
    event->accept();
}

void YTSniffer::sendSignalOut()
{
    cancelProcess();
    const QStringList columns = formats.value(formatId);
    QStringList data{outputPath};
    for (int i = 0; i < 3; ++i)
        data << columns.value(i);
    signalSent = true;
    emit finish(finishKind, data);
}

QString YTSniffer::downloaderErrorLine(const QStringList &errorLines)
{
    for (int i = errorLines.size() - 1; i >= 0; --i) {
        if (errorLines.at(i).startsWith(QLatin1String("ERROR:")))
            return errorLines.at(i);
    }
    return errorLines.isEmpty() ? QString() : errorLines.last();
}

bool YTSniffer::siteUnreachable(const QString &errorLine)
{
    static const QRegularExpression pattern(
        QStringLiteral("name resolution|Name or service not known|Failed to resolve|getaddrinfo|nodename nor servname"
                       "|Network is unreachable|No route to host|Connection refused|timed out"
                       "|Failed to establish a new connection|Unable to download (webpage|API page)"),
        QRegularExpression::CaseInsensitiveOption);
    return pattern.match(errorLine).hasMatch();
}

void YTSniffer::showError(YTSniffer::errors error, QMessageBox::Icon icon, QStringList)
{
    emit this->error(error);

    QString failed = tr("We got an error while getting download file info") + QStringLiteral("<br>")
                     + tr("ExitCode: #") + QString::number(exitCode);
    // Why, in the downloader's own words, and what that means.
    const QString said = downloaderErrorLine(runErrors);
    if (!said.isEmpty()) {
        if (siteUnreachable(said))
            failed += QStringLiteral("<br><br>")
                      + tr("The site could not be reached. Check the internet connection and try again.");
        failed += QStringLiteral("<br><br>") + tr("The downloader said:") + QStringLiteral("<br><tt>")
                  + said.toHtmlEscaped() + QStringLiteral("</tt>");
    }
    QString heading;
    QString message;
    switch (error) {
    case NoBinary:
        heading = tr("No YTSniffer binary");
        message = tr("Cannot find binary file (") + QStringLiteral("run") + tr(") there:<br>")
                  + programPath.toHtmlEscaped();
        break;
    case EmptyUrl:
        heading = tr("YouTube URL");
        message = tr("YouTube URL is empty");
        break;
    case InvalidUrl:
        heading = tr("YouTube URL");
        message = tr("URL is not valid");
        break;
    case NotYouTubeUrl:
        heading = tr("YouTube URL");
        message = tr("This URL is not an YouTube url");
        break;
    case FileNameFailed:
        heading = tr("Error in getting file name");
        message = failed;
        break;
    case FormatsFailed:
        heading = tr("Error in getting file formats");
        message = failed;
        break;
    case ContentFailed:
        heading = tr("Error in getting file content");
        message = failed;
        break;
    case ProcessKilled:
        break;
    }
    if (icon != QMessageBox::Information && icon != QMessageBox::Critical)
        return;
    const QString body = QStringLiteral("<b>") + heading + QStringLiteral("</b><br><br>") + message
                         + QStringLiteral("<br><br><div style=font-size:10px;font-style:italic>Error ID : #")
                         + QString::number(int(error)) + QStringLiteral("</div>");
    QMessageBox box(icon, tr("ERROR: ") + heading, body, QMessageBox::Ok, this);
    box.setTextFormat(Qt::RichText);
    box.exec();
}
