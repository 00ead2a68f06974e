#include "capture/CYouTubeDownloader.h"

#include <QDebug>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QPointer>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTimer>

namespace {

// Headers that would change what the server sends or how it frames it.
const char *const DroppedHeaders[] = {
    "range", "if-range", "accept-encoding", "if-none-match", "if-modified-since", "if-match",
    "if-unmodified-since", "content-length", "transfer-encoding", "connection", "keep-alive",
    "proxy-connection", "te", "upgrade", "expect", "host"};

const char *const CredentialHeaders[] = {"cookie", "authorization", "proxy-authorization"};

constexpr int MaxRedirects = 10;
constexpr int DefaultStallMs = 30000;
constexpr int DefaultDeadlineMs = 6 * 3600 * 1000;
// What the network layer may hold before the body is written out.
constexpr qint64 ReadBufferBytes = 1024 * 1024;

bool isToken(const QByteArray &name)
{
    static const QRegularExpression token(QStringLiteral("^[!#$%&'*+.^_`|~0-9A-Za-z-]+$"));
    return token.match(QString::fromLatin1(name)).hasMatch();
}

bool sameOrigin(const QUrl &a, const QUrl &b)
{
    return a.scheme().compare(b.scheme(), Qt::CaseInsensitive) == 0
        && a.host().compare(b.host(), Qt::CaseInsensitive) == 0
        && a.port(a.scheme() == QLatin1String("https") ? 443 : 80)
               == b.port(b.scheme() == QLatin1String("https") ? 443 : 80);
}

// "90 seconds", "20 minutes", "6 hours".
QString durationText(int ms)
{
    if (ms >= 2 * 3600 * 1000)
        return QStringLiteral("%1 hours").arg(ms / 3600000.0);
    if (ms >= 2 * 60 * 1000)
        return QStringLiteral("%1 minutes").arg(ms / 60000.0);
    return QStringLiteral("%1 seconds").arg(ms / 1000.0);
}

bool httpScheme(const QUrl &url)
{
    return url.isValid() && !url.host().isEmpty()
        && (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"));
}

} // namespace

class CYouTubeDownloader::Impl
{
public:
    explicit Impl(CYouTubeDownloader *o) : owner(o) {}

    CYouTubeDownloader *owner;
    QNetworkAccessManager manager;
    QPointer<QNetworkReply> reply;
    std::unique_ptr<QSaveFile> file;
    HeaderList headers;
    QUrl url;
    int redirects = 0;
    qint64 written = 0;
    bool statusChecked = false;
    bool accepting = false;
    bool stalled = false;
    bool timedOut = false;
    bool writeFailed = false;
    // The Content-Length of the current response: -1 when there is none,
    // -2 when there is one that cannot be read.
    qint64 announced = -1;
    int stallMs = DefaultStallMs;
    int deadlineMs = DefaultDeadlineMs;
    QTimer stallTimer;
    QTimer deadlineTimer;

    void send()
    {
        QNetworkRequest request(url);
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
        request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
        request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
        for (const auto &h : headers)
            request.setRawHeader(h.first, h.second);
        statusChecked = false;
        accepting = false;
        announced = -1;
        reply = manager.get(request);
        reply->setReadBufferSize(ReadBufferBytes);
        QObject::connect(reply, &QNetworkReply::downloadProgress, owner, &CYouTubeDownloader::onDownloadProgress);
        QObject::connect(reply, &QNetworkReply::errorOccurred, owner, &CYouTubeDownloader::onError);
        QObject::connect(reply, &QNetworkReply::metaDataChanged, owner, [this] { checkStatus(); });
        QObject::connect(reply, &QNetworkReply::readyRead, owner, [this] { writeAvailable(); });
        stallTimer.start(stallMs);
    }

    // Decides once per response whether its body is the file.
    void checkStatus()
    {
        if (!reply || statusChecked)
            return;
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        if (!status.isValid())
            return;
        statusChecked = true;
        owner->httpStatus = status.toInt();
        announced = announcedLength(reply->rawHeader("Content-Length"));
        if (announced == -2) {
            // Where such a body ends cannot be known: it is not fetched.
            reply->abort();
            return;
        }
        if (owner->httpStatus == 200) {
            accepting = true;
        } else if (owner->httpStatus == 206) {
            // Only a part that is the whole body will do.
            static const QRegularExpression range(QStringLiteral("^bytes 0-(\\d+)/(\\d+)$"));
            const auto m = range.match(QString::fromLatin1(reply->rawHeader("Content-Range")).trimmed());
            accepting = m.hasMatch() && m.captured(1).toLongLong() + 1 == m.captured(2).toLongLong();
        }
    }

    void writeAvailable()
    {
        stallTimer.start(stallMs);
        checkStatus();
        if (!reply || !reply->isOpen())
            return;
        const QByteArray data = reply->readAll();
        if (!accepting || !file || writeFailed)
            return;
        if (file->write(data) != data.size()) {
            writeFailed = true;
            reply->abort();
            return;
        }
        written += data.size();
        // Progress counts the bytes of the file; the announced length is
        // its size unless the body comes encoded.
        const qint64 total = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong();
        if (!data.isEmpty() && total > 0 && written <= total && reply->rawHeader("Content-Encoding").isEmpty())
            emit owner->OnProgress(static_cast<unsigned long long>(written), true, static_cast<unsigned long long>(total));
    }

    // Digits only, and no more than fit: anything else (a sign, blanks
    // inside, several values, an overflow) cannot be trusted as a length.
    static qint64 announcedLength(const QByteArray &raw)
    {
        const QByteArray text = raw.trimmed();
        if (raw.isNull())
            return -1;
        static const QRegularExpression digits(QStringLiteral("^[0-9]{1,18}$"));
        if (!digits.match(QString::fromLatin1(text)).hasMatch())
            return -2;
        return text.toLongLong();
    }

    // A redirect to follow, or an invalid URL.
    QUrl redirectTarget(QNetworkReply *r) const
    {
        const int status = r->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (status < 300 || status > 399 || status == 304)
            return QUrl();
        const QUrl location = r->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
        if (location.isEmpty())
            return QUrl();
        return r->url().resolved(location);
    }

    void finish(int error, const QString &text)
    {
        stallTimer.stop();
        deadlineTimer.stop();
        owner->networkError = error;
        owner->errorText = text;
        if (file) {
            if (error == 0) {
                if (!file->commit()) {
                    owner->networkError = QNetworkReply::UnknownContentError;
                    owner->errorText = QStringLiteral("The file %1 could not be written: %2")
                                           .arg(owner->targetPath, file->errorString());
                }
            } else {
                file->cancelWriting();
                file->commit(); // removes the temporary file
            }
            file.reset();
        }
        emit owner->finished();
    }

    // Ends the transfer later, from the event loop, so that a failure found
    // in start() reaches the owner after it has begun waiting.
    void finishLater(int error, const QString &text)
    {
        QTimer::singleShot(0, owner, [this, error, text] { finish(error, text); });
    }
};

CYouTubeDownloader::CYouTubeDownloader() : d(new Impl(this))
{
    d->stallTimer.setSingleShot(true);
    connect(&d->stallTimer, &QTimer::timeout, this, [this] {
        if (!d->reply)
            return;
        d->stalled = true;
        d->reply->abort();
    });
    d->deadlineTimer.setSingleShot(true);
    connect(&d->deadlineTimer, &QTimer::timeout, this, [this] {
        if (!d->reply)
            return;
        d->timedOut = true;
        d->reply->abort();
    });
    connect(&d->manager, &QNetworkAccessManager::finished, this, &CYouTubeDownloader::onDownloadFinished);
}

CYouTubeDownloader::~CYouTubeDownloader()
{
    // A transfer still running ends without telling anyone.
    d->manager.disconnect(this);
    d->stallTimer.stop();
    d->deadlineTimer.stop();
    if (d->reply) {
        d->reply->disconnect(this);
        d->reply->abort();
    }
}

void CYouTubeDownloader::setStallTimeout(int ms) { d->stallMs = ms; }
int CYouTubeDownloader::stallTimeout() const { return d->stallMs; }
void CYouTubeDownloader::setDeadline(int ms) { d->deadlineMs = ms; }
int CYouTubeDownloader::deadline() const { return d->deadlineMs; }

bool CYouTubeDownloader::isCredential(const QByteArray &name)
{
    const QByteArray lower = name.toLower();
    for (const char *c : CredentialHeaders) {
        if (lower == c)
            return true;
    }
    return false;
}

CYouTubeDownloader::HeaderList CYouTubeDownloader::replayedHeaders(const QByteArray &requestHeader)
{
    HeaderList list;
    const QList<QByteArray> lines = requestHeader.split('\n');
    for (QByteArray line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty() || line.startsWith("GET "))
            continue;
        const int colon = line.indexOf(": ");
        if (colon <= 0)
            continue;
        const QByteArray name = line.left(colon);
        // The value is everything after the first ": ", itself perhaps
        // holding more of them (a URL with a port, a date).
        const QByteArray value = line.mid(colon + 2);
        if (!isToken(name) || value.contains('\r') || value.contains('\0'))
            continue;
        bool dropped = false;
        const QByteArray lower = name.toLower();
        for (const char *h : DroppedHeaders)
            dropped = dropped || lower == h;
        if (dropped)
            continue;
        // A later line with the same name replaces an earlier one.
        for (int i = 0; i < list.size(); ++i) {
            if (list[i].first.toLower() == lower) {
                list.removeAt(i);
                break;
            }
        }
        list.append({name, value});
    }
    return list;
}

void CYouTubeDownloader::start()
{
    networkError = 0;
    httpStatus = 0;
    errorText.clear();
    d->redirects = 0;
    d->written = 0;
    d->stalled = false;
    d->timedOut = false;
    d->writeFailed = false;
    d->url = QUrl::fromEncoded(downloadUrl.trimmed().toLatin1(), QUrl::StrictMode);
    d->headers = replayedHeaders(requestHeader);
    qDebug() << "CYouTubeDownloader::start" << d->url.toString() << d->headers.size() << "header lines";

    if (!httpScheme(d->url)) {
        d->finishLater(QNetworkReply::ProtocolUnknownError,
                       QStringLiteral("Not an HTTP address: %1").arg(downloadUrl));
        return;
    }
    d->file.reset(new QSaveFile(targetPath));
    if (targetPath.isEmpty() || !d->file->open(QIODevice::WriteOnly)) {
        const QString why = d->file->errorString();
        d->file.reset();
        d->finishLater(QNetworkReply::UnknownContentError,
                       QStringLiteral("The file %1 could not be written: %2").arg(targetPath, why));
        return;
    }
    d->deadlineTimer.start(d->deadlineMs);
    d->send();
}

void CYouTubeDownloader::SetAbort()
{
    abortRequested = true;
    if (d->reply)
        d->reply->abort();
}

void CYouTubeDownloader::SetStatus(const char *text) { qDebug() << "CYouTubeDownloader:" << text; }

void CYouTubeDownloader::onDownloadProgress(qint64 received, qint64 total)
{
    d->stallTimer.start(d->stallMs);
    Q_UNUSED(received);
    Q_UNUSED(total);
}

void CYouTubeDownloader::onError(QNetworkReply::NetworkError error)
{
    qDebug() << "CYouTubeDownloader: network error" << error;
}

void CYouTubeDownloader::onDownloadFinished(QNetworkReply *reply)
{
    reply->deleteLater();
    if (reply != d->reply)
        return;
    d->writeAvailable();
    d->reply.clear();

    if (abortRequested) {
        d->finish(QNetworkReply::OperationCanceledError, QStringLiteral("Cancelled"));
        return;
    }
    if (d->timedOut) {
        d->finish(QNetworkReply::TimeoutError, QStringLiteral("The download did not finish within %1.")
                                                   .arg(durationText(d->deadlineMs)));
        return;
    }
    if (d->stalled) {
        // Before a status the network layer tells nothing of what arrives:
        // silence and a header that never ends look the same.
        d->finish(QNetworkReply::TimeoutError,
                  d->statusChecked
                      ? QStringLiteral("The server sent nothing for %1 seconds.").arg(d->stallMs / 1000.0)
                      : QStringLiteral("The server's answer did not begin within %1 seconds: it sent no "
                                       "header, or a header that never ends.")
                            .arg(d->stallMs / 1000.0));
        return;
    }
    if (d->writeFailed) {
        d->finish(QNetworkReply::UnknownContentError,
                  QStringLiteral("The file %1 could not be written: %2").arg(targetPath, d->file->errorString()));
        return;
    }

    const QUrl next = d->redirectTarget(reply);
    if (next.isValid()) {
        if (++d->redirects > MaxRedirects) {
            d->finish(QNetworkReply::TooManyRedirectsError, QStringLiteral("Too many redirects."));
            return;
        }
        if (!httpScheme(next) || (d->url.scheme() == QLatin1String("https") && next.scheme() != QLatin1String("https"))) {
            d->finish(QNetworkReply::InsecureRedirectError,
                      QStringLiteral("Refused redirect to %1").arg(next.toString()));
            return;
        }
        if (!sameOrigin(d->url, next)) {
            for (int i = d->headers.size() - 1; i >= 0; --i) {
                if (isCredential(d->headers[i].first))
                    d->headers.removeAt(i);
            }
        }
        qDebug() << "CYouTubeDownloader: redirected to" << next.toString();
        d->url = next;
        d->send();
        return;
    }

    if (d->announced == -2) {
        d->finish(QNetworkReply::ProtocolFailure,
                  QStringLiteral("The server sent a Content-Length that cannot be read: %1")
                      .arg(QString::fromLatin1(reply->rawHeader("Content-Length").left(64))));
        return;
    }
    if (reply->error() != QNetworkReply::NoError) {
        // The status only when it is the failure; a transfer that broke
        // after a good status failed for its network error.
        QString text = reply->errorString();
        const QByteArray encoding = reply->rawHeader("Content-Encoding");
        if (reply->error() == QNetworkReply::UnknownContentError && !encoding.isEmpty())
            text = QStringLiteral("The body, sent %1-encoded, could not be unpacked within safe limits (%2).")
                       .arg(QString::fromLatin1(encoding.left(32)), text);
        else if (httpStatus >= 400)
            text = QStringLiteral("HTTP %1 %2").arg(httpStatus).arg(
                QString::fromLatin1(reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toByteArray()));
        d->finish(reply->error(), text);
        return;
    }
    if (!d->accepting) {
        d->finish(QNetworkReply::ProtocolFailure,
                  QStringLiteral("The server answered HTTP %1 instead of the whole file.").arg(httpStatus));
        return;
    }
    if (d->announced >= 0 && reply->rawHeader("Content-Encoding").isEmpty() && d->written != d->announced) {
        d->finish(QNetworkReply::RemoteHostClosedError,
                  QStringLiteral("The body ended after %1 of its %2 bytes.").arg(d->written).arg(d->announced));
        return;
    }
    d->finish(0, QString());
}
