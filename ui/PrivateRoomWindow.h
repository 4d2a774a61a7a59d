#pragma once
// The private room's window: the peer's picture and the own one, the chat with its input, the
// speak button, the music, quality and bandwidth menus, the file-offer button and leaving. It
// draws what the private room tells it and hands every action to the private room.

#include "room/PrivateRoomView.h"

#include <QWidget>

#include <functional>
#include <memory>

class CChatBrowser;
class CPrivateRoomDlg;
class CRoomChatView;
class CVideoPicture;
class IChatView;
class QAction;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;

class CPrivateRoomWindow : public QWidget, public IPrivateRoomView {
public:
    CPrivateRoomWindow(CPrivateRoomDlg& room, const QString& programFolder,
                       QWidget* parent = nullptr);
    ~CPrivateRoomWindow() override;

    IChatView* ChatView();
    // The recording menu's entries, made each time it opens.
    void SetRecordMenu(std::function<void(QMenu*)> entries) {
        m_recordEntries = std::move(entries);
    }
    QMenu* RecordMenu() const { return m_recordMenu; }

    // IPrivateRoomView
    void ShowPrivateWindow(bool show) override;
    void SetTitle(const QString& title) override;
    void SetQualityMark(int menuItem) override;
    void SetBandwidth(int mode) override;
    void SetMusic(bool playing) override;
    void SetSpeakButton(bool pressed) override;
    void SetMeter(int value) override;
    void ShowMicVolume(int volume) override {}
    IVideoSurface* VideoSurface(int area) override;
    void SetVideoPicture(int area, EVideoPicture picture) override;
    void ShowFileProgress(const QString& name, bool sending, int percent) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    // The first show fits the window to the screen's free area, as the room window does: on a
    // scaled desktop its buttons would otherwise fall below the screen.
    void setVisible(bool visible) override;

private:
    void Send();

    CPrivateRoomDlg& m_room;
    CChatBrowser* m_chat;
    std::unique_ptr<CRoomChatView> m_chatView;
    CVideoPicture* m_peerVideo;
    CVideoPicture* m_ownVideo;
    QLineEdit* m_input;
    QPushButton* m_speak;
    QProgressBar* m_meter;
    QProgressBar* m_fileProgress;
    QAction* m_music = nullptr;
    QAction* m_quality[3] = {nullptr, nullptr, nullptr};  // speech, singing, hi-fi
    QAction* m_narrow = nullptr;
    QAction* m_broad = nullptr;
    QMenu* m_recordMenu = nullptr;
    std::function<void(QMenu*)> m_recordEntries;
    bool m_fitted = false;
};
