#pragma once
// The hall window: the area lists and the room list filled from the directory documents, the
// room-number box and "enter", the information and status lines, the account line, the
// hall's services (log in, user information, favourites, creating a room) and quitting. It
// draws what the hall tells it (IHallView) and hands every action to the hall's operations.
// A notification-area icon carries the product title while the hall runs.

#include "hall/HallView.h"
#include "ui/DialogWidget.h"

#include <functional>

class CAppState;
class CTavoClientDlg;
class CWebPanel;
class QAbstractButton;
class QLabel;
class QLayout;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QSystemTrayIcon;
class QTabWidget;
class QVBoxLayout;

class CHallWindow : public CDialogWidget, public IHallView {
    Q_OBJECT
public:
    explicit CHallWindow(CAppState& state, QWidget* parent = nullptr);
    ~CHallWindow() override;

    // The hall's logic; the window is built before it.
    void BindHall(CTavoClientDlg& hall);

    // IHallView
    void SetAreaList(int list, const std::vector<tagListEntry>& entries) override;
    void SetRoomList(const std::vector<tagListEntry>& entries) override;
    void SetRoomMark(int index, EListMark mark) override;
    void SetRoomNumberText(const QString& text) override;
    QString RoomNumberText() const override;
    void SetInformation(const QString& text) override;
    void SetStatus(const QString& text) override;
    void ShowHall(bool show) override;
    void SetTitle(const QString& title) override;
    void SetTrayTip(const QString& tip) override;
    void SetPanelAddress(EHallPanel panel, const QString& address) override;
    void RefreshAccount() override;
    void ShowListWait(bool visible, const QString& title, const QString& status) override;
    int TextWidth(const QString& text) const override;
    int RoomColumnWidth() const override;
    int ScreenWidth() const override;
    int ScreenHeight() const override;

protected:
    void Refresh() override;
    bool FillsScreen() const override;

private:
    // The panes, one builder each, top to bottom.
    QLayout* BuildAccountBar();
    QWidget* BuildDirectory();
    QWidget* BuildAreaLists(QWidget* parent);
    QWidget* BuildRoomList(QWidget* parent);
    QLayout* BuildEntryRow();
    void BuildStatusLines(QVBoxLayout& layout);
    // A click runs the hall's operation once the hall is bound.
    void OnClick(QAbstractButton* button, std::function<void(CTavoClientDlg&)> operation);
    CWebPanel* Panel(EHallPanel panel) const;

    CAppState& m_state;
    CTavoClientDlg* m_hall = nullptr;
    QTabWidget* m_areaTabs;
    QListWidget* m_areas[4];
    QListWidget* m_rooms;
    QLineEdit* m_roomNumber;
    QLabel* m_account;
    QLabel* m_information;
    QLabel* m_status;
    QWidget* m_listWait;
    QLabel* m_listWaitText;
    QPushButton* m_login;
    QPushButton* m_logout;
    CWebPanel* m_caseList;
    CWebPanel* m_userHead;
    CWebPanel* m_bottomAd;
    QSystemTrayIcon* m_tray = nullptr;
};
