#include "ui/HallWindow.h"

#include "core/AppState.h"
#include "hall/TavoClientDlg.h"
#include "platform/StringIds.h"
#include "platform/StringTable.h"
#include "ui/Icons.h"
#include "ui/WebPanel.h"

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

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 8);

    // The account line and the hall's services.
    auto* top = new QHBoxLayout;
    m_userHead = new CWebPanel(this);
    m_userHead->setObjectName(QStringLiteral("userHeadPanel"));
    m_userHead->setFixedSize(220, 64);
    m_userHead->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_userHead->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    top->addWidget(m_userHead);
    m_account = new QLabel(this);
    m_account->setObjectName(QStringLiteral("account"));
    top->addWidget(m_account, 1);
    auto button = [&](int text, const char* name) {
        auto* b = new QPushButton(LoadString(text), this);
        b->setObjectName(QString::fromLatin1(name));
        // Room around the text, in the font's own measure so it holds at every scale.
        const int em = b->fontMetrics().horizontalAdvance(QLatin1Char('M'));
        b->setMinimumWidth(b->fontMetrics().horizontalAdvance(b->text()) + 2 * em);
        top->addWidget(b);
        return b;
    };
    m_login = button(IDS_UI_LOGIN, "login");
    m_logout = button(IDS_UI_LOGOUT, "logout");
    QPushButton* info = button(IDS_UI_USER_INFO, "userInfo");
    QPushButton* favorite = button(IDS_UI_FAVORITE, "favorite");
    QPushButton* create = button(IDS_UI_CREATE_ROOM, "createRoom");
    QPushButton* quit = button(IDS_UI_QUIT, "quit");
    layout->addLayout(top);

    // The directory: area lists on the left, the room list on the right.
    auto* split = new QSplitter(Qt::Horizontal, this);
    m_areaTabs = new QTabWidget(split);
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
    m_rooms = new QListWidget(split);
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
    // The case list beside the rooms, once the login has pointed it at a page.
    m_caseList = new CWebPanel(split);
    m_caseList->setObjectName(QStringLiteral("caseListPanel"));
    m_caseList->setFrameShape(QFrame::StyledPanel);
    m_caseList->setMinimumWidth(160);
    split->addWidget(m_areaTabs);
    split->addWidget(m_rooms);
    split->addWidget(m_caseList);
    split->setStretchFactor(1, 1);
    split->setSizes({240, 460, 220});
    layout->addWidget(split, 1);

    // The room-number box and "enter".
    auto* entry = new QHBoxLayout;
    entry->addWidget(new QLabel(LoadString(IDS_UI_ROOM_NUMBER), this));
    m_roomNumber = new QLineEdit(this);
    m_roomNumber->setObjectName(QStringLiteral("roomNumber"));
    m_roomNumber->setMaxLength(10);
    m_roomNumber->setMaximumWidth(160);
    entry->addWidget(m_roomNumber);
    auto* enter = new QPushButton(LoadString(IDS_UI_ENTER), this);
    enter->setObjectName(QStringLiteral("enter"));
    entry->addWidget(enter);
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
    entry->addStretch(1);
    entry->addWidget(m_listWait);
    layout->addLayout(entry);

    m_information = new QLabel(this);
    m_information->setObjectName(QStringLiteral("information"));
    layout->addWidget(m_information);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("status"));
    m_status->hide();
    layout->addWidget(m_status);
    m_bottomAd = new CWebPanel(this);
    m_bottomAd->setObjectName(QStringLiteral("bottomAdPanel"));
    m_bottomAd->setFixedHeight(64);
    m_bottomAd->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    layout->addWidget(m_bottomAd);

    connect(m_roomNumber, &QLineEdit::returnPressed, enter, &QPushButton::click);
    connect(enter, &QPushButton::clicked, this, [this] {
        if (m_hall) {
            m_hall->OnEnterTypedRoom();
        }
    });
    connect(m_login, &QPushButton::clicked, this, [this] {
        if (m_hall) {
            m_hall->OnLogin();
        }
    });
    connect(m_logout, &QPushButton::clicked, this, [this] {
        if (m_hall) {
            m_hall->OnLogout();
        }
    });
    connect(info, &QPushButton::clicked, this, [this] {
        if (m_hall) {
            m_hall->OnUserInfo();
        }
    });
    connect(favorite, &QPushButton::clicked, this, [this] {
        if (m_hall) {
            m_hall->OnAddFavorite(m_roomNumber->text().trimmed().toInt());
        }
    });
    connect(create, &QPushButton::clicked, this, [this] {
        if (m_hall) {
            m_hall->OnCreateRoom();
        }
    });
    connect(quit, &QPushButton::clicked, this, [this] {
        if (m_hall) {
            m_hall->Quit();
        }
    });
    RefreshAccount();
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
    for (const tagListEntry& entry : entries) {
        auto* item = new QListWidgetItem(entry.shown, m_rooms);
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
            item->setIcon(QIcon());
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
    return screen ? screen->geometry().width() : 0;
}

int CHallWindow::ScreenHeight() const {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry().height() : 0;
}

bool CHallWindow::ChangeDisplayMode(int, int) {
    // The desktop's display mode belongs to the person's session; a client does not switch it.
    return false;
}

void CHallWindow::RestoreDisplayMode() {}
