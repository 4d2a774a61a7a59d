#include "room/ChatPanes.h"

#include "platform/StringTable.h"
#include "room/RoomStrings.h"
#include "room/RoomView.h"

void CChatPanes::SetViews(IChatView* publicView, IChatView* privateView) {
    m_public = publicView;
    m_private = privateView;
}

void CChatPanes::LoadPages() {
    if (m_public) {
        m_public->LoadPage(m_privateVisible ? QStringLiteral("pub.htm")
                                            : QStringLiteral("big_pub.htm"));
    }
    if (m_private) {
        m_private->LoadPage(QStringLiteral("pri.htm"));
    }
    m_publicLines = 0;
    m_privateLines = 0;
}

void CChatPanes::SetPrivatePanelVisible(bool visible) {
    if (visible == m_privateVisible) {
        return;
    }
    m_privateVisible = visible;
    if (m_public) {
        m_public->LoadPage(visible ? QStringLiteral("pub.htm") : QStringLiteral("big_pub.htm"));
        m_publicLines = 0;
    }
}

void CChatPanes::ClearPublic() {
    if (m_public) {
        m_public->Clear();
    }
    m_publicLines = 0;
}

void CChatPanes::ClearPrivate() {
    if (m_private) {
        m_private->Clear();
    }
    m_privateLines = 0;
}

bool CChatPanes::Append(const QString& fragment, bool publicLine) {
    const bool toPrivate = !publicLine && m_privateVisible && m_private;
    IChatView* view = toPrivate ? m_private : m_public;
    if (!view) {
        return false;
    }
    int& lines = toPrivate ? m_privateLines : m_publicLines;
    if (m_scroll == EScrollMode::AutoClear && lines >= kAutoClearLines) {
        view->Clear();
        lines = 0;
    }
    QString cleaned = fragment;
    cleaned.remove(QStringLiteral("\r\n"));
    if (!view->InsertAtFirstTd(cleaned)) {
        return false;
    }
    ++lines;
    if (m_scroll != EScrollMode::Manual) {
        view->ScrollTo(0, 10000000);
    }
    return true;
}

QString CChatPanes::FormatSystemLine(const QString& text, int suffix, bool publicLine,
                                     const QString& title) const {
    QString body = text;
    switch (suffix) {
        case SUFFIX_SUCCESS:
            body += LoadString(IDS_SUCCESS_SUFFIX);
            break;
        case SUFFIX_FAILURE:
            body += LoadString(IDS_FAILURE_SUFFIX);
            break;
        case SUFFIX_WAIT:
            body += LoadString(IDS_WAIT_SUFFIX);
            break;
        default:
            break;
    }
    const QString heading =
        !title.isEmpty() ? title
                         : LoadString(publicLine ? IDS_PUBLIC_LINE_TITLE : IDS_PRIVATE_LINE_TITLE);
    const QString& font = publicLine ? m_fonts.publicSystem : m_fonts.privateSystem;
    return QStringLiteral("<div><font %1>%2 %3</font></div>").arg(font, heading, body);
}

void CChatPanes::SystemLine(const QString& text, int suffix, bool publicLine,
                            const QString& title) {
    Append(FormatSystemLine(text, suffix, publicLine, title), publicLine);
}
