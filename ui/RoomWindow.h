#pragma once
// The room window: member list, public and private chat views, the input box with its face
// picker and chat target, the microphone panel, the topic and notices, and the room's menus.
// It implements the room's view interfaces and draws what the room controller tells it; every
// click goes back to the controller's operations. Entries whose feature the client does not
// have are shown disabled.

#include "room/ManageMenu.h"
#include "room/MemberMenu.h"
#include "room/MicVolume.h"
#include "room/RoomView.h"

#include <QList>
#include <QWidget>

#include <memory>
#include <vector>

class CChatBrowser;
class CFacePicker;
class CMemberModel;
class CRoomDlg;
class CRoomVideoPanel;
class QCheckBox;
class QComboBox;
class QLabel;
class QLayout;
class QLineEdit;
class QListView;
class QListWidget;
class QMenu;
class QProgressBar;
class QPushButton;
class QSlider;
class QSplitter;
class QToolButton;

// A chat view of the room: the interface the room writes to, over a chat browser.
class CRoomChatView : public IChatView {
public:
    explicit CRoomChatView(CChatBrowser& browser) : m_browser(browser) {}
    void LoadPage(const QString& page) override;
    bool InsertAtFirstTd(const QString& fragment) override;
    void ScrollTo(int x, int y) override;
    void Clear() override;

private:
    CChatBrowser& m_browser;
};

class CRoomWindow : public QWidget, public IRoomView {
    Q_OBJECT
public:
    CRoomWindow(CRoomDlg& room, const QString& programFolder, QWidget* parent = nullptr);
    ~CRoomWindow() override;

    IChatView* PublicView() { return m_publicView.get(); }
    IChatView* PrivateView() { return m_privateView.get(); }

    // IRoomView
    void ShowRoomWindow(bool show) override;
    void SetRoomName(const QString& name) override;
    void RedrawMembers(const CMemberList& members, const QString& countText) override;
    void RefreshChatTargets(const CMemberList& members, const QString& current) override;
    void SetChatTargetLabel(const QString& text) override;
    void SetMicMode(const QString& text) override;
    void SetMainMic(const QString& holder, const QString& time) override;
    void SetSecondMic(const QString& holder, const QString& time) override;
    void RedrawQueue(const std::vector<const UserInfo*>& queue) override;
    void SetTopic(const QString& title, const QString& topic) override;
    void SetTimedNotices(const QStringList& notices) override;
    void ShowTextNotice(const QString& text) override;
    void AddSideListEntry(const QString& entry) override;
    void ShowPrivatePanel(bool visible) override;
    // The desktop opens no window of its own for a private microphone, so there is none to
    // close.
    void ClosePrivateMicWindow() override {}
    void SetMicTimeBar(int mic, int used, int total) override;
    void SetMicMeter(int mic, int value) override;
    void SetSpeakButton(bool pressed) override;
    void ShowMicVolume(int volume) override;
    IVideoSurface* VideoSurface(int window) override;
    void SetVideoToggle(int window, const QString& text) override;
    void SetVideoPicture(int window, EVideoPicture picture) override;
    void ShowVideoPopOut(int window, bool shown) override;
    void SetOwnVideo(bool open) override;

    // Reads the microphone line again (each stay, and when the panel is shown).
    void RefreshMicLine();
    QMenu* MicMenu() const { return m_micMenu; }
    QMenu* ViewMenu() const { return m_viewMenu; }
    QMenu* RoomMenu() const { return m_roomMenu; }
    CRoomVideoPanel& VideoPanel() const { return *m_video; }
    // The room-management menu: opened at its button when the room lets the user have it,
    // else nullptr (the room has written why).
    QMenu* OpenManageMenu();
    QMenu* ManageMenu() const { return m_manageMenu; }
    // The member menu as it would open for a member.
    QMenu* MemberMenuFor(const QString& id);

    // User actions (also reached from the buttons).
    void Send();
    void InsertFace(int face);
    void Leave();

protected:
    void closeEvent(QCloseEvent* event) override;
    // Minimized or hidden, the window is out of the user's sight; the room hears of each
    // change, for the invitations it refuses unasked.
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    // The first show fits the window to the screen's free area.
    void setVisible(bool visible) override;

private:
    void ReportShown();
    // The panes, one builder each (RoomWindowPanes.cpp). A column builder returns the column;
    // LayOutPanes sets the columns side by side with their stretch factors and first widths.
    QWidget* BuildMemberPane();
    QWidget* BuildChatPane();
    QWidget* BuildChatViews(QWidget* pane);
    QLayout* BuildTargetRow(QWidget* pane);
    QLayout* BuildInputRow(QWidget* pane);
    QWidget* BuildMicColumn();
    QWidget* BuildMicPanel(QWidget* column);
    QLayout* BuildMicLine(QWidget* box);
    void LayOutPanes(const std::vector<QWidget*>& columns, const QList<int>& stretches,
                     const QList<int>& widths);
    // The menu buttons close the column; the menus are made once the panes stand.
    void BuildMenuBar(QWidget* column);
    void BuildMenus();
    void BuildManageMenu();
    void UpdateMicButton();
    void RedrawMemberModel();
    void FillTargets();
    void ShowCurrentTarget(const QString& target);
    void OnMemberContext(const QPoint& pos);

    CRoomDlg& m_room;
    QString m_folder;
    CChatBrowser* m_public;
    CChatBrowser* m_private;
    std::unique_ptr<CRoomChatView> m_publicView;
    std::unique_ptr<CRoomChatView> m_privateView;
    CMemberModel* m_members;
    QListView* m_memberView;
    QLabel* m_count;
    QLabel* m_topic;
    QLabel* m_notice;
    QLabel* m_targetLabel;
    QComboBox* m_target;
    QLineEdit* m_input;
    QToolButton* m_faceButton;
    CFacePicker* m_faces = nullptr;
    QLabel* m_mode;
    QLabel* m_mainHolder;
    QLabel* m_mainTime;
    QLabel* m_secondHolder;
    QLabel* m_secondTime;
    QProgressBar* m_mainTimeBar;
    QProgressBar* m_secondTimeBar;
    QProgressBar* m_mainMeter;
    QProgressBar* m_secondMeter;
    QLabel* m_speaking;
    QListWidget* m_queue;
    QPushButton* m_speak;
    QSplitter* m_chatSplit;
    QMenu* m_micMenu = nullptr;
    QMenu* m_viewMenu = nullptr;
    CRoomVideoPanel* m_video = nullptr;
    QMenu* m_manageMenu = nullptr;
    QMenu* m_roomMenu = nullptr;
    QToolButton* m_manageButton = nullptr;
    CManageMenu m_manage;
    CMemberMenu m_memberMenuModel;
    CMicVolume m_micLine;
    QSlider* m_micVolumeSlider;
    QCheckBox* m_micMute;
    QMenu* m_memberMenu = nullptr;
    const CMemberList* m_lastMembers = nullptr;
    QString m_menuMember;
    bool m_updatingTargets = false;
    bool m_targetsDirty = true;
    bool m_fitted = false;
};
