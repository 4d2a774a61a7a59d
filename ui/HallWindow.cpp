#include "ui/HallWindow.h"

#include "core/AppState.h"
#include "hall/TavoClientDlg.h"
#include "platform/StringIds.h"
#include "platform/StringTable.h"
#include "ui/Icons.h"
#include "ui/ScreenFit.h"
#include "ui/WebPanel.h"

#include <QAbstractButton>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QVBoxLayout>

CHallWindow::CHallWindow(CAppState& state, QWidget* parent)
    : CDialogWidget(parent), m_state(state) {
    SetMainWindow(true);
    setObjectName(QStringLiteral("HallWindow"));
    setWindowFlags(Qt::Window | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    setWindowIcon(CIcons::App());
    resize(860, 600);

    // From the top: the account bar, the directory, the room-number row, the information and
    // status lines and the advertising panel.
    auto* layout = new QVBoxLayout(ScrollingContent(*this));
    layout->setContentsMargins(10, 10, 10, 8);
    layout->addLayout(BuildAccountBar());
    layout->addWidget(BuildDirectory(), 1);
    layout->addLayout(BuildEntryRow());
    BuildStatusLines(*layout);
    RefreshAccount();
}

void CHallWindow::OnClick(QAbstractButton* button, std::function<void(CTavoClientDlg&)> operation) {
    connect(button, &QAbstractButton::clicked, this, [this, operation = std::move(operation)] {
        if (m_hall) {
            operation(*m_hall);
        }
    });
}

// The account line, the user's head panel and the hall's services.
QLayout* CHallWindow::BuildAccountBar() {
    auto* bar = new QHBoxLayout;
    m_userHead = new CWebPanel(this);
    m_userHead->setObjectName(QStringLiteral("userHeadPanel"));
    m_userHead->setFixedSize(220, 64);
    m_userHead->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_userHead->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    bar->addWidget(m_userHead);
    m_account = new QLabel(this);
    m_account->setObjectName(QStringLiteral("account"));
    bar->addWidget(m_account, 1);
    auto button = [&](int text, const char* name) {
        auto* b = new QPushButton(LoadString(text), this);
        b->setObjectName(QString::fromLatin1(name));
        // Room around the text, in the font's own measure so it holds at every scale.
        const int em = b->fontMetrics().horizontalAdvance(QLatin1Char('M'));
        b->setMinimumWidth(b->fontMetrics().horizontalAdvance(b->text()) + 2 * em);
        bar->addWidget(b);
        return b;
    };
    m_login = button(IDS_UI_LOGIN, "login");
    OnClick(m_login, &CTavoClientDlg::OnLogin);
    m_logout = button(IDS_UI_LOGOUT, "logout");
    OnClick(m_logout, &CTavoClientDlg::OnLogout);
    OnClick(button(IDS_UI_USER_INFO, "userInfo"), &CTavoClientDlg::OnUserInfo);
    QPushButton* favorite = button(IDS_UI_FAVORITE, "favorite");
    connect(favorite, &QPushButton::clicked, this, [this] {
        if (m_hall) {
            m_hall->OnAddFavorite(m_roomNumber->text().trimmed().toInt());
        }
    });
    OnClick(button(IDS_UI_CREATE_ROOM, "createRoom"), &CTavoClientDlg::OnCreateRoom);
    OnClick(button(IDS_UI_QUIT, "quit"), &CTavoClientDlg::Quit);
    return bar;
}

// The directory: area lists on the left, the room list, and the case list beside the rooms once
// the login has pointed it at a page.
QWidget* CHallWindow::BuildDirectory() {
    auto* split = new QSplitter(Qt::Horizontal, this);
    QWidget* areas = BuildAreaLists(split);
    QWidget* rooms = BuildRoomList(split);
    m_caseList = new CWebPanel(split);
    m_caseList->setObjectName(QStringLiteral("caseListPanel"));
    m_caseList->setFrameShape(QFrame::StyledPanel);
    m_caseList->setMinimumWidth(160);
    for (QWidget* pane : {areas, rooms, static_cast<QWidget*>(m_caseList)}) {
        split->addWidget(pane);
    }
    split->setStretchFactor(1, 1);
    split->setSizes({240, 460, 220});
    return split;
}

QWidget* CHallWindow::BuildAreaLists(QWidget* parent) {
    m_areaTabs = new QTabWidget(parent);
    m_areaTabs->setObjectName(QStringLiteral("areas"));
    for (int list = 0; list < 4; ++list) {
        m_areas[list] = new QListWidget(m_areaTabs);
        m_areas[list]->setObjectName(QStringLiteral("area%1").arg(list));
        m_areaTabs->addTab(m_areas[list], LoadString(IDS_UI_AREA_LIST).arg(list + 1));
        m_areaTabs->setTabVisible(list, list < 2);
        connect(m_areas[list], &QListWidget::itemClicked, this,
                [this, list](QListWidgetItem* item) {
                    if (m_hall) {
                        m_hall->OnSelectArea(list, m_areas[list]->row(item));
                    }
                });
    }
    return m_areaTabs;
}

QWidget* CHallWindow::BuildRoomList(QWidget* parent) {
    m_rooms = new QListWidget(parent);
    m_rooms->setObjectName(QStringLiteral("rooms"));
    m_rooms->setUniformItemSizes(true);
    connect(m_rooms, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        if (m_hall) {
            m_hall->OnSelectRoom(m_rooms->row(item));
        }
    });
    connect(m_rooms, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        if (m_hall) {
            m_hall->EnterRoom(item->data(Qt::UserRole).toInt());
        }
    });
    return m_rooms;
}

// The room-number box and "enter", with the wait of a room list loading at the far end.
QLayout* CHallWindow::BuildEntryRow() {
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(LoadString(IDS_UI_ROOM_NUMBER), this));
    m_roomNumber = new QLineEdit(this);
    m_roomNumber->setObjectName(QStringLiteral("roomNumber"));
    m_roomNumber->setMaxLength(10);
    m_roomNumber->setMaximumWidth(160);
    row->addWidget(m_roomNumber);
    auto* enter = new QPushButton(LoadString(IDS_UI_ENTER), this);
    enter->setObjectName(QStringLiteral("enter"));
    row->addWidget(enter);
    connect(m_roomNumber, &QLineEdit::returnPressed, enter, &QPushButton::click);
    OnClick(enter, &CTavoClientDlg::OnEnterTypedRoom);
    m_listWait = new QWidget(this);
    auto* waitLayout = new QHBoxLayout(m_listWait);
    waitLayout->setContentsMargins(0, 0, 0, 0);
    m_listWaitText = new QLabel(m_listWait);
    auto* busy = new QProgressBar(m_listWait);
    busy->setRange(0, 0);
    busy->setMaximumWidth(80);
    busy->setMaximumHeight(8);
    busy->setTextVisible(false);
    waitLayout->addWidget(m_listWaitText);
    waitLayout->addWidget(busy);
    m_listWait->hide();
    row->addStretch(1);
    row->addWidget(m_listWait);
    return row;
}

// The information and status lines and the advertising panel at the bottom.
void CHallWindow::BuildStatusLines(QVBoxLayout& layout) {
    m_information = new QLabel(this);
    m_information->setObjectName(QStringLiteral("information"));
    // Like the status line, it takes room only while it has something to say.
    m_information->hide();
    layout.addWidget(m_information);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("status"));
    m_status->hide();
    layout.addWidget(m_status);
    m_bottomAd = new CWebPanel(this);
    m_bottomAd->setObjectName(QStringLiteral("bottomAdPanel"));
    m_bottomAd->setFixedHeight(64);
    m_bottomAd->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    layout.addWidget(m_bottomAd);
}

CHallWindow::~CHallWindow() {
    if (m_tray) {
        m_tray->hide();
    }
}

void CHallWindow::BindHall(CTavoClientDlg& hall) {
    m_hall = &hall;
    Bind(hall);
    RefreshAccount();
}

void CHallWindow::Refresh() {
    RefreshAccount();
}

bool CHallWindow::FillsScreen() const {
    return m_state.fitWindowsToScreen;
}

void CHallWindow::SetAreaList(int list, const std::vector<tagListEntry>& entries) {
    if (list < 0 || list >= 4) {
        return;
    }
    QListWidget* widget = m_areas[list];
    widget->clear();
    for (const tagListEntry& entry : entries) {
        auto* item = new QListWidgetItem(entry.shown, widget);
        item->setData(Qt::UserRole, entry.data);
        item->setToolTip(entry.text);
    }
    // The two further lists only show when a document filled them.
    if (list >= 2) {
        m_areaTabs->setTabVisible(list, !entries.empty());
    }
}

void CHallWindow::SetRoomList(const std::vector<tagListEntry>& entries) {
    m_rooms->clear();
    // Every row wears an icon, so the names line up whichever rows are marked.
    const QIcon room = CIcons::State(QStringLiteral("room"));
    for (const tagListEntry& entry : entries) {
        auto* item = new QListWidgetItem(room, entry.shown, m_rooms);
        item->setData(Qt::UserRole, entry.data);
        item->setToolTip(entry.text);
    }
}

void CHallWindow::SetRoomMark(int index, EListMark mark) {
    QListWidgetItem* item = m_rooms->item(index);
    if (!item) {
        return;
    }
    switch (mark) {
        case EListMark::First:
            item->setIcon(CIcons::State(QStringLiteral("mark1")));
            break;
        case EListMark::Second:
            item->setIcon(CIcons::State(QStringLiteral("mark2")));
            break;
        default:
            item->setIcon(CIcons::State(QStringLiteral("room")));
            break;
    }
}

void CHallWindow::SetRoomNumberText(const QString& text) {
    m_roomNumber->setText(text);
}
QString CHallWindow::RoomNumberText() const {
    return m_roomNumber->text();
}
void CHallWindow::SetInformation(const QString& text) {
    m_information->setText(text);
    m_information->setVisible(!text.isEmpty());
}

void CHallWindow::SetStatus(const QString& text) {
    m_status->setText(text);
    m_status->setVisible(!text.isEmpty());
}

void CHallWindow::ShowHall(bool show) {
    if (show) {
        showNormal();
        raise();
    } else {
        hide();
    }
}

void CHallWindow::SetTitle(const QString& title) {
    setWindowTitle(title);
}

void CHallWindow::SetTrayTip(const QString& tip) {
    if (tip.isEmpty()) {
        if (m_tray) {
            m_tray->hide();
        }
        return;
    }
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        return;
    }
    if (!m_tray) {
        m_tray = new QSystemTrayIcon(CIcons::App(), this);
        connect(m_tray, &QSystemTrayIcon::activated, this, [this] { ShowHall(true); });
    }
    m_tray->setToolTip(tip);
    m_tray->show();
}

void CHallWindow::SetPanelAddress(EHallPanel panel, const QString& address) {
    if (CWebPanel* view = Panel(panel)) {
        view->Navigate(address);
    }
}

CWebPanel* CHallWindow::Panel(EHallPanel panel) const {
    switch (panel) {
        case EHallPanel::CaseList:
            return m_caseList;
        case EHallPanel::UserHead:
            return m_userHead;
        case EHallPanel::HallBottomAd:
            return m_bottomAd;
    }
    return nullptr;
}

void CHallWindow::RefreshAccount() {
    const tagAccount& account = m_state.account;
    if (account.IsLoggedIn()) {
        m_account->setText(
            LoadString(IDS_UI_LOGGED_AS).arg(account.loginName).arg(account.userNumber));
    } else if (!account.visitorName.isEmpty()) {
        m_account->setText(LoadString(IDS_UI_VISITOR_AS).arg(account.visitorName));
    } else {
        m_account->setText(LoadString(IDS_UI_ABSENT));
    }
    m_logout->setEnabled(m_hall && m_hall->CanLogout());
}

void CHallWindow::ShowListWait(bool visible, const QString& title, const QString& status) {
    m_listWaitText->setText(status.isEmpty() ? title : status);
    m_listWait->setVisible(visible);
}

int CHallWindow::TextWidth(const QString& text) const {
    return m_rooms->fontMetrics().horizontalAdvance(text);
}

int CHallWindow::RoomColumnWidth() const {
    // The list is laid out once it is shown; before that its planned width stands.
    const int width = m_rooms->viewport()->width();
    return width > 100 ? width - 28 : 500;
}

int CHallWindow::ScreenWidth() const {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry().width() : 0;
}

int CHallWindow::ScreenHeight() const {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry().height() : 0;
}
