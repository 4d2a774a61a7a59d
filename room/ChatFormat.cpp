#include "room/ChatFormat.h"

#include "core/AppState.h"
#include "platform/Prompt.h"
#include "platform/StringTable.h"
#include "room/RoomStrings.h"

#include <QDateTime>
#include <QRegularExpression>

QString StyleAttribute(const tagTextStyle& s) {
    return QStringLiteral(" style=\"font-family:'%1';font-size:%2pt;color:%3;%4%5%6\"")
        .arg(s.font, s.size, s.color, s.bold ? QStringLiteral("font-weight:bold;") : QString(),
             s.italic ? QStringLiteral("font-style:italic;") : QString(),
             s.underline ? QStringLiteral("text-decoration:underline;") : QString());
}

QString EscapeAngles(const QString& text) {
    QString out = text;
    out.replace(QLatin1Char('<'), QStringLiteral("&lt;"));
    out.replace(QLatin1Char('>'), QStringLiteral("&gt;"));
    return out;
}

namespace {

bool IsDigit(const QString& t, qsizetype i) {
    return i < t.size() && t[i] >= QLatin1Char('0') && t[i] <= QLatin1Char('9');
}

// Length of the digits of a face token at i (just after "|#"): 2, or 3 with a set in
// edition 70; 0 when there is no face token.
int FaceDigits(const QString& t, qsizetype i, int edition) {
    if (!IsDigit(t, i) || !IsDigit(t, i + 1)) {
        return 0;
    }
    return edition == EDITION_70 && IsDigit(t, i + 2) ? 3 : 2;
}

QString TwoDigits(int n) {
    return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
}

}  // namespace

int CountFaceTokens(const QString& text, int edition) {
    int n = 0;
    for (qsizetype i = text.indexOf(QStringLiteral("|#")); i >= 0;
         i = text.indexOf(QStringLiteral("|#"), i + 2)) {
        if (FaceDigits(text, i + 2, edition)) {
            ++n;
        }
    }
    return n;
}

QString LimitTokens(const QString& text, int edition, int keep) {
    QString out;
    out.reserve(text.size());
    int faces = 0;
    int stamps = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('|') && i + 1 < text.size()) {
            const QChar marker = text[i + 1];
            if (marker == QLatin1Char('#') && FaceDigits(text, i + 2, edition) && ++faces > keep) {
                ++i;
                continue;
            }
            if (marker == QLatin1Char('@') && IsDigit(text, i + 2) && ++stamps > keep) {
                ++i;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

QString ConvertFaces(const QString& text, const tagFaceRules& r) {
    if (!text.contains(QStringLiteral("|#"))) {
        return text;
    }
    QString out;
    out.reserve(text.size() + 64);
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != QLatin1Char('|') || i + 1 >= text.size() ||
            text[i + 1] != QLatin1Char('#')) {
            out += text[i];
            continue;
        }
        const int digits = FaceDigits(text, i + 2, r.edition);
        if (digits == 0) {
            out += text[i];
            continue;
        }
        const int set = digits == 3 ? text[i + 2].digitValue() : -1;
        const int number = text.mid(i + 2 + (digits == 3 ? 1 : 0), 2).toInt();
        if (!r.permitted || number < 0 || number >= r.faceCount) {
            // Shown as text: the marker is broken so nobody converts it later.
            out += QStringLiteral("| #");
            ++i;
            continue;
        }
        if (set < 0) {
            out +=
                QStringLiteral("<IMG src=\"%1/img/face/%2.gif\">").arg(r.folder, TwoDigits(number));
        } else if (set < 5) {
            out += QStringLiteral("<IMG src=\"%1/img/face/%2/%3.gif\">")
                       .arg(r.folder, QString::number(set), TwoDigits(number));
        } else {
            // Sets from 5 up live on the service's web server, under the picture folder the
            // configuration names for free faces.
            const auto& links = CAppState::Get().settings.edition70Links;
            const auto it = links.find(QStringLiteral("FREE_FACE"));
            const QString base = it != links.end() ? it->second : QString();
            out += QStringLiteral("<IMG src=\"%1/%2/%3.gif\">")
                       .arg(base, QString::number(set), TwoDigits(number));
        }
        i += 1 + digits;
    }
    return out;
}

QString MemberLink(const QString& id, const QString& nickname, const QString& shown) {
    return QStringLiteral(
               "<a id=\"talkobject\" tavoid=\"%1\" tavoname=\"%2\" href=\"\" "
               "style=\"text-decoration:none\">%3</a>")
        .arg(HtmlEscape(id), HtmlEscape(nickname), HtmlEscape(shown));
}

QString NamePart(const QString& font, const QString& id, const QString& nickname,
                 const QString& shown) {
    return QStringLiteral("<font %1>%2</font>").arg(font, MemberLink(id, nickname, shown));
}

QString StampPicture(const QString& folder, int stamp) {
    return QStringLiteral("<img border=0 src=\"%1/img/stamp/%2.bmp\">")
        .arg(folder, QString::number(stamp));
}

QString TimeOfDay(int64_t unixMs) {
    const QTime t = QDateTime::fromMSecsSinceEpoch(unixMs).time();
    return QString::asprintf("%02d:%02d:%02d", t.hour(), t.minute(), t.second());
}

namespace {

QString Stamped(const tagHeaderStyle& s, const tagParty& p) {
    return s.stamps && p.stamp > 0 ? StampPicture(s.folder, p.stamp) : QString();
}

// "说:" or, with the time shown, "说(12:00:00):".
QString SaidWith(const QString& said, const QString& time) {
    return time.isEmpty() ? said + QLatin1Char(':') : QStringLiteral("%1(%2):").arg(said, time);
}

}  // namespace

QString PublicHeader(const tagHeaderStyle& s, const tagParty& sender) {
    return Stamped(s, sender) + NamePart(s.nameFont, sender.id, sender.nickname, sender.nickname) +
           SaidWith(LoadString(IDS_SAYS), s.time);
}

QString OwnPrivateHeader(const tagHeaderStyle& s, const tagParty& target) {
    return LoadString(IDS_YOU_WHISPER_TO) + Stamped(s, target) +
           NamePart(s.nameFont, target.id, target.nickname, target.nickname) +
           SaidWith(LoadString(IDS_SAYS), s.time);
}

QString TargetPrivateHeader(const tagHeaderStyle& s, const tagParty& sender) {
    QString said = LoadString(IDS_WHISPERS_TO_YOU);
    if (said.endsWith(QLatin1Char(':'))) {
        said.chop(1);
    }
    return Stamped(s, sender) + NamePart(s.nameFont, sender.id, sender.nickname, sender.nickname) +
           SaidWith(said, s.time);
}

QString ChatLine(const QString& header, const QString& style, const QString& text) {
    return header + QStringLiteral("<font ") + style + QStringLiteral(">") + text +
           QStringLiteral("</font><br>");
}

CForbiddenText& CForbiddenText::Get() {
    static CForbiddenText lists;
    return lists;
}

void CForbiddenText::Fill(const QString& nicknames, const QString& texts) {
    // Empty entries would match every text.
    if (!m_nicknamesFilled) {
        m_nicknames = nicknames.split(QLatin1Char(','), Qt::SkipEmptyParts);
        m_nicknamesFilled = !m_nicknames.isEmpty();
    }
    if (!m_textsFilled) {
        m_texts = texts.split(QLatin1Char(','), Qt::SkipEmptyParts);
        m_textsFilled = !m_texts.isEmpty();
    }
}

QString CForbiddenText::Find(const QString& text, int kind) const {
    const QString lower = text.toLower();
    auto search = [&](const QStringList& list) -> QString {
        for (const QString& s : list) {
            if (lower.contains(s)) {
                return s;
            }
        }
        return QString();
    };
    QString hit;
    if (kind != TEXTS) {
        hit = search(m_nicknames);
    }
    if (hit.isEmpty() && kind != NICKNAMES) {
        hit = search(m_texts);
    }
    return hit;
}

bool CForbiddenText::Check(const QString& text, int kind) const {
    QString hit = Find(text, kind);
    if (hit.isEmpty()) {
        return true;
    }
    hit.replace(QLatin1Char('<'), QChar(0xFF1C));
    hit.replace(QLatin1Char('>'), QChar(0xFF1E));
    MessageBox(QStringLiteral("%1 %2").arg(LoadString(IDS_FORBIDDEN_CHARS), hit),
               QStringLiteral("Warning"), MB_TOPMOST);
    return false;
}

void CForbiddenText::ResetForTests() {
    m_nicknames.clear();
    m_texts.clear();
    m_nicknamesFilled = false;
    m_textsFilled = false;
}

QString PlainChatText(const QString& fragment) {
    static const QRegularExpression face(
        QStringLiteral(R"(<img[^>]*?[\\/]img[\\/]face[\\/](?:(\d)[\\/])?(\d+)\.gif[^>]*>)"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression stamp(
        QStringLiteral(R"(<img[^>]*?[\\/]img[\\/]stamp[\\/](\d+)\.bmp[^>]*>)"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression breaks(QStringLiteral(R"(<br\s*/?>|</div>|</p>)"),
                                           QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression tag(QStringLiteral("<[^>]*>"));
    static const QRegularExpression space(QStringLiteral(R"(\s+)"));

    QString text = fragment;
    // Faces back to the tokens people typed; a set digit stays in front of the number.
    QString out;
    qsizetype last = 0;
    for (auto it = face.globalMatch(text); it.hasNext();) {
        const auto m = it.next();
        out += text.mid(last, m.capturedStart() - last);
        out += QStringLiteral("|#") + m.captured(1) + m.captured(2);
        last = m.capturedEnd();
    }
    out += text.mid(last);
    text = out;
    text.replace(stamp, QStringLiteral("|@\\1 "));
    text.replace(breaks, QStringLiteral(" "));
    text.remove(tag);
    text.replace(QStringLiteral("&lt;"), QStringLiteral("<"));
    text.replace(QStringLiteral("&gt;"), QStringLiteral(">"));
    text.replace(QStringLiteral("&quot;"), QStringLiteral("\""));
    text.replace(QStringLiteral("&nbsp;"), QStringLiteral(" "));
    text.replace(QStringLiteral("&amp;"), QStringLiteral("&"));
    return text.replace(space, QStringLiteral(" ")).trimmed();
}
