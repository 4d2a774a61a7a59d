#include "room/ChatSanitizer.h"

#include <QByteArray>
#include <QRegularExpression>

#include <gumbo.h>

#include <cstring>
#include <string>
#include <string_view>

namespace {

// Elements dropped together with everything inside them.
bool DropsWithContent(GumboTag tag) {
    switch (tag) {
        case GUMBO_TAG_SCRIPT:
        case GUMBO_TAG_STYLE:
        case GUMBO_TAG_IFRAME:
        case GUMBO_TAG_OBJECT:
        case GUMBO_TAG_EMBED:
        case GUMBO_TAG_APPLET:
        case GUMBO_TAG_FRAME:
        case GUMBO_TAG_FRAMESET:
        case GUMBO_TAG_NOFRAMES:
        case GUMBO_TAG_NOSCRIPT:
        case GUMBO_TAG_NOEMBED:
        case GUMBO_TAG_TEMPLATE:
        case GUMBO_TAG_TEXTAREA:
        case GUMBO_TAG_SELECT:
        case GUMBO_TAG_TITLE:
        case GUMBO_TAG_SVG:
        case GUMBO_TAG_MATH:
        case GUMBO_TAG_XMP:
        case GUMBO_TAG_PLAINTEXT:
        case GUMBO_TAG_BASE:
        case GUMBO_TAG_LINK:
        case GUMBO_TAG_META:
        case GUMBO_TAG_FORM:
        case GUMBO_TAG_INPUT:
        case GUMBO_TAG_BUTTON:
        case GUMBO_TAG_VIDEO:
        case GUMBO_TAG_AUDIO:
        case GUMBO_TAG_SOURCE:
        case GUMBO_TAG_TRACK:
        case GUMBO_TAG_BGSOUND:
        case GUMBO_TAG_CANVAS:
        case GUMBO_TAG_PARAM:
        case GUMBO_TAG_ISINDEX:
        case GUMBO_TAG_KEYGEN:
        case GUMBO_TAG_UNKNOWN:
            return true;
        default:
            return false;
    }
}

// Elements a chat line may carry; any other keeps only its content.
bool Allowed(GumboTag tag) {
    switch (tag) {
        case GUMBO_TAG_A:
        case GUMBO_TAG_B:
        case GUMBO_TAG_I:
        case GUMBO_TAG_U:
        case GUMBO_TAG_S:
        case GUMBO_TAG_STRIKE:
        case GUMBO_TAG_EM:
        case GUMBO_TAG_STRONG:
        case GUMBO_TAG_FONT:
        case GUMBO_TAG_SPAN:
        case GUMBO_TAG_DIV:
        case GUMBO_TAG_P:
        case GUMBO_TAG_BR:
        case GUMBO_TAG_IMG:
        case GUMBO_TAG_TABLE:
        case GUMBO_TAG_TBODY:
        case GUMBO_TAG_THEAD:
        case GUMBO_TAG_TFOOT:
        case GUMBO_TAG_TR:
        case GUMBO_TAG_TD:
        case GUMBO_TAG_TH:
        case GUMBO_TAG_CENTER:
        case GUMBO_TAG_SUB:
        case GUMBO_TAG_SUP:
        case GUMBO_TAG_SMALL:
        case GUMBO_TAG_BIG:
        case GUMBO_TAG_HR:
        case GUMBO_TAG_UL:
        case GUMBO_TAG_OL:
        case GUMBO_TAG_LI:
        case GUMBO_TAG_PRE:
        case GUMBO_TAG_BLOCKQUOTE:
        case GUMBO_TAG_NOBR:
        case GUMBO_TAG_H1:
        case GUMBO_TAG_H2:
        case GUMBO_TAG_H3:
        case GUMBO_TAG_H4:
        case GUMBO_TAG_H5:
        case GUMBO_TAG_H6:
        case GUMBO_TAG_TT:
        case GUMBO_TAG_CODE:
        case GUMBO_TAG_CAPTION:
            return true;
        default:
            return false;
    }
}

bool AllowedAttribute(std::string_view name) {
    static constexpr std::string_view kNames[] = {
        "color", "face",  "size",    "style",   "id",     "tavoid",      "tavoname",    "href",
        "src",   "width", "height",  "border",  "align",  "valign",      "bgcolor",     "class",
        "title", "alt",   "colspan", "rowspan", "nowrap", "cellpadding", "cellspacing", "dir"};
    for (auto n : kNames) {
        if (n == name) {
            return true;
        }
    }
    return false;
}

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

// Style values may set colours and fonts, never fetch or run: no url(), expression(), imports,
// bindings, and no escapes that could spell them.
bool SafeStyle(std::string_view value) {
    std::string v;
    for (char c : Lower(value)) {
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r' && c != '\f') {
            v += c;
        }
    }
    for (const char* bad : {"url(", "expression", "@import", "behavior", "javascript", "vbscript",
                            "binding", "\\", "/*", "image(", "image-set("}) {
        if (v.find(bad) != std::string::npos) {
            return false;
        }
    }
    return true;
}

// A picture of our own picture folders, pointed at ours. Empty when the reference is not one.
QString LocalPicture(const QString& value, const QString& folder) {
    static const QRegularExpression re(
        QStringLiteral(
            "^(file:/*)?(.*[/\\\\])?img[/\\\\](face|stamp|gift|enter)[/\\\\]((?:[0-9][/\\\\])?"
            "[A-Za-z0-9_]{1,32}\\.(?:gif|bmp|png|jpg))$"),
        QRegularExpression::CaseInsensitiveOption);
    const QString v = value.trimmed();
    if (v.contains(QStringLiteral("..")) || v.contains(QLatin1Char('?')) ||
        v.contains(QLatin1Char('#'))) {
        return QString();
    }
    const auto m = re.match(v);
    if (!m.hasMatch()) {
        return QString();
    }
    // Anything before the folder that looks like a scheme other than file: goes elsewhere.
    const QString before = m.captured(2);
    if (m.captured(1).isEmpty() && before.contains(QLatin1Char(':')) &&
        !QRegularExpression(QStringLiteral("^[A-Za-z]:[/\\\\]")).match(before).hasMatch()) {
        return QString();
    }
    QString rest = m.captured(4);
    rest.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const QString prefix = m.captured(1).isEmpty() ? QString() : QStringLiteral("file://");
    return prefix + folder + QStringLiteral("/img/") + m.captured(3).toLower() + QLatin1Char('/') +
           rest;
}

class CWriter {
public:
    explicit CWriter(const QString& folder) : m_folder(folder) {}

    void Node(const GumboNode* node) {
        switch (node->type) {
            case GUMBO_NODE_DOCUMENT:
                Children(&node->v.document.children);
                break;
            case GUMBO_NODE_ELEMENT:
            case GUMBO_NODE_TEMPLATE:
                Element(&node->v.element);
                break;
            case GUMBO_NODE_TEXT:
            case GUMBO_NODE_WHITESPACE:
                Text(node->v.text);
                break;
            default:
                // Comments (and the conditional comments some engines run) and CDATA go.
                break;
        }
    }

    std::string out;

private:
    void Children(const GumboVector* children) {
        for (unsigned i = 0; i < children->length; ++i) {
            Node(static_cast<const GumboNode*>(children->data[i]));
        }
    }

    void Text(const GumboText& text) {
        const std::string_view original(text.original_text.data, text.original_text.length);
        // The source text is kept as written, character references included. When the parser
        // made a text node out of markup it did not take as a tag, the decoded text goes
        // instead, escaped.
        if (original.find('<') == std::string_view::npos) {
            for (char c : original) {
                out += c == '>' ? std::string("&gt;") : std::string(1, c);
            }
            return;
        }
        for (const char* c = text.text; *c; ++c) {
            switch (*c) {
                case '<':
                    out += "&lt;";
                    break;
                case '>':
                    out += "&gt;";
                    break;
                case '&':
                    out += "&amp;";
                    break;
                default:
                    out += *c;
            }
        }
    }

    void Element(const GumboElement* e) {
        if (DropsWithContent(e->tag)) {
            return;
        }
        const bool keep = Allowed(e->tag) && e->original_tag.length > 0;
        if (keep) {
            StartTag(e);
        }
        Children(&e->children);
        if (keep && e->original_end_tag.length > 0) {
            out.append(e->original_end_tag.data, e->original_end_tag.length);
        }
    }

    void StartTag(const GumboElement* e) {
        std::string rebuilt;
        bool changed = false;
        GumboStringPiece name = e->original_tag;
        gumbo_tag_from_original_text(&name);
        rebuilt += '<';
        rebuilt.append(name.data, name.length);
        for (unsigned i = 0; i < e->attributes.length; ++i) {
            const auto* a = static_cast<const GumboAttribute*>(e->attributes.data[i]);
            const std::string attr = Lower(a->name);
            if (attr.rfind("on", 0) == 0 || !AllowedAttribute(attr)) {
                changed = true;
                continue;
            }
            const std::string_view value(a->value);
            std::string replacement;
            bool keepAttr = true;
            if (attr == "style") {
                keepAttr = SafeStyle(value);
            } else if (attr == "href") {
                const std::string v = Lower(value);
                keepAttr = v.empty() || v[0] == '#';
            } else if (attr == "src") {
                const QString original =
                    QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()));
                const QString local = LocalPicture(original, m_folder);
                keepAttr = !local.isEmpty();
                if (keepAttr && local != original) {
                    replacement = local.toHtmlEscaped().toStdString();
                }
            }
            if (!keepAttr) {
                changed = true;
                continue;
            }
            rebuilt += ' ';
            rebuilt.append(a->original_name.data, a->original_name.length);
            if (!replacement.empty()) {
                changed = true;
                rebuilt += "=\"" + replacement + '"';
            } else if (a->original_value.length > 0) {
                rebuilt += '=';
                rebuilt.append(a->original_value.data, a->original_value.length);
            }
        }
        const std::string_view tag(e->original_tag.data, e->original_tag.length);
        if (tag.size() >= 2 && tag.substr(tag.size() - 2) == "/>") {
            rebuilt += '/';
        }
        rebuilt += '>';
        if (changed) {
            out += rebuilt;
        } else {
            out.append(tag);
        }
    }

    QString m_folder;
};

}  // namespace

QString SanitizeChatFragment(const QString& html, const QString& programFolder) {
    if (!html.contains(QLatin1Char('<')) && !html.contains(QLatin1Char('>'))) {
        return html;
    }
    const QByteArray utf8 = html.toUtf8();
    GumboOutput* doc = gumbo_parse_with_options(&kGumboDefaultOptions, utf8.constData(),
                                                static_cast<size_t>(utf8.size()));
    if (!doc) {
        return html.toHtmlEscaped();
    }
    CWriter writer(programFolder);
    writer.Node(doc->document);
    gumbo_destroy_output(&kGumboDefaultOptions, doc);
    return QString::fromUtf8(writer.out.data(), static_cast<qsizetype>(writer.out.size()));
}
