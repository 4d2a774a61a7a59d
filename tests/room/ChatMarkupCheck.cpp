#include "tests/room/ChatMarkupCheck.h"

#include "room/ChatSanitizer.h"

#include <QFile>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <map>
#include <vector>

namespace {

// Elements that run, fetch, frame, embed, take input or stand for a whole page.
const QSet<QString> kForbiddenElements{
    "script", "style",  "iframe",   "frame",    "frameset", "object",   "embed",   "applet",
    "base",   "meta",   "link",     "svg",      "math",     "form",     "input",   "button",
    "select", "option", "textarea", "video",    "audio",    "source",   "track",   "bgsound",
    "canvas", "param",  "template", "noscript", "noembed",  "noframes", "xmp",     "plaintext",
    "title",  "html",   "head",     "body",     "isindex",  "keygen",   "marquee", "image"};

// Attributes the view reads as plain values (colours, sizes, names).
const QSet<QString> kValueAttributes{"color",  "bgcolor", "face",    "size",        "id",
                                     "class",  "width",   "height",  "border",      "align",
                                     "valign", "colspan", "rowspan", "cellpadding", "cellspacing",
                                     "nowrap", "dir"};
// Attributes the view shows as text or hands back to us as text.
const QSet<QString> kTextAttributes{"title", "alt", "tavoid", "tavoname"};

bool IsVoid(const QString& name) {
    return name == QLatin1String("br") || name == QLatin1String("img") ||
           name == QLatin1String("hr");
}

bool IsHidden(char16_t u) {
    return (u < 0x20 && u != '\t' && u != '\n') || u == 0x7F || (u >= 0x202A && u <= 0x202E) ||
           (u >= 0x2066 && u <= 0x2069);
}

// The value as the view reads it: character references decoded.
QString Decoded(const QString& value) {
    static const std::map<QString, QChar> kNamed{
        {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}};
    static const QRegularExpression kReference(
        QStringLiteral("&(#[0-9]+|#[xX][0-9a-fA-F]+|[a-z]+);"));
    QString out;
    qsizetype last = 0;
    for (auto it = kReference.globalMatch(value); it.hasNext();) {
        const auto m = it.next();
        out += value.mid(last, m.capturedStart() - last);
        const QString ref = m.captured(1);
        if (ref.startsWith(QLatin1String("#x")) || ref.startsWith(QLatin1String("#X"))) {
            out += QChar(ref.mid(2).toUInt(nullptr, 16));
        } else if (ref.startsWith(QLatin1Char('#'))) {
            out += QChar(ref.mid(1).toUInt());
        } else if (const auto named = kNamed.find(ref); named != kNamed.end()) {
            out += named->second;
        } else {
            out += m.captured(0);
        }
        last = m.capturedEnd();
    }
    return out + value.mid(last);
}

// Lower case without blanks and control characters: how a lenient reader sees a scheme.
QString Squeezed(const QString& value) {
    QString out;
    for (QChar c : value.toLower()) {
        if (c.unicode() > 0x20 && c.unicode() != 0x7F) {
            out += c;
        }
    }
    return out;
}

// \\ \t \n \r \0 \uHHHH
QString Unescaped(const QString& field) {
    static const std::map<QChar, QChar> kControls{
        {'t', '\t'}, {'n', '\n'}, {'r', '\r'}, {'0', QChar(0)}};
    QString out;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] != QLatin1Char('\\') || i + 1 == field.size()) {
            out += field[i];
            continue;
        }
        const QChar c = field[++i];
        if (c == QLatin1Char('u')) {
            out += QChar(field.mid(i + 1, 4).toUShort(nullptr, 16));
            i += 4;
        } else if (const auto control = kControls.find(c); control != kControls.end()) {
            out += control->second;
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

std::vector<tagChatCase> LoadChatCases(const QString& path) {
    std::vector<tagChatCase> cases;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return cases;
    }
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    for (int n = 0; n < lines.size(); ++n) {
        const QStringList fields = lines[n].split(QLatin1Char('\t'));
        if (fields.size() < 2 || lines[n].startsWith(QLatin1Char('#'))) {
            continue;
        }
        tagChatCase c;
        c.line = n + 1;
        c.keep = fields[0] == QLatin1String("keep");
        c.input = Unescaped(fields[1]);
        c.exact = fields.size() > 2;
        c.expected = c.exact ? Unescaped(fields[2]) : QString();
        cases.push_back(c);
    }
    return cases;
}

QStringList ChatMarkupProblems(const QString& html, const QString& folder) {
    static const QRegularExpression kTag(
        QStringLiteral("<(/?)([a-z][a-z0-9]*)((?: [a-z][a-z-]*=\"[^\"<>]*\")*)>"));
    static const QRegularExpression kAttribute(QStringLiteral(" ([a-z][a-z-]*)=\"([^\"<>]*)\""));
    static const QRegularExpression kOwnPicture(
        QStringLiteral("^(face|stamp|gift|enter)/([0-9]/)?[A-Za-z0-9_]+\\.(gif|bmp|png|jpg)$"),
        QRegularExpression::CaseInsensitiveOption);
    static const char* const kFetchesOrRuns[] = {
        "javascript:", "vbscript:", "livescript:", "data:", "http:",      "https:",
        "ftp:",        "file:",     "//",          "url(",  "expression", "@import",
        "behavior",    "binding",   "\\",          "("};

    QStringList problems;
    std::vector<QString> open;
    int tags = 0;
    int tables = 0;
    int deepest = 0;
    int deepestTables = 0;
    int characters = 0;
    for (qsizetype i = 0; i < html.size();) {
        const QChar c = html[i];
        if (c != QLatin1Char('<')) {
            // A character reference is one character.
            const qsizetype semicolon =
                c == QLatin1Char('&') ? html.indexOf(QLatin1Char(';'), i) : -1;
            characters += c.isLowSurrogate() ? 0 : 1;
            if (semicolon > i && semicolon - i <= 10) {
                i = semicolon + 1;
                continue;
            }
            if (c == QLatin1Char('>')) {
                problems << QStringLiteral("a bare '>' in text at %1").arg(i);
            } else if (IsHidden(c.unicode())) {
                problems
                    << QStringLiteral("hidden character U+%1").arg(c.unicode(), 4, 16, QChar('0'));
            }
            ++i;
            continue;
        }
        const auto m = kTag.match(html, i, QRegularExpression::NormalMatch,
                                  QRegularExpression::AnchorAtOffsetMatchOption);
        if (!m.hasMatch()) {
            problems << QStringLiteral("markup that is not a whole tag at %1").arg(i);
            ++i;
            continue;
        }
        i = m.capturedEnd();
        const QString name = m.captured(2);
        if (!m.captured(1).isEmpty()) {
            if (open.empty() || open.back() != name) {
                problems << QStringLiteral("an unbalanced </%1>").arg(name);
            } else {
                open.pop_back();
                tables -= name == QLatin1String("table") ? 1 : 0;
            }
            continue;
        }
        ++tags;
        if (kForbiddenElements.contains(name)) {
            problems << QStringLiteral("a <%1> element").arg(name);
        }
        QSet<QString> seen;
        for (auto it = kAttribute.globalMatch(m.captured(3)); it.hasNext();) {
            const auto a = it.next();
            const QString attribute = a.captured(1);
            const QString value = Decoded(a.captured(2));
            const QString where = QStringLiteral("<%1 %2=\"%3\">").arg(name, attribute, value);
            if (seen.contains(attribute)) {
                problems << QStringLiteral("a second %1 in <%2>").arg(attribute, name);
            }
            seen.insert(attribute);
            if (attribute == QLatin1String("src")) {
                QString rest = value;
                for (const QString& prefix : {folder + "/img/", "file://" + folder + "/img/"}) {
                    if (value.startsWith(prefix)) {
                        rest = value.mid(prefix.size());
                    }
                }
                if (name != QLatin1String("img") || rest == value ||
                    !kOwnPicture.match(rest).hasMatch()) {
                    problems << QStringLiteral("a picture from elsewhere: ") + where;
                }
                continue;
            }
            if (attribute == QLatin1String("href")) {
                if (!value.isEmpty()) {
                    problems << QStringLiteral("a link that goes somewhere: ") + where;
                }
                continue;
            }
            if (kTextAttributes.contains(attribute)) {
                continue;
            }
            if (attribute != QLatin1String("style") && !kValueAttributes.contains(attribute)) {
                problems << QStringLiteral("an attribute the view may act on: ") + where;
                continue;
            }
            const QString flat = Squeezed(value);
            for (const char* bad : kFetchesOrRuns) {
                if (flat.contains(QLatin1String(bad))) {
                    problems << QStringLiteral("%1 in ").arg(QLatin1String(bad)) + where;
                }
            }
        }
        if (!IsVoid(name)) {
            open.push_back(name);
            tables += name == QLatin1String("table") ? 1 : 0;
            deepest = std::max(deepest, static_cast<int>(open.size()));
            deepestTables = std::max(deepestTables, tables);
        }
    }
    if (!open.empty()) {
        problems << QStringLiteral("an unclosed <%1>").arg(open.back());
    }
    // The sender's name link, written by the receiver, comes on top of the budget.
    using B = tagFragmentBudget;
    if (tags > B::kMaxTags + 1 || deepest > B::kMaxDepth + 1 || deepestTables > B::kMaxTableDepth ||
        characters > B::kMaxCharacters + 1 + 64) {
        problems << QStringLiteral(
                        "past the budget: %1 tags, %2 deep, tables %3 deep, %4 characters")
                        .arg(tags)
                        .arg(deepest)
                        .arg(deepestTables)
                        .arg(characters);
    }
    return problems;
}
