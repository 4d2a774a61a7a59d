#include "server/WebServer.h"

#include <QHostAddress>
#include <QHttpServerRequest>
#include <QHttpServerResponder>

CWebServer::CWebServer(CStore& store, const IRoomDirectory& rooms, const tagServerConfig& config)
    : m_documents(store, rooms, config) {}

unsigned CWebServer::Start(const QString& address, unsigned port) {
    const QHostAddress host =
        address.isEmpty() ? QHostAddress(QHostAddress::Any) : QHostAddress(address);
    return listen(host, static_cast<quint16>(port));
}

bool CWebServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    if (request.method() != QHttpServerRequest::Method::Get &&
        request.method() != QHttpServerRequest::Method::Head) {
        makeResponder(request, socket).write(QHttpServerResponder::StatusCode::MethodNotAllowed);
        return true;
    }
    const tagWebDocument doc = m_documents.Render(request.url().path(), request.query());
    makeResponder(request, socket)
        .write(doc.body, doc.mimeType, static_cast<QHttpServerResponder::StatusCode>(doc.status));
    return true;
}

void CWebServer::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) {
    makeResponder(request, socket).write(QHttpServerResponder::StatusCode::NotFound);
}
