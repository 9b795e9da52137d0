#pragma once
#include "MessageStore.h"

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTcpServer>

class QTcpSocket;
class QTimer;

struct VendorServiceConfig {
    QString announcedVersion = QStringLiteral("1.1");
    QString information = QStringLiteral("Aucune nouvelle version.");
    QString databasePath = QStringLiteral("suggestions.db");
    // Accept and read, never answer: a server that hangs, for tests.
    bool silent = false;
    qsizetype maxRequestBytes = qsizetype{256} * 1024;
    int maxConnections = 32;
    int connectionTimeoutMs = 10000;
};

// What a request asks for, read from its request line.
struct VendorRequest {
    enum Kind { Version, Suggestion, Unknown };
    Kind kind = Unknown;
    QString message; // decoded, for a suggestion
};

// The request line's target (absolute URL or path) read into a request.
VendorRequest parseVendorRequest(const QByteArray& requestLine);
// The inverse of the program's encoding: %0D, %0A and %20 only.
QByteArray decodeMessage(const QByteArray& encoded);
// The version service's reply, in the format the program reads.
QByteArray versionReply(const QString& version, const QString& information);
QByteArray suggestionReply(bool stored);

// HTTP/1.0 by hand, one request per connection, closed after the reply.
class VendorService final : public QObject {
    Q_OBJECT
public:
    explicit VendorService(VendorServiceConfig config, QObject* parent = nullptr);
    bool listen(const QHostAddress& address, quint16 port);
    quint16 port() const { return m_server.serverPort(); }

signals:
    void requestHandled(const QString& requestLine);

private:
    void acceptPending();
    void readFrom(QTcpSocket* socket);
    void answer(QTcpSocket* socket, const QByteArray& requestLine);
    void finish(QTcpSocket* socket, const QByteArray& reply);

    VendorServiceConfig m_config;
    QTcpServer m_server;
    MessageStore m_store;
    QHash<QTcpSocket*, QByteArray> m_pending;
};
