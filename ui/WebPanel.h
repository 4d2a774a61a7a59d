#pragma once
// A web panel of the hall (the case list, the user's head, the advertisement strip): a page of
// the service's web site shown read-only. The page is fetched in the background and shown when
// it is complete; pictures it names over http follow as they arrive. Links open in the
// desktop's own browser, never inside the panel. A page that cannot be had leaves a quiet
// placeholder; an empty address or "about:blank" hides the panel.

#include "platform/WebDocument.h"

#include <QHash>
#include <QSet>
#include <QTextBrowser>
#include <QUrl>

class QNetworkAccessManager;

class CWebPanel : public QTextBrowser {
    Q_OBJECT
public:
    // Pictures fetched per page at most; a page naming more shows the rest without them.
    static constexpr int kMaxPictures = 32;

    explicit CWebPanel(QWidget* parent = nullptr);
    ~CWebPanel() override;

    // Starts showing the page at the address; a load under way is abandoned.
    void Navigate(const QString& address);
    QString Address() const { return m_address; }
    // Whether the last page came and is shown (false while loading and after a failure).
    bool IsShowingPage() const { return m_showing; }
    bool IsLoading() const { return m_page.ReadyState() == QLatin1String("loading"); }
    // Pictures of the page that have arrived.
    int PictureCount() const { return m_pictures.size(); }

Q_SIGNALS:
    // The page is complete: shown, or the placeholder when it could not be had.
    void Loaded(bool shown);

protected:
    QVariant loadResource(int type, const QUrl& name) override;

private:
    void OnPage();
    void ShowPlaceholder();
    void OpenLink(const QUrl& link);

    CWebDocument m_page;
    QString m_address;
    QUrl m_base;
    bool m_showing = false;
    QNetworkAccessManager* m_network = nullptr;
    QHash<QUrl, QVariant> m_pictures;
    QSet<QUrl> m_requested;
    int m_generation = 0;
};
