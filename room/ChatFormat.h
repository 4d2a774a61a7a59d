#pragma once
// The chat line formats: the user's text style, the headers of public and private lines, face
// and stamp tokens and their pictures, and the forbidden-text lists. Pure text work, shared by
// the sender, the receiver and the dialogs that check nicknames and topics.

#include <QString>
#include <QStringList>

#include <cstdint>

struct tagTextStyle {
    QString font = QStringLiteral("宋体");
    QString size = QStringLiteral("10");
    QString color = QStringLiteral("#000000");
    bool bold = false;
    bool italic = false;
    bool underline = false;
};

// ` style="font-family:'%s';font-size:%spt;color:%s;%s%s%s"`, with its leading blank.
QString StyleAttribute(const tagTextStyle& style);
// "<" to "&lt;" and ">" to "&gt;".
QString EscapeAngles(const QString& text);

// Faces "|#NN" (edition 70 also "|#SNN") and stamps "|@N" after the third lose their marker.
QString LimitTokens(const QString& text, int edition, int keep = 3);
int CountFaceTokens(const QString& text, int edition);

struct tagFaceRules {
    bool permitted = true;
    int faceCount = 0;
    QString folder;  // the program's folder
    int edition = 0;
};
QString ConvertFaces(const QString& text, const tagFaceRules& rules);

// The clickable name of a member in a chat line: the link alone, and the link in its font.
QString MemberLink(const QString& id, const QString& nickname, const QString& shown);
QString NamePart(const QString& font, const QString& id, const QString& nickname,
                 const QString& shown);
QString StampPicture(const QString& folder, int stamp);
// "%02d:%02d:%02d" in local time.
QString TimeOfDay(int64_t unixMs);

struct tagParty {
    QString id;
    QString nickname;
    int stamp = 0;  // 0: none
};
struct tagHeaderStyle {
    QString nameFont;
    QString folder;
    bool stamps = false;
    QString time;  // empty: no time shown
};
QString PublicHeader(const tagHeaderStyle& s, const tagParty& sender);
// The private line on the sender's screen: "你悄悄地对" target "说:".
QString OwnPrivateHeader(const tagHeaderStyle& s, const tagParty& target);
// The private line on the target's screen: sender "悄悄地对你说:".
QString TargetPrivateHeader(const tagHeaderStyle& s, const tagParty& sender);
// "%s<font %s>%s</font><br>" from a header, a style attribute and the text.
QString ChatLine(const QString& header, const QString& style, const QString& text);

// The two forbidden-text lists, filled once per process from the room settings.
class CForbiddenText {
public:
    enum EKind : int { NICKNAMES = 1, TEXTS = 2, BOTH = 3 };
    static CForbiddenText& Get();

    // Fills each list that is still empty from its comma-separated text.
    void Fill(const QString& nicknames, const QString& texts);
    // The first listed string a lower-case copy of the text contains; empty when none.
    QString Find(const QString& text, int kind) const;
    // Find, and on a hit a message box naming it (angle brackets in full width). True when
    // the text is clean.
    bool Check(const QString& text, int kind) const;
    void ResetForTests();

private:
    QStringList m_nicknames;
    QStringList m_texts;
    bool m_nicknamesFilled = false;
    bool m_textsFilled = false;
};

// A chat fragment as plain text: markup removed, faces and stamps as their tokens ("|#01",
// "|@3"), entities decoded, white space folded.
QString PlainChatText(const QString& fragment);
