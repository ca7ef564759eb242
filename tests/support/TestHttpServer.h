#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMap>
#include <QObject>
#include <QTcpServer>
#include <QUrl>

#include <functional>

// A small HTTP/1.1 server on 127.0.0.1 for tests: fixed answers per path,
// stalls and trickles for time limits, and a record of every request.
class TestHttpServer final : public QObject {
    Q_OBJECT

public:
    struct Response {
        int status = 200;
        QByteArray reason = "OK";
        QList<std::pair<QByteArray, QByteArray>> headers;
        QByteArray body;
        bool stall = false;     // send the headers and a first byte, then nothing
        int trickleMs = 0;      // send the body one byte at a time, this far apart
        bool sendLength = true; // Content-Length, or close the connection to end
    };
    struct Request {
        QByteArray method;
        QByteArray path;
        QMap<QByteArray, QByteArray> headers; // names lower-cased
    };

    explicit TestHttpServer(QObject* parent = nullptr);
    QUrl url(const QString& path) const;
    void route(const QString& path, const Response& response);
    static Response html(const QByteArray& body, const QByteArray& charset = "utf-8");
    static Response redirect(const QString& location, int status = 302);

    const QList<Request>& requests() const { return m_requests; }
    int count(const QString& path) const;

private:
    void serve(QTcpSocket* socket, const Request& request);

    QTcpServer m_server;
    QHash<QByteArray, Response> m_routes;
    QList<Request> m_requests;
};
