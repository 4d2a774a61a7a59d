#pragma once
// The room window's video: the pictures of video 1 and video 2 and the own preview, each with
// its open/close toggle, the private viewer's picture, their pop-out windows, and the video
// menu. What it draws comes from the room's video feature through the room window's view;
// every click goes to the feature's operations.

#include "room/RoomView.h"

#include <QWidget>

#include <array>
#include <functional>

class CRoomDlg;
class CRoomVideo;
class CVideoDlg;
class CVideoPicture;
class QLabel;
class QMenu;
class QToolButton;

class CRoomVideoPanel : public QWidget {
    Q_OBJECT
public:
    // memberMenu opens the member menu of a member at a screen position.
    CRoomVideoPanel(CRoomDlg& room, std::function<void(const QString&, const QPoint&)> memberMenu,
                    QWidget* parent = nullptr);
    ~CRoomVideoPanel() override;

    // What the room window's view hands on.
    IVideoSurface* Surface(int window);
    void SetToggle(int window, const QString& text);
    void SetBackground(int window, EVideoPicture picture);
    void ShowPopOut(int window, bool shown);
    void SetOwnVideo(bool open);

    QMenu* Menu() const { return m_menu; }
    // Entries other windows add at the end of the video menu each time it opens.
    void SetMenuExtras(std::function<void(QMenu*)> extras) { m_extras = std::move(extras); }
    CVideoPicture* Picture(int window) const { return m_pictures[Index(window)]; }
    QToolButton* Toggle(int window) const { return m_toggles[Index(window)]; }
    CVideoDlg* PopOut(int window) const { return m_popOuts[Index(window)]; }

private:
    static size_t Index(int window) { return window >= 0 && window <= 3 ? size_t(window) : 0; }
    CRoomVideo* Video() const;
    QWidget* MakeSlot(int window, const QString& title);
    void OnToggle(int window);
    void OnPictureMenu(int window, const QPoint& at);
    void RefreshMenu();

    CRoomDlg& m_room;
    std::function<void(const QString&, const QPoint&)> m_memberMenu;
    std::function<void(QMenu*)> m_extras;
    std::array<CVideoPicture*, 4> m_pictures{};
    std::array<QWidget*, 4> m_homes{};
    std::array<QToolButton*, 4> m_toggles{};
    std::array<CVideoDlg*, 4> m_popOuts{};
    QMenu* m_menu = nullptr;
    bool m_ownOpen = false;
};
