#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QString>
#include <memory>

class CYouTubeDownloader;
namespace Ui { class CHttpDownloadDlg; }

// The modal dialog that downloads one sniffed video into a file: status,
// file and host, a progress bar, time left with the amount copied, the
// transfer rate and Cancel. The owner fills in the downloader's address,
// captured header and target, calls init() and then exec(): 1 when the
// file was written whole, 0 when the user cancelled or the transfer failed
// (a failure has been shown by then). Cancel, Escape and the close button
// all stop the transfer at once. Texts that come from the network are
// shown as plain text.
class CYouTubeDownloadDlg : public QDialog
{
    Q_OBJECT

public:
    explicit CYouTubeDownloadDlg(QWidget *parent = nullptr);
    ~CYouTubeDownloadDlg() override;

    CYouTubeDownloader *getDownloader() const;
    // Shows the file and its host and sends the request.
    void init();
    QString getFileName() const;

    virtual void SetPercentage(int percent);
    virtual void SetTimeLeft(int secondsLeft, unsigned long long bytesRead, unsigned long long fileSize);
    virtual void SetStatus(const char *text);
    virtual void SetTransferRate(double bytesPerMs);

    // "1023 Bytes", "1.0 KB", "1.00 MB".
    static QString sizeText(unsigned long long bytes);
    // "59 sec", "1 min", "1 min 1 sec".
    static QString timeText(int seconds);
    // Bytes per millisecond as "512 Bytes/Sec", "5.50 KB/Sec", "12 KB/Sec".
    static QString rateText(double bytesPerMs);
    // The last part of a URL path (for display only).
    static QString fileNameOf(const QString &path);

public slots:
    void reject() override;

protected slots:
    void OnProgress(unsigned long long nBytesRead, bool bGotFileSize, unsigned long long nFileSize);
    void onThreadFinished();

protected:
    // Cancel: stops the transfer at once (connected by hand).
    void on_pbCanceled_clicked();

private:
    QString fileName;
    qint64 rateBytes = 0;
    int lastPercent = -1;
    qint64 rateTime = 0;
    qint64 startTime = 0;
    std::unique_ptr<CYouTubeDownloader> downloader;
    std::unique_ptr<Ui::CHttpDownloadDlg> ui;
    QElapsedTimer clock;
};
