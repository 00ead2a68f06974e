#include "LocalHttpServer.h"

#include <QTcpSocket>
#include <QTimer>
#include <memory>

#include <sys/socket.h>

LocalHttpServer::LocalHttpServer(const QHostAddress &a) : address(a)
{
    server.listen(address, 0);
    connect(&server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = server.nextPendingConnection()) {
            auto buffer = std::make_shared<QByteArray>();
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer] {
                buffer->append(socket->readAll());
                const int end = buffer->indexOf("\r\n\r\n");
                if (end < 0)
                    return;
                const QList<QByteArray> lines = buffer->left(end).split('\n');
                buffer->remove(0, end + 4);
                Request request;
                request.path = lines.value(0).split(' ').value(1);
                for (int i = 1; i < lines.size(); ++i) {
                    const QByteArray line = lines[i].trimmed();
                    const int colon = line.indexOf(':');
                    if (colon > 0)
                        request.headers.insert(line.left(colon).toLower(), line.mid(colon + 1).trimmed());
                }
                recorded.append(request);
                serve(socket, handler ? handler(request) : Response());
            });
        }
    });
}

QByteArray LocalHttpServer::url(const QByteArray &path) const
{
    return "http://" + address.toString().toLatin1() + ":" + QByteArray::number(port()) + path;
}

void LocalHttpServer::serve(QTcpSocket *socket, const Response &r)
{
    const qint64 length = r.generated > 0 ? r.generated : r.body.size();
    if (r.headerFill > 0) {
        socket->write("HTTP/1.1 " + r.status + "\r\nX-Fill: ");
        auto filled = std::make_shared<qint64>(0);
        auto fill = [socket, filled, total = r.headerFill] {
            while (*filled < total && socket->bytesToWrite() < 512 * 1024) {
                const qint64 n = qMin<qint64>(64 * 1024, total - *filled);
                socket->write(QByteArray(int(n), 'a'));
                *filled += n;
            }
        };
        connect(socket, &QTcpSocket::bytesWritten, socket, fill);
        fill();
        return;
    }
    QByteArray head = "HTTP/1.1 " + r.status + "\r\n";
    bool hasLength = false;
    for (const auto &h : r.headers) {
        head += h.first + ": " + h.second + "\r\n";
        hasLength = hasLength || h.first.toLower() == "content-length";
    }
    if (r.chunked)
        head += "Transfer-Encoding: chunked\r\n";
    else if (!hasLength)
        head += "Content-Length: " + QByteArray::number(length) + "\r\n";
    head += "Connection: close\r\n\r\n";
    socket->write(head);

    // The body comes from a cursor so that generated bodies are never held.
    auto sent = std::make_shared<qint64>(0);
    auto piece = [r, sent, length](qint64 most) {
        const qint64 n = qMin(most, length - *sent);
        QByteArray bytes;
        if (r.generated > 0) {
            bytes.resize(n);
            for (qint64 i = 0; i < n; ++i)
                bytes[i] = bodyByte(*sent + i);
        } else {
            bytes = r.body.mid(*sent, n);
        }
        *sent += n;
        return bytes;
    };
    auto frame = [r](const QByteArray &bytes) {
        if (!r.chunked)
            return bytes;
        if (bytes.isEmpty())
            return QByteArray("0\r\n\r\n");
        return QByteArray::number(bytes.size(), 16) + "\r\n" + bytes + "\r\n";
    };

    const qint64 limit = r.stallAfter >= 0 ? qMin(r.stallAfter, length) : length;
    // A reset instead of an orderly end: no lingering on close.
    auto reset = [socket] {
        const struct linger hard = {1, 0};
        ::setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        socket->abort();
    };
    if (r.trickleMs > 0) {
        auto *timer = new QTimer(socket);
        connect(timer, &QTimer::timeout, socket, [=] {
            if (*sent >= limit) {
                timer->stop();
                if (r.resetAtStall) {
                    socket->flush();
                    reset();
                    return;
                }
                if (r.stallAfter < 0) {
                    socket->write(frame(QByteArray()));
                    socket->disconnectFromHost();
                }
                return;
            }
            socket->write(frame(piece(qMin<qint64>(r.trickleBytes, limit - *sent))));
        });
        timer->start(r.trickleMs);
        return;
    }
    auto pump = [=] {
        if (*sent >= limit && r.resetAtStall && socket->bytesToWrite() == 0) {
            reset();
            return;
        }
        while (*sent < limit && socket->bytesToWrite() < 512 * 1024)
            socket->write(frame(piece(qMin<qint64>(64 * 1024, limit - *sent))));
        if (*sent >= limit && r.stallAfter < 0 && socket->property("ended").isNull()) {
            socket->setProperty("ended", true);
            socket->write(frame(QByteArray()));
            socket->disconnectFromHost();
        }
    };
    connect(socket, &QTcpSocket::bytesWritten, socket, pump);
    pump();
}
