#include "capture/CYouTubeDownloadDlg.h"

#include "capture/CYouTubeDownloader.h"
#include "ui_CYouTubeDownloadDlg.h"

#include <QDebug>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

CYouTubeDownloadDlg::CYouTubeDownloadDlg(QWidget *parent)
    : QDialog(parent), downloader(new CYouTubeDownloader), ui(new Ui::CHttpDownloadDlg)
{
    ui->setupUi(this);
    setWindowTitle(tr("Starting download..."));
    setWindowFlags(windowFlags() ^ Qt::WindowContextHelpButtonHint);
    setFixedSize(600, 180);
    downloader->abortRequested = false;
    connect(downloader.get(), &CYouTubeDownloader::OnProgress, this, &CYouTubeDownloadDlg::OnProgress);
    connect(downloader.get(), &CYouTubeDownloader::finished, this, &CYouTubeDownloadDlg::onThreadFinished);
    connect(ui->pbCancel, &QPushButton::clicked, this, &CYouTubeDownloadDlg::on_pbCanceled_clicked);
    clock.start();
}

CYouTubeDownloadDlg::~CYouTubeDownloadDlg() = default;

CYouTubeDownloader *CYouTubeDownloadDlg::getDownloader() const { return downloader.get(); }
QString CYouTubeDownloadDlg::getFileName() const { return fileName; }

QString CYouTubeDownloadDlg::fileNameOf(const QString &path)
{
    QString name = path;
    int cut = path.lastIndexOf(QLatin1Char('/'));
    if (cut < 0)
        cut = path.lastIndexOf(QLatin1Char('\\'));
    if (cut >= 0 && path.size() >= 2)
        name = path.mid(cut + 1);
    // Shown only; control characters from the network are left out.
    QString shown;
    for (const QChar c : name) {
        if (!c.isNonCharacter() && c.category() != QChar::Other_Control && c.category() != QChar::Other_Format)
            shown.append(c);
    }
    return shown;
}

void CYouTubeDownloadDlg::init()
{
    lastPercent = -1;
    rateBytes = 0;
    const QUrl url(downloader->downloadUrl);
    qDebug() << "CYouTubeDownloadDlg::init" << downloader->downloadUrl;
    QString path = url.path();
    if (url.hasFragment())
        path += url.fragment();
    fileName = fileNameOf(path);
    ui->lbFileStatus->setText(tr("%1 from %2").arg(fileName, url.host()));
    downloader->start();
}

void CYouTubeDownloadDlg::OnProgress(unsigned long long nBytesRead, bool bGotFileSize, unsigned long long nFileSize)
{
    const qint64 now = clock.elapsed();
    if (lastPercent == -1)
        startTime = rateTime = now;
    if (bGotFileSize && nFileSize > 0) {
        const int percent = static_cast<int>(nBytesRead * 100 / nFileSize);
        if (percent != lastPercent) {
            SetPercentage(percent);
            lastPercent = percent;
        }
    }
    const qint64 dt = now - rateTime;
    if (dt < 1001)
        return;
    SetTransferRate(static_cast<double>(static_cast<qint64>(nBytesRead) - rateBytes) / dt);
    rateTime = now;
    rateBytes = static_cast<qint64>(nBytesRead);
    if (nBytesRead == 0 || !bGotFileSize || nFileSize < nBytesRead)
        return;
    const double perByte = static_cast<double>(now - startTime) / nBytesRead;
    const int secondsLeft = static_cast<int>((nFileSize - nBytesRead) * perByte / 1000.0);
    SetTimeLeft(secondsLeft, nBytesRead, nFileSize);
}

void CYouTubeDownloadDlg::SetPercentage(int percent)
{
    ui->progressDownload->setValue(percent);
    setWindowTitle(tr("%1% of %2 Completed").arg(percent).arg(fileName));
}

void CYouTubeDownloadDlg::SetTimeLeft(int secondsLeft, unsigned long long bytesRead, unsigned long long fileSize)
{
    const QString copied = tr("%1 of %2").arg(sizeText(bytesRead), sizeText(fileSize));
    ui->lbTimeLeft->setText(tr("%1 (%2 copied)").arg(timeText(secondsLeft), copied));
}

void CYouTubeDownloadDlg::SetStatus(const char *text)
{
    downloader->SetStatus(text);
    ui->lbCtrlStatus->setText(QString::fromUtf8(text));
}

void CYouTubeDownloadDlg::SetTransferRate(double bytesPerMs) { ui->lbTransferRate->setText(rateText(bytesPerMs)); }

QString CYouTubeDownloadDlg::sizeText(unsigned long long n)
{
    if (n < 1024)
        return tr("%1 Bytes").arg(n);
    if (n < 1048576)
        return tr("%1 KB").arg(QString::asprintf("%0.1f", n / 1024.0));
    return tr("%1 MB").arg(QString::asprintf("%0.2f", n / 1048576.0));
}

QString CYouTubeDownloadDlg::timeText(int s)
{
    if (s < 60)
        return tr("%1 sec").arg(s);
    const int m = s / 60;
    const int r = s % 60;
    return r == 0 ? tr("%1 min").arg(m) : tr("%1 min %2 sec").arg(m).arg(r);
}

QString CYouTubeDownloadDlg::rateText(double r)
{
    if (r < 1.0)
        return tr("%1 Bytes/Sec").arg(QString::asprintf("%0.0f", r * 1024));
    if (r < 10.0)
        return tr("%1 KB/Sec").arg(QString::asprintf("%0.2f", r));
    return tr("%1 KB/Sec").arg(QString::asprintf("%0.0f", r));
}

void CYouTubeDownloadDlg::on_pbCanceled_clicked()
{
    ui->pbCancel->setEnabled(false);
    SetStatus("Aborting transfer");
    downloader->SetAbort();
}

void CYouTubeDownloadDlg::reject()
{
    // Escape or the close button stop the transfer as Cancel does; the
    // dialog ends when the downloader reports its end.
    if (!downloader->abortRequested && ui->pbCancel->isEnabled()) {
        on_pbCanceled_clicked();
        return;
    }
    QDialog::reject();
}

void CYouTubeDownloadDlg::onThreadFinished()
{
    if (downloader->abortRequested) {
        done(0);
        return;
    }
    if (downloader->networkError != 0) {
        QMessageBox box(QMessageBox::Critical, tr("Error"), tr("Server Error"), QMessageBox::Ok, this);
        box.setTextFormat(Qt::PlainText);
        box.setInformativeText(downloader->errorText);
        // The reason may quote the server: never rich text.
        if (auto *label = box.findChild<QLabel *>(QStringLiteral("qt_msgbox_informativelabel")))
            label->setTextFormat(Qt::PlainText);
        box.exec();
        done(0);
        return;
    }
    done(1);
}
