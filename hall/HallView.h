#pragma once
// What the hall window's logic asks of whatever draws it (the desktop window, the console
// client, or a test): lists to show, lines of text, the tray tip, the measure of drawn text and
// the screen. The view never holds hall state; it reports the user's actions back to the hall
// (CTavoClientDlg's public operations). Every operation is pure; a view that draws only part
// of the hall (the console client, tests) derives from CNullHallView.

#include <QString>

#include <vector>

// One line of a list: what it shows, its full text (shown on selection) and its data.
struct tagListEntry {
    QString shown;
    QString text;
    int data = 0;
};

// The marks of the room list's entries.
enum class EListMark { None, First, Second };

// The hall's web panels.
enum class EHallPanel { HallBottomAd, CaseList, UserHead };

class IHallView {
public:
    virtual ~IHallView() = default;

    // Area lists 0 and 1 are the hall's two main lists, 2 and 3 the further ones.
    virtual void SetAreaList(int list, const std::vector<tagListEntry>& entries) = 0;
    virtual void SetRoomList(const std::vector<tagListEntry>& entries) = 0;
    virtual void SetRoomMark(int index, EListMark mark) = 0;

    virtual void SetRoomNumberText(const QString& text) = 0;
    virtual QString RoomNumberText() const = 0;
    // The information line under the lists.
    virtual void SetInformation(const QString& text) = 0;
    // The hall's status window: shown with the text, hidden when it is empty.
    virtual void SetStatus(const QString& text) = 0;
    virtual void ShowHall(bool show) = 0;
    virtual void SetTitle(const QString& title) = 0;
    // The notification-area icon: added with its tip, removed with an empty one.
    virtual void SetTrayTip(const QString& tip) = 0;
    virtual void SetPanelAddress(EHallPanel panel, const QString& address) = 0;
    // The account changed (login, logout, presence lost): redraw what shows it.
    virtual void RefreshAccount() = 0;

    // The small waiting window that loads a directory list: shown with its title and status,
    // hidden when visible is false.
    virtual void ShowListWait(bool visible, const QString& title, const QString& status) = 0;

    // The drawn width of a text in the room list's font, and the room column's width.
    virtual int TextWidth(const QString& text) const = 0;
    virtual int RoomColumnWidth() const = 0;

    // The part of the screen windows may use, in the units windows are laid out in (a scaled
    // desktop has fewer of them than pixels).
    virtual int ScreenWidth() const = 0;
    virtual int ScreenHeight() const = 0;
};

// A hall drawn nowhere. The room-number box keeps what is put in it, texts take no room (so
// nothing is cut to fit), and the screen is large enough for the start-up check.
class CNullHallView : public IHallView {
public:
    void SetAreaList(int list, const std::vector<tagListEntry>& entries) override {}
    void SetRoomList(const std::vector<tagListEntry>& entries) override {}
    void SetRoomMark(int index, EListMark mark) override {}
    void SetRoomNumberText(const QString& text) override { m_roomNumber = text; }
    QString RoomNumberText() const override { return m_roomNumber; }
    void SetInformation(const QString& text) override {}
    void SetStatus(const QString& text) override {}
    void ShowHall(bool show) override {}
    void SetTitle(const QString& title) override {}
    void SetTrayTip(const QString& tip) override {}
    void SetPanelAddress(EHallPanel panel, const QString& address) override {}
    void RefreshAccount() override {}
    void ShowListWait(bool visible, const QString& title, const QString& status) override {}
    int TextWidth(const QString& text) const override { return 0; }
    int RoomColumnWidth() const override { return 0; }
    int ScreenWidth() const override { return 1920; }
    int ScreenHeight() const override { return 1080; }

private:
    QString m_roomNumber;
};
