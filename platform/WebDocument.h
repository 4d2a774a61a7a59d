#pragma once
// A web document loaded the way the embedded browser would load it: an address goes in, the
// page's bytes come out, and a "complete" notification tells when the ready state got there.
// http and https go through QNetworkAccessManager; file:// addresses and plain paths are read
// from disk; "about:blank" and addresses that cannot be loaded complete with an empty page, as
// a browser shows an empty or error page. Completion is always reported from the event loop,
// never from inside Navigate.

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

class QObject;
class QNetworkAccessManager;

class CWebDocument {
public:
    CWebDocument();
    ~CWebDocument();
    CWebDocument(const CWebDocument&) = delete;
    CWebDocument& operator=(const CWebDocument&) = delete;

    // Starts loading; a load under way is abandoned.
    void Navigate(const QString& address);
    // Abandons a load under way; no notification follows.
    void Stop();

    // "uninitialized", "loading" or "complete".
    QString ReadyState() const;
    bool IsComplete() const { return m_state == EState::Complete; }
    QString Address() const { return m_address; }

    // The page's bytes as they came, and as text decoded by the charset the page declares.
    QByteArray Bytes() const { return m_bytes; }
    QString Text() const;

    // Called once per Navigate when the page is complete.
    void SetCompleteHandler(std::function<void()> handler) { m_onComplete = std::move(handler); }

    // How long an http load may stall before it completes empty.
    static constexpr int kTransferTimeoutMs = 30000;

private:
    enum class EState { Uninitialized, Loading, Complete };
    void Finish(QByteArray bytes, QByteArray charset);

    EState m_state = EState::Uninitialized;
    QString m_address;
    QByteArray m_bytes;
    QByteArray m_charset;  // from the transport (the Content-Type header), when it said
    std::function<void()> m_onComplete;
    std::unique_ptr<QNetworkAccessManager> m_network;
    // Owns the connections of the load under way; replaced to forget a load.
    std::unique_ptr<QObject> m_load;
};

// Decodes a page: a byte-order mark first, then the transport's charset, then the charset the
// page declares (an XML declaration's encoding or an HTML meta charset); UTF-8 otherwise.
// GBK, GB2312 and Big5 go through the code-page conversion the wire text uses.
QString DecodeWebText(const QByteArray& bytes, const QByteArray& transportCharset = QByteArray());
// The encoding an XML declaration or HTML meta element at the start of the page names; empty
// when none.
QByteArray DeclaredCharset(const QByteArray& bytes);
