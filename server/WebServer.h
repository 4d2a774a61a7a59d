#pragma once
// The web side over HTTP/1.1: GET and HEAD of the documents, nothing else. Requests are read by
// a small parser of our own that holds at most one request head of bounded size, so nothing
// the service will refuse is ever buffered: a head past the limit (431), any body (413, the
// body left unread), another method (405) and what is not HTTP (400) are answered and the
// connection closed. Each connection must bring every whole request head within the time
// limit, silent or trickling, and one address holds no more connections here than on the
// other ports.

#include "platform/AsyncSocket.h"
#include "platform/MessageWindow.h"
#include "server/Admission.h"
#include "server/WebDocuments.h"

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

// The message window ends connections past their time and deletes ended ones from the event
// loop, never from inside their own notifications.
class CWebServer : public CAsyncSocket, private CMessageWindow {
public:
    CWebServer(CStore& store, const IRoomDirectory& rooms, const tagServerConfig& config);
    ~CWebServer() override;

    // The port listened on, 0 on failure.
    unsigned Start(const QString& address, unsigned port);

protected:
    void OnAccept(int error) override;

private:
    class CWebConnection;
    friend class CWebConnection;

    void OnTimer(unsigned id) override;
    intptr_t OnMessage(unsigned msg, uintptr_t wParam, intptr_t lParam) override;

    tagWebDocument Render(const QByteArray& target);
    void Ended(CWebConnection& connection);
    void Reap();

    CWebDocuments m_documents;
    const tagServerLimits& m_limits;
    CAdmission m_admission;
    uint64_t m_nextId = 1;
    std::map<uint64_t, std::unique_ptr<CWebConnection>> m_connections;
    std::vector<uint64_t> m_ended;
    bool m_reapPosted = false;
};
