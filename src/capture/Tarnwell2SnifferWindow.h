#pragma once

#include <QDialog>
#include <QString>
#include <QVector>
#include <memory>
#include <string>
#include <vector>

class CVideoSniffer;
class QTimer;
namespace Ui { class Tarnwell2SnifferWindow; }

// One entry of the sniffed-media list.
struct SniffedEntry
{
    int number = 0;
    QString time;         // "hh:mm:ss"
    QString url;          // with "http://"
    std::string header;   // the captured request header
    qint64 size = 0;      // announced size in bytes
    QString type;         // for display
    bool youTube = false; // the address is on the video site
    int state = 0;        // 0 not downloaded, 1 downloading, 2 downloaded
};

// The small window listing the last 25 distinct video responses seen in
// the computer's HTTP traffic. The first window starts one sniffer per
// usable interface; the sniffers then run for the rest of the process and
// hand their reports through CSnifferQueue, drained one report per 50 ms
// tick. When no interface can be captured the window says why.
//
// Graphical thread only, apart from VideoSnifferCallback, which runs on the
// capture threads and only queues the report.
class Tarnwell2SnifferWindow : public QDialog
{
    Q_OBJECT

public:
    static constexpr int MaxEntries = 25;
    // Reports under this many bytes are not listed.
    static constexpr qint64 MinSize = 100000;

    explicit Tarnwell2SnifferWindow(QWidget *parent = nullptr);
    ~Tarnwell2SnifferWindow() override;

    void Append(QString url, QString header, QString size, QString type);
    void RemoveAt(int index);
    void RefreshList();
    void AddListItem(QString number, QString type, QString size, int unused);
    void SetDownloadState(int index, int state);
    // Downloads an entry into a file the user chooses; the file's path, or
    // an empty string when nothing was written.
    QString DownloadYouTubeVideoFromSniffedURL(int index);
    QString GetSaveAsFullPath();
    QString GetDefaultFilePath();

    int count() const;
    const SniffedEntry &entry(int index) const;
    // Why nothing can be captured; empty when at least one interface can.
    static QString captureProblem();
    // The running sniffers (made by the first window).
    static const std::vector<CVideoSniffer *> &sniffers();
    // Stops and deletes the sniffers (at exit, and in tests).
    static void stopSniffers();
    // Tests only: where the first window takes the interfaces to capture
    // on (CVideoSniffer::listInterfaces unless set).
    using InterfaceLister = std::vector<std::string> (*)();
    static void setInterfaceLister(InterfaceLister lister);

signals:
    void downloadFinished(QString path);
    void closed();

public slots:
    void checkUrlQueue();
    QString on_pbDownloadOnly_clicked();
    void on_pbDownloadPlay_clicked();
    void on_pbRemove_clicked();
    void on_pbPreview_clicked();
    void onSaveFilterSelected(const QString &filter);
    void reject() override;

protected:
    void closeEvent(QCloseEvent *event) override;
    // A click in the table (connected by hand).
    void on_snifferItem_clicked();

private:
    void startSniffers();
    void showCaptureProblem();
    int currentEntry() const;
    void ignoreEverywhere(const QString &url);

    std::unique_ptr<Ui::Tarnwell2SnifferWindow> ui;
    std::unique_ptr<QTimer> timer;
    QVector<SniffedEntry> entries; // oldest first
};

// The sniffers' callback: queues the report for the window.
void VideoSnifferCallback(std::string url, std::string header, std::string size, std::string type);
