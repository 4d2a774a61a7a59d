// The panes of the room window, one builder each: the member pane, the chat pane (the video
// pictures, views, target line, input), the microphone column (panel, queue, speak button) and the
// menu bar under it. The window's constructor lays the columns side by side; a new pane is a new
// builder and a place in that row.

#include "core/Notifier.h"
#include "platform/StringIds.h"
#include "platform/StringTable.h"
#include "room/ChatText.h"
#include "room/MicGuards.h"
#include "room/MicOrder.h"
#include "room/PrivateInviteDlgs.h"
#include "room/PrivateMic.h"
#include "room/RoomAdministration.h"
#include "room/RoomDlg.h"
#include "ui/ChatBrowser.h"
#include "ui/FacePicker.h"
#include "ui/Icons.h"
#include "ui/MemberModel.h"
#include "ui/RoomVideoPanel.h"
#include "ui/RoomWindow.h"
#include "ui/ScreenFit.h"

#include <QActionGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QSplitter>
#include <QToolButton>
#include <QVBoxLayout>

#include <functional>
#include <vector>

namespace {

// The chat-target choice lists every member; with thousands of members it is filled only when
// the person opens it.
class CTargetCombo : public QComboBox {
public:
    using QComboBox::QComboBox;
    std::function<void()> beforePopup;
    void showPopup() override {
        if (beforePopup) {
            beforePopup();
        }
        QComboBox::showPopup();
    }
};

QLabel* Caption(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QStringLiteral("caption"));
    return label;
}

QVBoxLayout* Column(QWidget* pane) {
    auto* layout = new QVBoxLayout(pane);
    layout->setContentsMargins(0, 0, 0, 0);
    return layout;
}

}  // namespace

void CRoomWindow::LayOutPanes(const std::vector<QWidget*>& columns, const QList<int>& stretches,
                              const QList<int>& widths) {
    auto* split = new QSplitter(Qt::Horizontal, this);
    for (QWidget* column : columns) {
        split->addWidget(column);
    }
    for (int i = 0; i < stretches.size(); ++i) {
        split->setStretchFactor(i, stretches[i]);
    }
    split->setSizes(widths);
    auto* layout = new QVBoxLayout(ScrollingContent(*this));
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(split);
}

// --- the member pane: topic, member list and its count ---------------------------------------

QWidget* CRoomWindow::BuildMemberPane() {
    auto* pane = new QWidget(this);
    QVBoxLayout* layout = Column(pane);
    m_topic = new QLabel(pane);
    m_topic->setObjectName(QStringLiteral("topic"));
    m_topic->setWordWrap(true);
    layout->addWidget(m_topic);
    m_members = new CMemberModel(this);
    m_memberView = new QListView(pane);
    m_memberView->setObjectName(QStringLiteral("members"));
    m_memberView->setModel(m_members);
    m_memberView->setItemDelegate(new CMemberDelegate(m_memberView));
    m_memberView->setUniformItemSizes(true);
    m_memberView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_memberView, &QListView::customContextMenuRequested, this,
            &CRoomWindow::OnMemberContext);
    connect(m_memberView, &QListView::doubleClicked, this, [this](const QModelIndex& index) {
        if (const tagMemberRow* row = m_members->Row(index.row()); row && !row->heading) {
            m_room.Chat().SetTarget(row->id);
        }
    });
    layout->addWidget(m_memberView, 1);
    m_count = new QLabel(pane);
    m_count->setObjectName(QStringLiteral("count"));
    layout->addWidget(m_count);
    return pane;
}

// --- the chat pane: the video pictures, notices, the two chat views, the target line and the
// input box ---------------------------------------------------------------------------------

QWidget* CRoomWindow::BuildChatPane() {
    auto* pane = new QWidget(this);
    QVBoxLayout* layout = Column(pane);
    m_video = new CRoomVideoPanel(
        m_room, [this](const QString& id, const QPoint& at) { MemberMenuFor(id)->popup(at); },
        pane);
    layout->addWidget(m_video);
    m_notice = new QLabel(pane);
    m_notice->setObjectName(QStringLiteral("notice"));
    m_notice->setWordWrap(true);
    m_notice->hide();
    layout->addWidget(m_notice);
    layout->addWidget(BuildChatViews(pane), 1);
    layout->addLayout(BuildTargetRow(pane));
    layout->addLayout(BuildInputRow(pane));
    return pane;
}

QWidget* CRoomWindow::BuildChatViews(QWidget* pane) {
    m_chatSplit = new QSplitter(Qt::Vertical, pane);
    m_public = new CChatBrowser(m_chatSplit);
    m_public->setObjectName(QStringLiteral("publicView"));
    m_private = new CChatBrowser(m_chatSplit);
    m_private->setObjectName(QStringLiteral("privateView"));
    for (CChatBrowser* view : {m_public, m_private}) {
        view->SetProgramFolder(m_folder);
        view->setFrameShape(QFrame::StyledPanel);
        connect(view, &CChatBrowser::MemberClicked, this,
                [this](const QString& id, const QString&) { m_room.Chat().SetTarget(id); });
    }
    m_chatSplit->setStretchFactor(0, 3);
    m_chatSplit->setStretchFactor(1, 1);
    m_publicView = std::make_unique<CRoomChatView>(*m_public);
    m_privateView = std::make_unique<CRoomChatView>(*m_private);
    return m_chatSplit;
}

QLayout* CRoomWindow::BuildTargetRow(QWidget* pane) {
    auto* row = new QHBoxLayout;
    m_targetLabel = new QLabel(pane);
    m_targetLabel->setObjectName(QStringLiteral("targetLabel"));
    row->addWidget(m_targetLabel);
    auto* combo = new CTargetCombo(pane);
    combo->setObjectName(QStringLiteral("target"));
    combo->setMinimumContentsLength(12);
    combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    combo->beforePopup = [this] { FillTargets(); };
    m_target = combo;
    connect(m_target, qOverload<int>(&QComboBox::activated), this, [this](int index) {
        if (!m_updatingTargets) {
            m_room.Chat().SetTarget(m_target->itemData(index).toString());
        }
    });
    row->addWidget(m_target);
    row->addStretch(1);
    m_faceButton = new QToolButton(pane);
    m_faceButton->setObjectName(QStringLiteral("faceButton"));
    m_faceButton->setIcon(CIcons::Face(0));
    m_faceButton->setToolTip(LoadString(IDS_UI_FACES));
    connect(m_faceButton, &QToolButton::clicked, this, [this] {
        if (!m_faces) {
            m_faces = new CFacePicker(this);
            connect(m_faces, &CFacePicker::FaceChosen, this, &CRoomWindow::InsertFace);
        }
        m_faces->PopupAt(m_faceButton->mapToGlobal(QPoint(0, m_faceButton->height())),
                         m_faceButton->mapToGlobal(QPoint(0, 0)).y());
    });
    row->addWidget(m_faceButton);
    return row;
}

QLayout* CRoomWindow::BuildInputRow(QWidget* pane) {
    auto* row = new QHBoxLayout;
    m_input = new QLineEdit(pane);
    m_input->setObjectName(QStringLiteral("input"));
    row->addWidget(m_input, 1);
    auto* send = new QPushButton(LoadString(IDS_UI_SEND), pane);
    send->setObjectName(QStringLiteral("send"));
    send->setDefault(true);
    row->addWidget(send);
    connect(send, &QPushButton::clicked, this, &CRoomWindow::Send);
    connect(m_input, &QLineEdit::returnPressed, this, &CRoomWindow::Send);
    return row;
}

// --- the microphone column: the panel, the queue and the speak button ------------------------

QWidget* CRoomWindow::BuildMicColumn() {
    auto* column = new QWidget(this);
    QVBoxLayout* layout = Column(column);
    layout->addWidget(BuildMicPanel(column));
    layout->addWidget(Caption(LoadString(IDS_UI_QUEUE), column));
    m_queue = new QListWidget(column);
    m_queue->setObjectName(QStringLiteral("queue"));
    layout->addWidget(m_queue, 1);
    m_speak = new QPushButton(column);
    m_speak->setObjectName(QStringLiteral("speak"));
    m_speak->setIcon(CIcons::State(QStringLiteral("mic")));
    m_speak->setMinimumHeight(34);
    connect(m_speak, &QPushButton::clicked, this, [this] {
        const QString own = m_room.OwnId();
        if (!own.isEmpty() &&
            (m_room.Mic().MainHolder() == own || m_room.Mic().SecondHolder() == own ||
             m_room.Mic().Queue().contains(own))) {
            m_room.Mic().Release();
        } else {
            m_room.Mic().Grab();
        }
        UpdateMicButton();
    });
    layout->addWidget(m_speak);
    return column;
}

QWidget* CRoomWindow::BuildMicPanel(QWidget* column) {
    auto* box = new QGroupBox(LoadString(IDS_UI_MIC_PANEL), column);
    auto* grid = new QGridLayout(box);
    m_mode = new QLabel(box);
    m_mode->setObjectName(QStringLiteral("micMode"));
    grid->addWidget(m_mode, 0, 0, 1, 3);
    // Each microphone: its caption, holder and time on one row, the bar of the holder's time
    // used and the level meter under it.
    const auto micRows = [&](int row, int caption, const char* name, QLabel*& holder, QLabel*& time,
                             QProgressBar*& timeBar, QProgressBar*& meter) {
        grid->addWidget(Caption(LoadString(caption), box), row, 0);
        holder = new QLabel(box);
        holder->setObjectName(QStringLiteral("%1Holder").arg(QLatin1String(name)));
        time = new QLabel(box);
        time->setObjectName(QStringLiteral("%1Time").arg(QLatin1String(name)));
        grid->addWidget(holder, row, 1);
        grid->addWidget(time, row, 2, Qt::AlignRight);
        timeBar = new QProgressBar(box);
        timeBar->setObjectName(QStringLiteral("%1TimeBar").arg(QLatin1String(name)));
        timeBar->setRange(0, 1);
        timeBar->setValue(0);
        timeBar->setTextVisible(false);
        timeBar->setMaximumHeight(8);
        grid->addWidget(timeBar, row + 1, 0, 1, 3);
        meter = new QProgressBar(box);
        meter->setObjectName(QStringLiteral("%1Meter").arg(QLatin1String(name)));
        meter->setRange(0, 100);
        meter->setValue(0);
        meter->setTextVisible(false);
        meter->setMaximumHeight(4);
        grid->addWidget(meter, row + 2, 0, 1, 3);
    };
    micRows(1, IDS_MAIN_MIC, "main", m_mainHolder, m_mainTime, m_mainTimeBar, m_mainMeter);
    micRows(4, IDS_SECOND_MIC, "second", m_secondHolder, m_secondTime, m_secondTimeBar,
            m_secondMeter);
    m_speaking = new QLabel(LoadString(IDS_UI_SPEAKING), box);
    m_speaking->setObjectName(QStringLiteral("speaking"));
    m_speaking->setVisible(false);
    grid->addWidget(m_speaking, 7, 0, 1, 3);
    grid->addLayout(BuildMicLine(box), 8, 0, 1, 3);
    grid->setColumnStretch(1, 1);
    return box;
}

// The microphone line: its volume and mute, applied to the mixer as they move.
QLayout* CRoomWindow::BuildMicLine(QWidget* box) {
    auto* row = new QHBoxLayout;
    row->addWidget(Caption(LoadString(IDS_UI_MIC_VOLUME), box));
    m_micVolumeSlider = new QSlider(Qt::Horizontal, box);
    m_micVolumeSlider->setObjectName(QStringLiteral("micVolume"));
    m_micVolumeSlider->setRange(0, CMicVolume::kMaxPosition);
    m_micVolumeSlider->setToolTip(LoadString(IDS_UI_MIC_VOLUME));
    row->addWidget(m_micVolumeSlider, 1);
    m_micMute = new QCheckBox(LoadString(IDS_UI_MIC_MUTE), box);
    m_micMute->setObjectName(QStringLiteral("micMute"));
    row->addWidget(m_micMute);
    connect(m_micVolumeSlider, &QSlider::valueChanged, this,
            [this](int position) { m_micLine.SetPosition(position); });
    connect(m_micMute, &QCheckBox::toggled, this, [this](bool mute) {
        if (!m_micLine.SetMuted(mute)) {
            RefreshMicLine();
        }
    });
    return row;
}

// --- the menu bar under the microphone column -------------------------------------------------

void CRoomWindow::BuildMenuBar(QWidget* column) {
    auto* bar = new QHBoxLayout;
    qobject_cast<QBoxLayout*>(column->layout())->addLayout(bar);
    BuildMenus();
    std::vector<QToolButton*> tools;
    for (auto [menu, name] : {std::pair{m_micMenu, "micMenu"},
                              {m_viewMenu, "viewMenu"},
                              {m_roomMenu, "roomMenu"},
                              {m_video->Menu(), "videoMenu"}}) {
        auto* button = new QToolButton(column);
        button->setObjectName(QString::fromLatin1(name));
        button->setText(menu->title());
        button->setMenu(menu);
        button->setPopupMode(QToolButton::InstantPopup);
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        bar->addWidget(button);
        tools.push_back(button);
    }
    // The management menu is the room's to grant: the button asks before anything opens.
    m_manageButton = new QToolButton(column);
    m_manageButton->setObjectName(QStringLiteral("manageMenu"));
    m_manageButton->setText(CManageMenu::Title());
    m_manageButton->setToolButtonStyle(Qt::ToolButtonTextOnly);
    connect(m_manageButton, &QToolButton::clicked, this, [this] { OpenManageMenu(); });
    bar->addWidget(m_manageButton);
    tools.push_back(m_manageButton);
    // The row is shared evenly: a button squeezed to its text leaves the menu arrow on it.
    for (QToolButton* tool : tools) {
        tool->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }
}

void CRoomWindow::BuildMenus() {
    CMicOrder& mic = m_room.Mic();
    CPrivateMic& privateMic = m_room.PrivateMic();
    m_micMenu = new QMenu(LoadString(IDS_UI_MENU_MIC), this);
    m_micMenu->addAction(LoadString(IDS_UI_MIC_PUBLIC), this, [&mic] { mic.Grab(); });
    m_micMenu->addAction(LoadString(IDS_UI_MIC_PRIVATE_CONFIRM), this,
                         [&privateMic] { privateMic.Take(true); });
    m_micMenu->addAction(LoadString(IDS_UI_MIC_PRIVATE), this,
                         [&privateMic] { privateMic.Take(false); });

    CChatText& chat = m_room.Chat();
    m_viewMenu = new QMenu(LoadString(IDS_UI_MENU_VIEW), this);
    m_viewMenu->addAction(LoadString(IDS_UI_CLEAR_PUBLIC), this,
                          [&chat] { chat.ClearPublicView(); });
    m_viewMenu->addAction(LoadString(IDS_UI_CLEAR_PRIVATE), this,
                          [&chat] { chat.ClearPrivateView(); });
    m_viewMenu->addSeparator();
    auto* scroll = new QActionGroup(m_viewMenu);
    const std::pair<int, EScrollMode> modes[] = {{IDS_UI_AUTO_CLEAR, EScrollMode::AutoClear},
                                                 {IDS_UI_AUTO_SCROLL, EScrollMode::AutoScroll},
                                                 {IDS_UI_MANUAL_SCROLL, EScrollMode::Manual}};
    for (const auto& entry : modes) {
        // Copied out of the pair: a lambda may not capture a structured binding (clang 14).
        const EScrollMode mode = entry.second;
        QAction* a = m_viewMenu->addAction(LoadString(entry.first), this,
                                           [&chat, mode] { chat.SetScrollMode(mode); });
        a->setCheckable(true);
        a->setChecked(mode == m_room.Panes().ScrollMode());
        scroll->addAction(a);
    }
    m_viewMenu->addSeparator();
    m_viewMenu->addAction(LoadString(IDS_UI_MERGE), this, [&chat] { chat.MergeViews(); });
    m_viewMenu->addAction(LoadString(IDS_UI_SPLIT), this, [&chat] { chat.SplitViews(); });
    m_viewMenu->addSeparator();
    m_viewMenu->addAction(LoadString(IDS_UI_GIFTS_PLAY), this,
                          [&chat] { chat.SetShowGiftAnimations(true); });
    m_viewMenu->addAction(LoadString(IDS_UI_GIFTS_HIDE), this,
                          [&chat] { chat.SetShowGiftAnimations(false); });

    // Hiding the lines of members below operator is how the user reads the room.
    m_viewMenu->addSeparator();
    QAction* hide = m_viewMenu->addAction(LoadString(IDS_UI_HIDE_BELOW_OP));
    hide->setCheckable(true);
    connect(hide, &QAction::toggled, this, [&chat](bool on) { chat.SetHideBelowOperator(on); });

    m_manageMenu = new QMenu(CManageMenu::Title(), this);

    // What every member may do about the room itself.
    CRoomAdministration& admin = m_room.Admin();
    m_roomMenu = new QMenu(LoadString(IDS_ROOM_MENU_TITLE), this);
    m_roomMenu->addAction(LoadString(IDS_OP_NICKNAME), this, [&admin] { admin.ChangeNickname(); });
    m_roomMenu->addAction(LoadString(IDS_ADD_FAVORITE), this, [&admin] { admin.AddFavourite(); });
    m_roomMenu->addAction(LoadString(IDS_OP_REPORT), this, [&admin] { admin.Report(); });
    // Mic guards: places held in the room without a person behind them.
    CMicGuards& guards = m_room.Guards();
    m_roomMenu->addSeparator();
    m_roomMenu->addAction(LoadString(IDS_GUARD_ADD_TITLE), this, [&guards] { guards.Add(); });
    m_roomMenu->addAction(LoadString(IDS_GUARD_EXIT_TITLE), this, [&guards] { guards.Remove(); });
    m_roomMenu->addSeparator();
    m_roomMenu->addAction(LoadString(IDS_NOTICE_SETTINGS), this, [] {
        CNoticeSettingsDlg settings;
        settings.DoModal();
    });
    m_roomMenu->addAction(LoadString(IDS_PRIVATE_SETTINGS), this, [this] {
        CPrivateSettingsDlg settings(m_room.Invite());
        settings.DoModal();
    });
}
