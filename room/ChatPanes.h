#pragma once
// The two chat views of the room window and how lines reach them: the public view and the
// private view, the split ("分屏") or merged ("合屏") layout, the scroll setting, and the
// system lines every room feature writes.

#include <QString>

class IChatView;

// How a view behaves when a line is appended.
enum class EScrollMode { AutoClear, AutoScroll, Manual };

// Suffix kinds of a system line.
enum ESuffix : int { SUFFIX_NONE = 0, SUFFIX_SUCCESS = 1, SUFFIX_FAILURE = 2, SUFFIX_WAIT = 3 };

struct tagLineFonts {
    QString name = QStringLiteral("color=#0000ff");           // the name parts of chat lines
    QString publicSystem = QStringLiteral("color=#ff0000");   // public system lines
    QString privateSystem = QStringLiteral("color=#008000");  // private system lines
};

class CChatPanes {
public:
    static constexpr int kAutoClearLines = 500;

    void SetViews(IChatView* publicView, IChatView* privateView);
    bool HasViews() const { return m_public && m_private; }
    void SetFonts(const tagLineFonts& fonts) { m_fonts = fonts; }
    const tagLineFonts& Fonts() const { return m_fonts; }

    // Loads the pages for the current layout.
    void LoadPages();
    // Split: the private view beside "pub.htm"; merged: "big_pub.htm" alone.
    void SetPrivatePanelVisible(bool visible);
    bool PrivatePanelVisible() const { return m_privateVisible; }
    void SetScrollMode(EScrollMode mode) { m_scroll = mode; }
    EScrollMode ScrollMode() const { return m_scroll; }
    void ClearPublic();
    void ClearPrivate();

    // Appends a fragment: public lines to the public view, private lines to the private view
    // when its panel is visible, else to the public view. False when the page took nothing.
    bool Append(const QString& fragment, bool publicLine);
    // A system line: the text, its suffix, titled "系统消息:" when public and "系统提示:"
    // otherwise (a non-empty title replaces the default).
    void SystemLine(const QString& text, int suffix = SUFFIX_NONE, bool publicLine = false,
                    const QString& title = QString());

    // The system line's fragment, without writing it.
    QString FormatSystemLine(const QString& text, int suffix, bool publicLine,
                             const QString& title) const;

private:
    IChatView* m_public = nullptr;
    IChatView* m_private = nullptr;
    bool m_privateVisible = true;
    EScrollMode m_scroll = EScrollMode::AutoScroll;
    tagLineFonts m_fonts;
    int m_publicLines = 0;
    int m_privateLines = 0;
};
