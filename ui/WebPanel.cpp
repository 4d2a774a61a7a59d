#include "ui/WebPanel.h"

#include "platform/StringIds.h"
#include "platform/StringTable.h"

#include <QDesktopServices>
#include <QImage>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTextDocument>

namespace {

bool IsBlank(const QString& address) {
    const QString a = address.trimmed();
    return a.isEmpty() || a.compare(QLatin1String("about:blank"), Qt::CaseInsensitive) == 0;
}

bool IsWeb(const QUrl& url) {
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

// A picture larger than this is not an advertisement but a mistake; it is not decoded.
constexpr qint64 kMaxPictureBytes = 4 * 1024 * 1024;

}  // namespace

CWebPanel::CWebPanel(QWidget* parent) : QTextBrowser(parent) {
    setObjectName(QStringLiteral("webPanel"));
    setReadOnly(true);
    setOpenLinks(false);
    setOpenExternalLinks(false);
    setFrameShape(QFrame::NoFrame);
    connect(this, &QTextBrowser::anchorClicked, this, &CWebPanel::OpenLink);
    m_page.SetCompleteHandler([this] { OnPage(); });
    hide();
}

CWebPanel::~CWebPanel() {
    m_page.SetCompleteHandler(nullptr);
    m_page.Stop();
}

void CWebPanel::Navigate(const QString& address) {
    ++m_generation;
    m_address = address.trimmed();
    m_showing = false;
    m_pictures.clear();
    m_requested.clear();
    if (IsBlank(m_address)) {
        m_page.Stop();
        clear();
        hide();
        return;
    }
    m_base = QUrl(m_address);
    // The old page stays until the new one is there: a panel that blinks on every login looks
    // broken.
    show();
    m_page.Navigate(m_address);
}

void CWebPanel::OnPage() {
    const QString text = m_page.Text();
    if (text.trimmed().isEmpty()) {
        ShowPlaceholder();
        Q_EMIT Loaded(false);
        return;
    }
    m_showing = true;
    setHtml(text);
    Q_EMIT Loaded(true);
}

void CWebPanel::ShowPlaceholder() {
    m_showing = false;
    const QString colour = palette().color(QPalette::Disabled, QPalette::Text).name();
    setHtml(QStringLiteral("<p align=\"center\" style=\"color:%1\">%2</p>")
                .arg(colour, LoadString(IDS_UI_PANEL_UNAVAILABLE).toHtmlEscaped()));
}

void CWebPanel::OpenLink(const QUrl& link) {
    const QUrl target = m_base.resolved(link);
    // The panel shows the service's page; where its links lead is the person's browser's
    // business, and only web addresses are handed on.
    if (IsWeb(target) || target.scheme() == QLatin1String("mailto")) {
        QDesktopServices::openUrl(target);
    }
}

QVariant CWebPanel::loadResource(int type, const QUrl& name) {
    // Nothing of a remote page is read from this machine's disk: only the page's own site.
    const QUrl url = m_base.resolved(name);
    if (type != QTextDocument::ImageResource || !IsWeb(url)) {
        return QVariant();
    }
    if (const auto it = m_pictures.constFind(url); it != m_pictures.constEnd()) {
        return *it;
    }
    if (m_requested.contains(url) || m_requested.size() >= kMaxPictures) {
        return QVariant();
    }
    m_requested.insert(url);
    if (!m_network) {
        m_network = new QNetworkAccessManager(this);
    }
    QNetworkRequest request(url);
    request.setTransferTimeout(CWebDocument::kTransferTimeoutMs);
    QNetworkReply* reply = m_network->get(request);
    const int generation = m_generation;
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
        if (received > kMaxPictureBytes) {
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, url, name, generation] {
        reply->deleteLater();
        if (generation != m_generation || reply->error() != QNetworkReply::NoError) {
            return;
        }
        QImage image;
        if (!image.loadFromData(reply->readAll())) {
            return;
        }
        m_pictures.insert(url, image);
        // The document asked by the name the page wrote; it lays the picture out again.
        document()->addResource(QTextDocument::ImageResource, name, image);
        document()->markContentsDirty(0, document()->characterCount());
    });
    return QVariant();
}
