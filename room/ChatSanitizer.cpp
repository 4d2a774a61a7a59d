#include "room/ChatSanitizer.h"

#include <QByteArray>
#include <QRegularExpression>

#include <gumbo.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

bool IsVoid(GumboTag tag) {
    return tag == GUMBO_TAG_BR || tag == GUMBO_TAG_IMG || tag == GUMBO_TAG_HR;
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsAlpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsHex(char c) {
    return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
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

std::string_view Trimmed(std::string_view s) {
    while (!s.empty() && IsSpace(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && IsSpace(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

bool OneOf(std::string_view value, std::initializer_list<std::string_view> words) {
    for (std::string_view w : words) {
        if (value == w) {
            return true;
        }
    }
    return false;
}

// Control characters, and the direction overrides that would let a line show its text in an
// order other than the one it was written in.
size_t HiddenCharacterLength(std::string_view s, size_t i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if ((c < 0x20 && c != '\t' && c != '\n') || c == 0x7F) {
        return 1;
    }
    if (c == 0xE2 && i + 2 < s.size()) {
        const auto b = static_cast<unsigned char>(s[i + 1]);
        const auto d = static_cast<unsigned char>(s[i + 2]);
        if ((b == 0x80 && d >= 0xAA && d <= 0xAE) || (b == 0x81 && d >= 0xA6 && d <= 0xA9)) {
            return 3;
        }
    }
    return 0;
}

std::string WithoutHidden(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        if (const size_t skip = HiddenCharacterLength(s, i)) {
            i += skip;
            continue;
        }
        out += s[i++];
    }
    return out;
}

// An unsigned number of at most four digits, or -1.
int Number(std::string_view v) {
    if (v.empty() || v.size() > 4) {
        return -1;
    }
    int n = 0;
    for (char c : v) {
        if (!IsDigit(c)) {
            return -1;
        }
        n = n * 10 + (c - '0');
    }
    return n;
}

bool NumberIn(std::string_view v, int low, int high) {
    const int n = Number(v);
    return n >= low && n <= high;
}

// "#rgb", "#rrggbb", "rrggbb" (the rooms' own pages write colours without the hash) or a
// colour's name.
bool IsColor(std::string_view v) {
    std::string_view hex = v;
    const bool hash = !hex.empty() && hex.front() == '#';
    if (hash) {
        hex.remove_prefix(1);
    }
    bool allHex = !hex.empty();
    for (char c : hex) {
        allHex = allHex && IsHex(c);
    }
    if (allHex && (hex.size() == 6 || (hash && hex.size() == 3))) {
        return true;
    }
    if (hash || v.size() < 3 || v.size() > 20) {
        return false;
    }
    for (char c : v) {
        if (!IsAlpha(c)) {
            return false;
        }
    }
    return true;
}

// Font names: letters of any script, digits, blanks, hyphens, commas and quotes.
bool IsFontList(std::string_view v) {
    if (v.empty() || v.size() > 128) {
        return false;
    }
    for (char c : v) {
        const auto u = static_cast<unsigned char>(c);
        const bool punctuation =
            c == ' ' || c == '-' || c == '_' || c == ',' || c == '\'' || c == '"';
        if (u < 0x80 && !IsAlpha(c) && !IsDigit(c) && !punctuation) {
            return false;
        }
    }
    return true;
}

// A size the view can draw without rasterising glyphs larger than a screen.
bool IsFontSize(std::string_view v) {
    const std::string lower = Lower(v);
    if (OneOf(lower, {"xx-small", "x-small", "small", "medium", "large", "x-large", "xx-large",
                      "smaller", "larger"})) {
        return true;
    }
    size_t i = 0;
    while (i < lower.size() && IsDigit(lower[i])) {
        ++i;
    }
    const std::string_view whole = std::string_view(lower).substr(0, i);
    if (i < lower.size() && lower[i] == '.') {
        const size_t fraction = ++i;
        while (i < lower.size() && IsDigit(lower[i])) {
            ++i;
        }
        if (i == fraction || i - fraction > 2) {
            return false;
        }
    }
    const int size = Number(whole);
    const std::string_view unit = std::string_view(lower).substr(i);
    return size >= 0 && ((unit == "pt" && size <= 72) || (unit == "px" && size <= 96) ||
                         (unit == "em" && size <= 6) || (unit == "%" && size <= 600));
}

bool StyleValueAllowed(std::string_view property, std::string_view value) {
    const std::string v = Lower(value);
    if (property == "color" || property == "background-color") {
        return IsColor(value);
    }
    if (property == "font-family") {
        return IsFontList(value);
    }
    if (property == "font-size") {
        return IsFontSize(value);
    }
    if (property == "font-weight") {
        return OneOf(v, {"normal", "bold", "bolder", "lighter", "100", "200", "300", "400", "500",
                         "600", "700", "800", "900"});
    }
    if (property == "font-style") {
        return OneOf(v, {"normal", "italic", "oblique"});
    }
    if (property == "text-decoration") {
        size_t start = 0;
        bool any = false;
        while (start < v.size()) {
            size_t end = v.find(' ', start);
            end = end == std::string::npos ? v.size() : end;
            const std::string_view word = std::string_view(v).substr(start, end - start);
            if (!word.empty()) {
                if (!OneOf(word, {"none", "underline", "overline", "line-through"})) {
                    return false;
                }
                any = true;
            }
            start = end + 1;
        }
        return any;
    }
    if (property == "text-align") {
        return OneOf(v, {"left", "right", "center", "justify"});
    }
    if (property == "vertical-align") {
        return OneOf(v, {"baseline", "sub", "super", "middle", "top", "bottom"});
    }
    return false;
}

// The declarations a style may make (colours, fonts, text decoration and alignment), each
// written anew; empty when none is left.
std::string CleanStyle(std::string_view style) {
    std::string out;
    size_t start = 0;
    while (start <= style.size()) {
        size_t end = style.find(';', start);
        end = end == std::string_view::npos ? style.size() : end;
        const std::string_view declaration = style.substr(start, end - start);
        start = end + 1;
        const size_t colon = declaration.find(':');
        if (colon == std::string_view::npos) {
            continue;
        }
        const std::string property = Lower(Trimmed(declaration.substr(0, colon)));
        const std::string_view value = Trimmed(declaration.substr(colon + 1));
        if (StyleValueAllowed(property, value)) {
            out += property;
            out += ':';
            out += value;
            out += ';';
        }
    }
    return out;
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

// The value an element keeps for an attribute, or nothing when the attribute goes.
std::optional<std::string> CleanAttribute(GumboTag tag, std::string_view name, std::string_view raw,
                                          const QString& folder) {
    const std::string value = WithoutHidden(Trimmed(raw));
    const std::string lower = Lower(value);
    auto keepIf = [&](bool ok, const std::string& kept) {
        return ok ? std::optional<std::string>(kept) : std::nullopt;
    };
    if (name == "color" || name == "bgcolor") {
        return keepIf(IsColor(value), value);
    }
    if (name == "face") {
        return keepIf(IsFontList(value), value);
    }
    if (name == "size") {
        const std::string_view digits = !lower.empty() && (lower[0] == '+' || lower[0] == '-')
                                            ? std::string_view(lower).substr(1)
                                            : std::string_view(lower);
        return keepIf(NumberIn(digits, 1, 7), lower);
    }
    if (name == "style") {
        std::string style = CleanStyle(value);
        return keepIf(!style.empty(), style);
    }
    if (name == "id" || name == "class") {
        bool ok = !value.empty() && value.size() <= 32;
        for (char c : value) {
            ok = ok && (IsAlpha(c) || IsDigit(c) || c == '_' || c == '-');
        }
        return keepIf(ok, value);
    }
    if (name == "tavoid" || name == "tavoname") {
        return keepIf(value.size() <= 64, value);
    }
    if (name == "title" || name == "alt") {
        return keepIf(value.size() <= 128, value);
    }
    if (name == "href") {
        // Only the name links' empty reference: a chat line sends nobody anywhere.
        return keepIf(tag == GUMBO_TAG_A && value.empty(), value);
    }
    if (name == "src") {
        if (tag != GUMBO_TAG_IMG) {
            return std::nullopt;
        }
        const QString local = LocalPicture(
            QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size())), folder);
        return keepIf(!local.isEmpty(), local.toStdString());
    }
    if (name == "width" || name == "height") {
        if (!lower.empty() && lower.back() == '%') {
            return keepIf(NumberIn(std::string_view(lower).substr(0, lower.size() - 1), 1, 100),
                          lower);
        }
        return keepIf(NumberIn(lower, 0, 512), lower);
    }
    if (name == "border" || name == "cellpadding" || name == "cellspacing") {
        return keepIf(NumberIn(lower, 0, 16), lower);
    }
    if (name == "colspan" || name == "rowspan") {
        return keepIf(NumberIn(lower, 1, 8), lower);
    }
    if (name == "align") {
        return keepIf(OneOf(lower, {"left", "right", "center", "justify", "middle", "top", "bottom",
                                    "absmiddle", "baseline"}),
                      lower);
    }
    if (name == "valign") {
        return keepIf(OneOf(lower, {"top", "middle", "bottom", "baseline"}), lower);
    }
    if (name == "nowrap") {
        return std::string();
    }
    if (name == "dir") {
        return keepIf(OneOf(lower, {"ltr", "rtl"}), lower);
    }
    return std::nullopt;
}

// Attribute values are written with every character that means something to the markup, or
// to the face and stamp tokens converted after cleaning ("|#01"), as a reference.
void AppendEscapedValue(std::string& out, std::string_view value) {
    for (char c : value) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '|':
                out += "&#124;";
                break;
            default:
                out += c;
        }
    }
}

const GumboAttribute* FindAttribute(const GumboElement& e, std::string_view name) {
    for (unsigned i = 0; i < e.attributes.length; ++i) {
        const auto* a = static_cast<const GumboAttribute*>(e.attributes.data[i]);
        if (Lower(a->name) == name) {
            return a;
        }
    }
    return nullptr;
}

// The clickable name of a member in a chat line.
bool IsMemberLink(const GumboElement& e) {
    if (e.tag != GUMBO_TAG_A) {
        return false;
    }
    const GumboAttribute* id = FindAttribute(e, "id");
    return (id && Lower(Trimmed(id->value)) == "talkobject") || FindAttribute(e, "tavoid") ||
           FindAttribute(e, "tavoname");
}

class CWriter {
public:
    CWriter(const QString& folder, const QString* speakerLink)
        : m_folder(folder), m_speakerLink(speakerLink) {}

    // Walks the tree with a stack of its own: nesting is the one thing a hostile line has
    // plenty of.
    void Walk(const GumboNode* root) {
        Enter(root);
        while (!m_open.empty()) {
            const size_t top = m_open.size() - 1;
            const GumboVector* children = Children(m_open[top].node);
            if (m_open[top].next < children->length) {
                Enter(static_cast<const GumboNode*>(children->data[m_open[top].next++]));
                continue;
            }
            if (m_open[top].kept) {
                const GumboTag tag = m_open[top].node->v.element.tag;
                out += "</";
                out += gumbo_normalized_tagname(tag);
                out += '>';
                m_kept.pop_back();
                m_tables -= tag == GUMBO_TAG_TABLE ? 1 : 0;
            }
            m_open.pop_back();
        }
    }

    void Text(std::string_view text) {
        for (size_t i = 0; i < text.size() && m_characters <= tagFragmentBudget::kMaxCharacters;) {
            if (const size_t skip = HiddenCharacterLength(text, i)) {
                i += skip;
                continue;
            }
            const char c = text[i++];
            // Counted once per character: UTF-8 continuation bytes belong to the one before.
            if ((static_cast<unsigned char>(c) & 0xC0) != 0x80 &&
                ++m_characters > tagFragmentBudget::kMaxCharacters) {
                out += "\u2026";
                break;
            }
            switch (c) {
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
                    out += c;
            }
            m_visible = m_visible || !IsSpace(c);
        }
    }

    std::string out;
    bool speakerShown = false;

private:
    struct tagOpen {
        const GumboNode* node;
        unsigned next;
        bool kept;
    };

    static const GumboVector* Children(const GumboNode* node) {
        return node->type == GUMBO_NODE_DOCUMENT ? &node->v.document.children
                                                 : &node->v.element.children;
    }

    void Enter(const GumboNode* node) {
        switch (node->type) {
            case GUMBO_NODE_DOCUMENT:
                m_open.push_back({node, 0, false});
                break;
            case GUMBO_NODE_ELEMENT:
            case GUMBO_NODE_TEMPLATE:
                Element(node);
                break;
            case GUMBO_NODE_TEXT:
            case GUMBO_NODE_WHITESPACE:
                Text(node->v.text.text);
                break;
            default:
                // Comments (and the conditional comments some engines run) and CDATA go.
                break;
        }
    }

    void Element(const GumboNode* node) {
        const GumboElement& e = node->v.element;
        if (DropsWithContent(e.tag) || e.tag_namespace != GUMBO_NAMESPACE_HTML) {
            return;
        }
        if (m_speakerLink && IsMemberLink(e)) {
            if (!speakerShown && !m_visible) {
                // The line opens with a name: it is the sender's, whatever the line claims.
                out += m_speakerLink->toStdString();
                speakerShown = true;
                m_visible = true;
            } else {
                m_open.push_back({node, 0, false});
            }
            return;
        }
        const bool keep = Allowed(e.tag) && Fits(e.tag);
        if (keep) {
            StartTag(e);
        }
        if (IsVoid(e.tag)) {
            return;
        }
        if (keep) {
            m_kept.push_back(e.tag);
            m_tables += e.tag == GUMBO_TAG_TABLE ? 1 : 0;
        }
        m_open.push_back({node, 0, keep});
    }

    // Whether the budget has room for the element, and a table part sits in its table.
    bool Fits(GumboTag tag) const {
        using B = tagFragmentBudget;
        if (m_tags >= B::kMaxTags || static_cast<int>(m_kept.size()) >= B::kMaxDepth) {
            return false;
        }
        const GumboTag parent = m_kept.empty() ? GUMBO_TAG_UNKNOWN : m_kept.back();
        switch (tag) {
            case GUMBO_TAG_TABLE:
                // A table needs room for its body, a row and a cell as well.
                return m_tables < B::kMaxTableDepth && m_tags + 4 <= B::kMaxTags &&
                       static_cast<int>(m_kept.size()) + 4 <= B::kMaxDepth;
            case GUMBO_TAG_TBODY:
            case GUMBO_TAG_THEAD:
            case GUMBO_TAG_TFOOT:
            case GUMBO_TAG_CAPTION:
                return parent == GUMBO_TAG_TABLE;
            case GUMBO_TAG_TR:
                return parent == GUMBO_TAG_TABLE || parent == GUMBO_TAG_TBODY ||
                       parent == GUMBO_TAG_THEAD || parent == GUMBO_TAG_TFOOT;
            case GUMBO_TAG_TD:
            case GUMBO_TAG_TH:
                return parent == GUMBO_TAG_TR;
            default:
                return true;
        }
    }

    void StartTag(const GumboElement& e) {
        ++m_tags;
        out += '<';
        out += gumbo_normalized_tagname(e.tag);
        std::vector<std::string> written;
        for (unsigned i = 0; i < e.attributes.length; ++i) {
            const auto* a = static_cast<const GumboAttribute*>(e.attributes.data[i]);
            const std::string name = Lower(a->name);
            bool seen = false;
            for (const std::string& w : written) {
                seen = seen || w == name;
            }
            if (seen) {
                continue;
            }
            const std::optional<std::string> value =
                CleanAttribute(e.tag, name, a->value, m_folder);
            if (!value) {
                continue;
            }
            written.push_back(name);
            out += ' ';
            out += name;
            out += "=\"";
            AppendEscapedValue(out, *value);
            out += '"';
        }
        out += '>';
    }

    QString m_folder;
    const QString* m_speakerLink;
    std::vector<tagOpen> m_open;
    std::vector<GumboTag> m_kept;  // the kept elements open around the current node
    int m_tags = 0;
    int m_tables = 0;
    int m_characters = 0;
    bool m_visible = false;  // text was shown
};

tagCleanLine Clean(const QString& html, const QString& folder, const QString* speakerLink) {
    QByteArray markup = html.toUtf8();
    QByteArray rest;
    if (markup.size() > tagFragmentBudget::kMaxMarkupBytes) {
        qsizetype cut = tagFragmentBudget::kMaxMarkupBytes;
        while (cut > 0 && (static_cast<unsigned char>(markup[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        rest = markup.mid(cut);
        markup.truncate(cut);
    }
    GumboOptions options = kGumboDefaultOptions;
    // Nobody reads the parse errors; a line full of them would only fill memory.
    options.max_errors = 0;
    GumboOutput* doc =
        gumbo_parse_with_options(&options, markup.constData(), static_cast<size_t>(markup.size()));
    if (!doc) {
        return {html.toHtmlEscaped(), false};
    }
    CWriter writer(folder, speakerLink);
    writer.Walk(doc->document);
    gumbo_destroy_output(&options, doc);
    writer.Text(std::string_view(rest.constData(), static_cast<size_t>(rest.size())));
    return {QString::fromUtf8(writer.out.data(), static_cast<qsizetype>(writer.out.size())),
            writer.speakerShown};
}

}  // namespace

QString SanitizeChatFragment(const QString& html, const QString& programFolder) {
    return Clean(html, programFolder, nullptr).html;
}

tagCleanLine SanitizeChatLine(const QString& html, const QString& programFolder,
                              const QString& speakerLink) {
    return Clean(html, programFolder, &speakerLink);
}
