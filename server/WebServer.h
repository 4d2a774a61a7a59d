#pragma once
// The web side over HTTP: every request is answered from the documents.

#include "server/WebDocuments.h"

#include <QAbstractHttpServer>

class CWebServer : public QAbstractHttpServer {
public:
    CWebServer(CStore& store, const IRoomDirectory& rooms, const tagServerConfig& config);

    // The port listened on, 0 on failure.
    unsigned Start(const QString& address, unsigned port);

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    CWebDocuments m_documents;
};
