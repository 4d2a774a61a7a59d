#pragma once
// The console's views of the hall and the room: they print what the core tells them and keep
// what a command may ask for later (the lists, the members).

#include "app/cli/ConsoleOutput.h"
#include "app/cli/ConsoleVideo.h"
#include "hall/HallView.h"
#include "room/PrivateRoomView.h"
#include "room/RecordDlg.h"
#include "room/RoomView.h"

#include <array>
#include <memory>
#include <vector>

class CRoomVideo;

class CConsoleHallView : public CNullHallView {
public:
    explicit CConsoleHallView(CConsoleOutput& out) : m_out(out) {}

    void SetAreaList(int list, const std::vector<tagListEntry>& entries) override;
    void SetRoomList(const std::vector<tagListEntry>& entries) override;
    void SetInformation(const QString& text) override;
    void SetStatus(const QString& text) override;
    // A terminal column per character, wide characters two.
    int TextWidth(const QString& text) const override;
    int RoomColumnWidth() const override { return 40; }

    const std::vector<tagListEntry>& AreaList(int list) const {
        return m_areas.at(static_cast<size_t>(list));
    }
    const std::vector<tagListEntry>& RoomList() const { return m_rooms; }
    // How many room lists arrived so far: a list asked for is in once this moves.
    int RoomListsReceived() const { return m_roomLists; }

private:
    CConsoleOutput& m_out;
    std::array<std::vector<tagListEntry>, 4> m_areas;
    std::vector<tagListEntry> m_rooms;
    int m_roomLists = 0;
    QString m_status;
};

class CConsoleChatView : public CNullChatView {
public:
    CConsoleChatView(CConsoleOutput& out, QString tag) : m_out(out), m_tag(std::move(tag)) {}
    bool InsertAtFirstTd(const QString& fragment) override;

private:
    CConsoleOutput& m_out;
    QString m_tag;
};

class CConsoleRoomView : public CNullRoomView {
public:
    explicit CConsoleRoomView(CConsoleOutput& out) : m_out(out) {}
    void ShowRoomWindow(bool show) override;
    void SetRoomName(const QString& name) override;
    void RedrawMembers(const CMemberList& members, const QString& countText) override;
    void SetMicMode(const QString& text) override;
    void SetMainMic(const QString& holder, const QString& time) override;
    void SetSecondMic(const QString& holder, const QString& time) override;
    void SetTopic(const QString& title, const QString& topic) override;
    void SetTimedNotices(const QStringList& notices) override;
    void ShowTextNotice(const QString& text) override;
    IVideoSurface* VideoSurface(int window) override;
    void ShowVideoPopOut(int window, bool shown) override;
    void SetOwnVideo(bool open) override;

    // Prints the members, owner and managers first.
    void PrintMembers() const;
    // The identifiers and nicknames of the room's members, for completion.
    QStringList MemberWords() const;
    // The room's video, whose frame numbers name the saved pictures.
    void SetVideo(CRoomVideo* video);
    // Saves every decoded picture of the three received windows into the folder.
    void SaveFrames(const QString& folder);
    const CConsoleVideoSurface* Surface(int window) const;

private:
    CConsoleOutput& m_out;
    std::array<std::unique_ptr<CConsoleVideoSurface>, 4> m_video;
    const CMemberList* m_members = nullptr;
    QString m_count;
    QString m_mainHolder;
    QString m_secondHolder;
};

// The recorder's button texts, its "send" box and its end, as lines.
class CConsoleRecordView : public IRecordView {
public:
    explicit CConsoleRecordView(CConsoleOutput& out) : m_out(out) {}
    void SetToggleText(const QString& text) override;
    void SetSendChecked(bool checked) override;
    void EnableControls(bool enable) override;

private:
    CConsoleOutput& m_out;
};

// The private room: its window, its title and its menus' marks.
class CConsolePrivateRoomView : public CNullPrivateRoomView {
public:
    explicit CConsolePrivateRoomView(CConsoleOutput& out);
    void ShowPrivateWindow(bool show) override;
    void SetTitle(const QString& title) override;
    void SetQualityMark(int menuItem) override;
    void SetBandwidth(int mode) override;
    // The peer's pictures are told as "video 10", the own preview as "video 11".
    IVideoSurface* VideoSurface(int area) override;
    int Drawn(int area) const;
    // "file sending NAME 30%": a line per tenth of the file at most.
    void ShowFileProgress(const QString& name, bool sending, int percent) override;

private:
    CConsoleOutput& m_out;
    int m_fileTenth[2] = {-1, -1};  // receiving, sending
    CConsoleVideoSurface m_peer;
    CConsoleVideoSurface m_own;
};
