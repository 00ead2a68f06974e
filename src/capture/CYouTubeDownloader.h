#pragma once

#include <QByteArray>
#include <QList>
#include <QNetworkReply>
#include <QObject>
#include <QPair>
#include <QString>
#include <QUrl>
#include <memory>

class QNetworkAccessManager;

// Fetches one video over HTTP(S) by replaying the header lines of a request
// that the packet sniffer saw, so that the server answers as it answered
// that request (cookies, referrer, user agent). The body is streamed into a
// temporary file beside the target, which takes the target's name only when
// the whole transfer succeeded with a 200 (or a 206 that covers the whole
// body); nothing is cached on disk.
//
// Replayed headers leave out those that would change the response or its
// framing (Range, Accept-Encoding, conditional headers, lengths, Connection,
// Host); redirects are followed by hand so that cookies and authorisation
// never go to another host. A server that sends nothing for stallTimeout
// milliseconds ends the transfer, and so does one that is still sending
// when the deadline has passed; SetAbort() stops it at once. A body that
// ends before its announced length, or comes with a length that cannot be
// read, is a failure and is never taken for the file.
//
// Graphical thread only: everything runs from the network manager's
// signals in the caller's event loop.
class CYouTubeDownloader : public QObject
{
    Q_OBJECT

public:
    using HeaderList = QList<QPair<QByteArray, QByteArray>>;

    CYouTubeDownloader();
    ~CYouTubeDownloader() override;

    // Filled in by the owner before start().
    QString downloadUrl;       // with its scheme
    QByteArray requestHeader;  // the captured request line and header lines
    QString targetPath;
    bool abortRequested = false;
    // After finished(): 0 on success, else a QNetworkReply::NetworkError.
    int networkError = 0;
    // After finished(): the last HTTP status and a text on failure.
    int httpStatus = 0;
    QString errorText;

    // Sends the request; finished() follows, also when it cannot be sent.
    void start();
    // Stops the transfer at once; nothing is written.
    void SetAbort();
    void SetStatus(const char *text);
    void setStallTimeout(int ms);
    int stallTimeout() const;
    // The whole transfer, redirects included, ends with a failure after
    // this long however the server paces it (6 hours unless set).
    void setDeadline(int ms);
    int deadline() const;

    // The header lines start() sends for a captured header block.
    static HeaderList replayedHeaders(const QByteArray &requestHeader);
    // Whether a header carries credentials (kept from another host).
    static bool isCredential(const QByteArray &name);

signals:
    // Bytes of the file written so far and its announced size; only when
    // the size is known.
    void OnProgress(unsigned long long nBytesRead, bool bGotFileSize, unsigned long long nFileSize);
    void finished();

protected slots:
    // Any progress of the network layer keeps the stall timer from firing.
    void onDownloadProgress(qint64 received, qint64 total);
    void onDownloadFinished(QNetworkReply *reply);
    void onError(QNetworkReply::NetworkError error);

private:
    class Impl;
    std::unique_ptr<Impl> d;
};
