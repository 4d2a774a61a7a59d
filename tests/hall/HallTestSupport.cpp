#include "tests/hall/HallTestSupport.h"

#include "protocol/KParam.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QHttpServerRequest>
#include <QHttpServerResponder>

namespace tavotest {

bool CDocumentServer::Start() {
    m_port = listen(QHostAddress::LocalHost, 0);
    return m_port != 0;
}

QString CDocumentServer::Url(const QString& path) const {
    return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path);
}

void CDocumentServer::Put(const QString& path, const QByteArray& body,
                          const QByteArray& contentType) {
    m_documents[path] = {body, contentType};
}

int CDocumentServer::Hits(const QString& path) const {
    auto it = m_hits.find(path);
    return it == m_hits.end() ? 0 : it->second;
}

bool CDocumentServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    const QString path = request.url().path();
    ++m_hits[path];
    auto it = m_documents.find(path);
    if (it == m_documents.end()) {
        return false;
    }
    auto responder = makeResponder(request, socket);
    responder.write(it->second.body, it->second.contentType);
    return true;
}

void CDocumentServer::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) {
    makeResponder(request, socket).write(QHttpServerResponder::StatusCode::NotFound);
}

void CRecordingView::SetRoomList(const std::vector<tagListEntry>& entries) {
    rooms = entries;
    marks.clear();
}

void CRecordingView::ShowListWait(bool visible, const QString& waitTitle,
                                  const QString& waitStatus) {
    listWaitVisible = visible;
    if (visible) {
        listWaitTitle = waitTitle;
        listWaitStatus = waitStatus;
    }
}

int CRecordingView::TextWidth(const QString& text) const {
    int width = 0;
    for (QChar c : text) {
        width += c.unicode() < 0x80 ? 7 : 14;
    }
    return width;
}

bool CRecordingView::ChangeDisplayMode(int width, int height) {
    displayChanges.emplace_back(width, height);
    return displayChangeWorks;
}

void MakeReply(CKParam& reply, short command, int result) {
    reply.SetShortInt(KEY_COMMAND, command);
    reply.SetInt(KEY_RESULT, result);
}

void MakeRefusal(CKParam& reply, short command, int result, int refusal) {
    MakeReply(reply, command, result);
    reply.SetInt(KEY_REFUSAL, refusal);
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return false;
    }
    return file.write(bytes) == bytes.size();
}

}  // namespace tavotest
