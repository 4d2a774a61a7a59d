#pragma once
// The console's views of the hall and the room: they print what the core tells them and keep
// what a command may ask for later (the lists, the members).

#include "app/cli/ConsoleOutput.h"
#include "hall/HallView.h"
#include "room/RoomView.h"

#include <array>
#include <vector>

class CConsoleHallView : public IHallView {
public:
    explicit CConsoleHallView(CConsoleOutput& out) : m_out(out) {}

    void SetAreaList(int list, const std::vector<tagListEntry>& entries) override;
    void SetRoomList(const std::vector<tagListEntry>& entries) override;
    void SetRoomMark(int index, EListMark mark) override {}
    void SetRoomNumberText(const QString& text) override { m_roomNumber = text; }
    QString RoomNumberText() const override { return m_roomNumber; }
    void SetInformation(const QString& text) override;
    void SetStatus(const QString& text) override;
    void ShowHall(bool show) override {}
    void SetTitle(const QString& title) override {}
    void SetTrayTip(const QString& tip) override {}
    void SetPanelAddress(EHallPanel panel, const QString& address) override {}
    void RefreshAccount() override {}
    void ShowListWait(bool visible, const QString& title, const QString& status) override {}
    // A terminal column per character, wide characters two.
    int TextWidth(const QString& text) const override;
    int RoomColumnWidth() const override { return 40; }
    // The console has no screen to check.
    int ScreenWidth() const override { return 1920; }
    int ScreenHeight() const override { return 1080; }
    bool ChangeDisplayMode(int width, int height) override { return false; }
    void RestoreDisplayMode() override {}

    const std::vector<tagListEntry>& AreaList(int list) const { return m_areas.at(static_cast<size_t>(list)); }
    const std::vector<tagListEntry>& RoomList() const { return m_rooms; }

private:
    CConsoleOutput& m_out;
    std::array<std::vector<tagListEntry>, 4> m_areas;
    std::vector<tagListEntry> m_rooms;
    QString m_roomNumber;
    QString m_status;
};

class CConsoleChatView : public IChatView {
public:
    CConsoleChatView(CConsoleOutput& out, QString tag) : m_out(out), m_tag(std::move(tag)) {}
    void LoadPage(const QString& page) override {}
    bool InsertAtFirstTd(const QString& fragment) override;
    void Clear() override {}

private:
    CConsoleOutput& m_out;
    QString m_tag;
};

class CConsoleRoomView : public IRoomView {
public:
    explicit CConsoleRoomView(CConsoleOutput& out) : m_out(out) {}
    void ShowRoomWindow(bool show) override;
    void SetRoomName(const QString& name) override;
    void RedrawMembers(const CMemberList& members, const QString& countText) override;
    void SetChatTargetLabel(const QString& text) override {}
    void SetMicMode(const QString& text) override;
    void SetMainMic(const QString& holder, const QString& time) override;
    void SetSecondMic(const QString& holder, const QString& time) override;
    void SetTopic(const QString& title, const QString& topic) override;
    void SetTimedNotices(const QStringList& notices) override;
    void ShowTextNotice(const QString& text) override;

    // Prints the members, owner and managers first.
    void PrintMembers() const;

private:
    CConsoleOutput& m_out;
    const CMemberList* m_members = nullptr;
    QString m_count;
    QString m_mainHolder;
    QString m_secondHolder;
};
