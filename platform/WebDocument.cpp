#include "platform/WebDocument.h"

#include "platform/CodePage.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QObject>
#include <QPointer>
#include <QRegularExpression>
#include <QStringConverter>
#include <QStringDecoder>
#include <QTimer>
#include <QUrl>

namespace {

// A declaration lives in the first few hundred bytes; looking further only costs time.
constexpr int kDeclarationWindow = 1024;

QByteArray CharsetFromContentType(const QByteArray& contentType) {
    static const QRegularExpression re(QStringLiteral("charset\\s*=\\s*\"?([A-Za-z0-9._:-]+)"),
                                       QRegularExpression::CaseInsensitiveOption);
    const auto match = re.match(QString::fromLatin1(contentType));
    return match.hasMatch() ? match.captured(1).toLatin1() : QByteArray();
}

QString DecodeWithCharset(const QByteArray& bytes, const QByteArray& charset) {
    const int codePage = CodePageForCharset(charset);
    if (codePage != 0) {
        return DecodeCodePage(bytes, codePage);
    }
    QStringDecoder decoder(charset.constData());
    if (decoder.isValid()) {
        return decoder.decode(bytes);
    }
    return QString::fromUtf8(bytes);
}

bool IsWindowsPath(const QString& address) {
    return address.size() >= 3 && address.at(0).isLetter() && address.at(1) == QLatin1Char(':') &&
           (address.at(2) == QLatin1Char('\\') || address.at(2) == QLatin1Char('/'));
}

}  // namespace

QByteArray DeclaredCharset(const QByteArray& bytes) {
    const QString head = QString::fromLatin1(bytes.left(kDeclarationWindow));
    static const QRegularExpression xml(
        QStringLiteral("^\\s*<\\?xml[^>]*?encoding\\s*=\\s*[\"']([A-Za-z0-9._:-]+)[\"']"),
        QRegularExpression::CaseInsensitiveOption);
    auto match = xml.match(head);
    if (match.hasMatch()) {
        return match.captured(1).toLatin1();
    }
    static const QRegularExpression meta(
        QStringLiteral("<meta[^>]*charset\\s*=\\s*[\"']?([A-Za-z0-9._:-]+)"),
        QRegularExpression::CaseInsensitiveOption);
    match = meta.match(head);
    return match.hasMatch() ? match.captured(1).toLatin1() : QByteArray();
}

QString DecodeWebText(const QByteArray& bytes, const QByteArray& transportCharset) {
    if (bytes.isEmpty()) {
        return QString();
    }
    // A byte-order mark outranks every declaration, as in a browser.
    if (auto bom = QStringConverter::encodingForData(bytes); bom.has_value()) {
        QStringDecoder decoder(*bom, QStringConverter::Flag::Default);
        return decoder.decode(bytes);
    }
    if (!transportCharset.isEmpty()) {
        return DecodeWithCharset(bytes, transportCharset);
    }
    const QByteArray declared = DeclaredCharset(bytes);
    if (!declared.isEmpty()) {
        return DecodeWithCharset(bytes, declared);
    }
    return QString::fromUtf8(bytes);
}

CWebDocument::CWebDocument() = default;

CWebDocument::~CWebDocument() {
    Stop();
}

QString CWebDocument::ReadyState() const {
    switch (m_state) {
        case EState::Uninitialized:
            return QStringLiteral("uninitialized");
        case EState::Loading:
            return QStringLiteral("loading");
        case EState::Complete:
            return QStringLiteral("complete");
    }
    return QString();
}

QString CWebDocument::Text() const {
    return DecodeWebText(m_bytes, m_charset);
}

void CWebDocument::Stop() {
    // Deleting the context drops its connections and aborts the reply it parents.
    m_load.reset();
    if (m_state == EState::Loading) {
        m_state = EState::Uninitialized;
    }
}

void CWebDocument::Navigate(const QString& address) {
    Stop();
    m_address = address;
    m_bytes.clear();
    m_charset.clear();
    m_state = EState::Loading;
    m_load = std::make_unique<QObject>();
    QObject* context = m_load.get();

    const QString trimmed = address.trimmed();
    const QUrl url(trimmed);
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https")) {
        if (!m_network) {
            m_network = std::make_unique<QNetworkAccessManager>();
        }
        QNetworkRequest request(url);
        request.setTransferTimeout(kTransferTimeoutMs);
        QNetworkReply* reply = m_network->get(request);
        reply->setParent(context);
        QObject::connect(reply, &QNetworkReply::finished, context, [this, reply] {
            // An error page of the server counts as no page: the callers read documents.
            const bool ok = reply->error() == QNetworkReply::NoError;
            const QByteArray body = ok ? reply->readAll() : QByteArray();
            const QByteArray charset = CharsetFromContentType(
                reply->header(QNetworkRequest::ContentTypeHeader).toByteArray());
            reply->deleteLater();
            Finish(body, charset);
        });
        return;
    }

    QByteArray body;
    QString path;
    if (url.isLocalFile()) {
        path = url.toLocalFile();
    } else if (scheme.isEmpty() || IsWindowsPath(trimmed)) {
        path = trimmed;
    }
    if (!path.isEmpty()) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) {
            body = file.readAll();
        }
    }
    // A browser reports even a local page from its message loop; so do we.
    QTimer::singleShot(0, context, [this, body] { Finish(body, QByteArray()); });
}

void CWebDocument::Finish(QByteArray bytes, QByteArray charset) {
    // We are inside a notification of the load's own objects: let the event loop delete them.
    if (QObject* load = m_load.release()) {
        load->deleteLater();
    }
    m_bytes = std::move(bytes);
    m_charset = std::move(charset);
    m_state = EState::Complete;
    // The handler may navigate again or destroy this document; touch nothing afterwards.
    if (m_onComplete) {
        auto handler = m_onComplete;
        handler();
    }
}
