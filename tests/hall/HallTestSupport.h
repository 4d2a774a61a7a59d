#pragma once
// What the hall tests share: a small web server for documents, the application state installed
// for a test, and packets built the way the hall server builds its replies.

#include "hall/AppState.h"
#include "protocol/KParam.h"

#include <QAbstractHttpServer>
#include <QByteArray>
#include <QString>

#include <map>
#include <vector>

namespace tavotest {

// A real HTTP server on 127.0.0.1 serving documents from memory; any other path is 404.
class CDocumentServer : public QAbstractHttpServer {
public:
    struct Document {
        QByteArray body;
        QByteArray contentType;
    };

    bool Start();
    quint16 Port() const { return m_port; }
    QString Url(const QString& path) const;
    void Put(const QString& path, const QByteArray& body,
             const QByteArray& contentType = QByteArrayLiteral("text/xml"));
    // How many times a path was asked for.
    int Hits(const QString& path) const;

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    quint16 m_port = 0;
    std::map<QString, Document> m_documents;
    std::map<QString, int> m_hits;
};

// Installs an application state for the life of a test.
class CStateScope {
public:
    CStateScope() { CAppState::Set(&state); }
    ~CStateScope() { CAppState::Set(nullptr); }
    CStateScope(const CStateScope&) = delete;
    CStateScope& operator=(const CStateScope&) = delete;
    CAppState state;
};

// A reply: command, then the result (key 20) and, when given, a refusal code (key 21).
void MakeReply(CKParam& reply, short command, int result);
void MakeRefusal(CKParam& reply, short command, int result, int refusal);

// Writes a file, making its folder.
bool WriteFile(const QString& path, const QByteArray& bytes);

}  // namespace tavotest
