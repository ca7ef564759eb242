#include "TestHttpServer.h"

#include <QTcpSocket>
#include <QTimer>

using namespace Qt::StringLiterals;

TestHttpServer::TestHttpServer(QObject* parent) : QObject(parent)
{
    m_server.listen(QHostAddress::LocalHost, 0);
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            auto buffer = std::make_shared<QByteArray>();
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer] {
                buffer->append(socket->readAll());
                const qsizetype end = buffer->indexOf("\r\n\r\n");
                if (end < 0)
                    return;
                const QList<QByteArray> lines = buffer->left(end).split('\n');
                buffer->remove(0, end + 4);
                Request request;
                const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
                request.method = first.value(0);
                request.path = first.value(1);
                for (qsizetype i = 1; i < lines.size(); ++i) {
                    const qsizetype colon = lines[i].indexOf(':');
                    if (colon > 0)
                        request.headers.insert(lines[i].left(colon).trimmed().toLower(),
                                               lines[i].mid(colon + 1).trimmed());
                }
                m_requests.append(request);
                serve(socket, request);
            });
        }
    });
}

QUrl TestHttpServer::url(const QString& path) const
{
    return QUrl(u"http://127.0.0.1:%1%2"_s.arg(m_server.serverPort()).arg(path));
}

void TestHttpServer::route(const QString& path, const Response& response)
{
    m_routes.insert(path.toUtf8(), response);
}

TestHttpServer::Response TestHttpServer::html(const QByteArray& body, const QByteArray& charset)
{
    Response r;
    r.headers.append({"Content-Type", "text/html; charset=" + charset});
    r.body = body;
    return r;
}

TestHttpServer::Response TestHttpServer::redirect(const QString& location, int status)
{
    Response r;
    r.status = status;
    r.reason = "Found";
    r.headers.append({"Location", location.toUtf8()});
    return r;
}

int TestHttpServer::count(const QString& path) const
{
    return int(std::count_if(m_requests.cbegin(), m_requests.cend(),
                             [&](const Request& r) { return r.path == path.toUtf8(); }));
}

void TestHttpServer::serve(QTcpSocket* socket, const Request& request)
{
    const Response response = m_routes.value(request.path, [] {
        Response notFound;
        notFound.status = 404;
        notFound.reason = "Not Found";
        notFound.body = "<html><title>Not found</title></html>";
        return notFound;
    }());
    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' + response.reason + "\r\n";
    for (const auto& [name, value] : response.headers)
        head += name + ": " + value + "\r\n";
    if (response.sendLength)
        head += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    head += "Connection: close\r\n\r\n";
    socket->write(head);
    if (response.stall) {
        socket->write(response.body.left(1));
        return; // nothing more, ever
    }
    if (response.trickleMs > 0) {
        auto* timer = new QTimer(socket);
        auto sent = std::make_shared<qsizetype>(0);
        connect(timer, &QTimer::timeout, socket, [socket, timer, sent, body = response.body] {
            if (*sent >= body.size()) {
                timer->stop();
                socket->disconnectFromHost();
                return;
            }
            socket->write(body.mid((*sent)++, 1));
        });
        timer->start(response.trickleMs);
        return;
    }
    socket->write(response.body);
    socket->disconnectFromHost();
}
