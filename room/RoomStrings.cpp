#include "room/RoomStrings.h"

QString FillPlaceholders(QString text, const QStringList& values) {
    // One pass, so a value that itself reads "XXX2" stays as it is.
    QString out;
    out.reserve(text.size() + 32);
    const QString marker = QStringLiteral("XXX");
    qsizetype at = 0;
    for (;;) {
        const qsizetype hit = text.indexOf(marker, at);
        if (hit < 0) {
            out += QStringView(text).mid(at);
            return out;
        }
        out += QStringView(text).mid(at, hit - at);
        qsizetype next = hit + marker.size();
        int index = 0;
        if (next < text.size() && text[next] >= QLatin1Char('1') &&
            text[next] <= QLatin1Char('4')) {
            index = text[next].digitValue() - 1;
            ++next;
        }
        out += index < values.size() ? values[index] : QString();
        at = next;
    }
}

QString HtmlEscape(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        switch (c.unicode()) {
            case '<':
                out += QStringLiteral("&lt;");
                break;
            case '>':
                out += QStringLiteral("&gt;");
                break;
            case '&':
                out += QStringLiteral("&amp;");
                break;
            case '"':
                out += QStringLiteral("&quot;");
                break;
            default:
                out += c;
        }
    }
    return out;
}
