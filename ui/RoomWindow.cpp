#include "ui/RoomWindow.h"

#include "platform/DialogHost.h"
#include "platform/StringIds.h"
#include "platform/StringTable.h"
#include "room/ChatPanes.h"
#include "room/ChatText.h"
#include "room/MemberList.h"
#include "room/MicOrder.h"
#include "room/RoomDlg.h"
#include "room/RoomStrings.h"
#include "ui/ChatBrowser.h"
#include "ui/FacePicker.h"
#include "ui/Icons.h"
#include "ui/MemberModel.h"

#include <QActionGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
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
#include <QSignalBlocker>
#include <QSlider>
#include <QSplitter>
#include <QToolButton>
#include <QUrl>
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

}  // namespace

void CRoomChatView::LoadPage(const QString& page) {
    m_browser.LoadPage(page);
}
bool CRoomChatView::InsertAtFirstTd(const QString& fragment) {
    return m_browser.InsertAtFirstTd(fragment);
}
void CRoomChatView::ScrollTo(int x, int y) {
    m_browser.ScrollTo(x, y);
}
void CRoomChatView::Clear() {
    m_browser.Clear();
}

CRoomWindow::CRoomWindow(CRoomDlg& room, const QString& programFolder, QWidget* parent)
    : QWidget(parent, Qt::Window),
      m_room(room),
      m_folder(programFolder),
      m_manage(room),
      m_micLine(room) {
    setObjectName(QStringLiteral("RoomWindow"));
    setWindowIcon(CIcons::App());
    resize(1100, 720);

    // Left: topic, member list and its count.
    auto* left = new QWidget(this);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    m_topic = new QLabel(left);
    m_topic->setObjectName(QStringLiteral("topic"));
    m_topic->setWordWrap(true);
    leftLayout->addWidget(m_topic);
    m_members = new CMemberModel(this);
    m_memberView = new QListView(left);
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
    leftLayout->addWidget(m_memberView, 1);
    m_count = new QLabel(left);
    m_count->setObjectName(QStringLiteral("count"));
    leftLayout->addWidget(m_count);

    // Middle: the chat views, the target line and the input box.
    auto* middle = new QWidget(this);
    auto* midLayout = new QVBoxLayout(middle);
    midLayout->setContentsMargins(0, 0, 0, 0);
    m_notice = new QLabel(middle);
    m_notice->setObjectName(QStringLiteral("notice"));
    m_notice->setWordWrap(true);
    m_notice->hide();
    midLayout->addWidget(m_notice);
    m_chatSplit = new QSplitter(Qt::Vertical, middle);
    m_public = new CChatBrowser(m_chatSplit);
    m_public->setObjectName(QStringLiteral("publicView"));
    m_private = new CChatBrowser(m_chatSplit);
    m_private->setObjectName(QStringLiteral("privateView"));
    for (CChatBrowser* view : {m_public, m_private}) {
        view->SetProgramFolder(programFolder);
        view->setFrameShape(QFrame::StyledPanel);
        connect(view, &CChatBrowser::MemberClicked, this,
                [this](const QString& id, const QString&) { m_room.Chat().SetTarget(id); });
    }
    m_chatSplit->setStretchFactor(0, 3);
    m_chatSplit->setStretchFactor(1, 1);
    midLayout->addWidget(m_chatSplit, 1);
    m_publicView = std::make_unique<CRoomChatView>(*m_public);
    m_privateView = std::make_unique<CRoomChatView>(*m_private);

    auto* targetRow = new QHBoxLayout;
    m_targetLabel = new QLabel(middle);
    m_targetLabel->setObjectName(QStringLiteral("targetLabel"));
    targetRow->addWidget(m_targetLabel);
    auto* combo = new CTargetCombo(middle);
    combo->setObjectName(QStringLiteral("target"));
    combo->setMinimumContentsLength(12);
    combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_target = combo;
    targetRow->addWidget(m_target);
    targetRow->addStretch(1);
    m_faceButton = new QToolButton(middle);
    m_faceButton->setObjectName(QStringLiteral("faceButton"));
    m_faceButton->setIcon(CIcons::Face(0));
    m_faceButton->setToolTip(LoadString(IDS_UI_FACES));
    targetRow->addWidget(m_faceButton);
    midLayout->addLayout(targetRow);
    auto* inputRow = new QHBoxLayout;
    m_input = new QLineEdit(middle);
    m_input->setObjectName(QStringLiteral("input"));
    inputRow->addWidget(m_input, 1);
    auto* send = new QPushButton(LoadString(IDS_UI_SEND), middle);
    send->setObjectName(QStringLiteral("send"));
    send->setDefault(true);
    inputRow->addWidget(send);
    midLayout->addLayout(inputRow);
    connect(send, &QPushButton::clicked, this, &CRoomWindow::Send);
    connect(m_input, &QLineEdit::returnPressed, this, &CRoomWindow::Send);
    connect(m_faceButton, &QToolButton::clicked, this, [this] {
        if (!m_faces) {
            m_faces = new CFacePicker(this);
            connect(m_faces, &CFacePicker::FaceChosen, this, &CRoomWindow::InsertFace);
        }
        m_faces->PopupAt(m_faceButton->mapToGlobal(QPoint(0, m_faceButton->height())));
    });
    combo->beforePopup = [this] { FillTargets(); };
    connect(m_target, qOverload<int>(&QComboBox::activated), this, [this](int index) {
        if (!m_updatingTargets) {
            m_room.Chat().SetTarget(m_target->itemData(index).toString());
        }
    });

    // Right: the microphone panel.
    auto* right = new QWidget(this);
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    auto* micBox = new QGroupBox(LoadString(IDS_UI_MIC_PANEL), right);
    auto* micGrid = new QGridLayout(micBox);
    m_mode = new QLabel(micBox);
    m_mode->setObjectName(QStringLiteral("micMode"));
    micGrid->addWidget(m_mode, 0, 0, 1, 3);
    micGrid->addWidget(Caption(LoadString(IDS_MAIN_MIC), micBox), 1, 0);
    m_mainHolder = new QLabel(micBox);
    m_mainHolder->setObjectName(QStringLiteral("mainHolder"));
    m_mainTime = new QLabel(micBox);
    m_mainTime->setObjectName(QStringLiteral("mainTime"));
    micGrid->addWidget(m_mainHolder, 1, 1);
    micGrid->addWidget(m_mainTime, 1, 2, Qt::AlignRight);
    m_mainMeter = new QProgressBar(micBox);
    micGrid->addWidget(Caption(LoadString(IDS_SECOND_MIC), micBox), 3, 0);
    m_secondHolder = new QLabel(micBox);
    m_secondHolder->setObjectName(QStringLiteral("secondHolder"));
    m_secondTime = new QLabel(micBox);
    m_secondTime->setObjectName(QStringLiteral("secondTime"));
    micGrid->addWidget(m_secondHolder, 3, 1);
    micGrid->addWidget(m_secondTime, 3, 2, Qt::AlignRight);
    m_secondMeter = new QProgressBar(micBox);
    for (QProgressBar* meter : {m_mainMeter, m_secondMeter}) {
        meter->setRange(0, 100);
        meter->setValue(0);
        meter->setTextVisible(false);
        meter->setMaximumHeight(6);
    }
    m_speaking = new QLabel(LoadString(IDS_UI_SPEAKING), micBox);
    m_speaking->setObjectName(QStringLiteral("speaking"));
    m_speaking->setVisible(false);
    micGrid->addWidget(m_speaking, 5, 0, 1, 3);
    micGrid->addWidget(m_mainMeter, 2, 0, 1, 3);
    micGrid->addWidget(m_secondMeter, 4, 0, 1, 3);
    // The microphone line: its volume and mute, applied to the mixer as they move.
    auto* volumeRow = new QHBoxLayout;
    volumeRow->addWidget(Caption(LoadString(IDS_UI_MIC_VOLUME), micBox));
    m_micVolumeSlider = new QSlider(Qt::Horizontal, micBox);
    m_micVolumeSlider->setObjectName(QStringLiteral("micVolume"));
    m_micVolumeSlider->setRange(0, CMicVolume::kMaxPosition);
    m_micVolumeSlider->setToolTip(LoadString(IDS_UI_MIC_VOLUME));
    volumeRow->addWidget(m_micVolumeSlider, 1);
    m_micMute = new QCheckBox(LoadString(IDS_UI_MIC_MUTE), micBox);
    m_micMute->setObjectName(QStringLiteral("micMute"));
    volumeRow->addWidget(m_micMute);
    micGrid->addLayout(volumeRow, 6, 0, 1, 3);
    connect(m_micVolumeSlider, &QSlider::valueChanged, this,
            [this](int position) { m_micLine.SetPosition(position); });
    connect(m_micMute, &QCheckBox::toggled, this, [this](bool mute) {
        if (!m_micLine.SetMuted(mute)) {
            RefreshMicLine();
        }
    });
    micGrid->setColumnStretch(1, 1);
    rightLayout->addWidget(micBox);
    rightLayout->addWidget(Caption(LoadString(IDS_UI_QUEUE), right));
    m_queue = new QListWidget(right);
    m_queue->setObjectName(QStringLiteral("queue"));
    rightLayout->addWidget(m_queue, 1);
    m_speak = new QPushButton(right);
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
    rightLayout->addWidget(m_speak);
    auto* menus = new QHBoxLayout;
    rightLayout->addLayout(menus);

    auto* split = new QSplitter(Qt::Horizontal, this);
    split->addWidget(left);
    split->addWidget(middle);
    split->addWidget(right);
    split->setStretchFactor(0, 0);
    split->setStretchFactor(1, 1);
    split->setStretchFactor(2, 0);
    split->setSizes({240, 620, 240});
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(split);

    BuildMenus();
    std::vector<QToolButton*> tools;
    for (auto [menu, name] : {std::pair{m_micMenu, "micMenu"}, {m_viewMenu, "viewMenu"}}) {
        auto* button = new QToolButton(right);
        button->setObjectName(QString::fromLatin1(name));
        button->setText(menu->title());
        button->setMenu(menu);
        button->setPopupMode(QToolButton::InstantPopup);
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        menus->addWidget(button);
        tools.push_back(button);
    }
    // The management menu is the room's to grant: the button asks before anything opens.
    m_manageButton = new QToolButton(right);
    m_manageButton->setObjectName(QStringLiteral("manageMenu"));
    m_manageButton->setText(CManageMenu::Title());
    m_manageButton->setToolButtonStyle(Qt::ToolButtonTextOnly);
    connect(m_manageButton, &QToolButton::clicked, this, [this] { OpenManageMenu(); });
    menus->addWidget(m_manageButton);
    tools.push_back(m_manageButton);
    // The row is shared evenly: a button squeezed to its text leaves the menu arrow on it.
    for (QToolButton* tool : tools) {
        tool->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }
    SetMainMic(LoadString(IDS_MIC_FREE), QStringLiteral("0") + LoadString(IDS_SECONDS));
    SetSecondMic(LoadString(IDS_MIC_FREE), QStringLiteral("0") + LoadString(IDS_SECONDS));
    SetChatTargetLabel(QString());
    UpdateMicButton();
}

CRoomWindow::~CRoomWindow() = default;

void CRoomWindow::BuildMenus() {
    CMicOrder& mic = m_room.Mic();
    m_micMenu = new QMenu(LoadString(IDS_UI_MENU_MIC), this);
    m_micMenu->addAction(LoadString(IDS_UI_MIC_PUBLIC), this, [&mic] { mic.Grab(); });
    m_micMenu->addAction(LoadString(IDS_UI_MIC_PRIVATE_CONFIRM), this,
                         [&mic] { mic.TakePrivateMic(true); });
    m_micMenu->addAction(LoadString(IDS_UI_MIC_PRIVATE), this,
                         [&mic] { mic.TakePrivateMic(false); });

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
}

void CRoomWindow::BuildManageMenu() {
    m_manageMenu->clear();
    for (const tagManageEntry& entry : m_manage.Entries()) {
        if (entry.groupStart && !m_manageMenu->isEmpty()) {
            m_manageMenu->addSeparator();
        }
        const EManageEntry id = entry.id;
        QAction* action = m_manageMenu->addAction(entry.text, this, [this, id] {
            if (m_manage.Run(id) != 0) {
                return;
            }
            const QString page = m_manage.PageAddress(id);
            if (!page.isEmpty()) {
                QDesktopServices::openUrl(QUrl(page));
            }
        });
        action->setEnabled(entry.enabled);
        action->setCheckable(entry.checkable);
        action->setChecked(entry.checked);
    }
}

QMenu* CRoomWindow::OpenManageMenu() {
    if (!m_manage.MayOpen()) {
        return nullptr;
    }
    BuildManageMenu();
    const QPoint at = m_manageButton
                          ? m_manageButton->mapToGlobal(QPoint(0, m_manageButton->height()))
                          : mapToGlobal(QPoint(0, 0));
    m_manageMenu->popup(at);
    return m_manageMenu;
}

QMenu* CRoomWindow::MemberMenuFor(const QString& id) {
    delete m_memberMenu;
    m_menuMember = id;
    m_memberMenu = new QMenu(this);
    CMicOrder& mic = m_room.Mic();
    CChatText& chat = m_room.Chat();
    const bool self = id == m_room.OwnId();
    const bool manager = m_room.OwnRank() >= 30;
    m_memberMenu->addAction(LoadString(IDS_UI_TALK_TO), this, [&chat, id] { chat.SetTarget(id); })
        ->setEnabled(!self);
    QAction* block = m_memberMenu->addAction(LoadString(IDS_UI_BLOCK), this, [this, &chat, id] {
        chat.SetBlocked(id, !chat.IsBlocked(id));
        RedrawMemberModel();
    });
    block->setCheckable(true);
    block->setChecked(chat.IsBlocked(id));
    block->setEnabled(!self);
    m_memberMenu->addSeparator();
    const std::pair<int, std::function<int()>> micActions[] = {
        {IDS_OP_HAND_MIC, [&mic, id] { return mic.HandMic(id); }},
        {IDS_OP_HAND_SECOND_MIC, [&mic, id] { return mic.HandSecondMic(id); }},
        {IDS_OP_TAKE_BACK_MIC, [&mic, id] { return mic.TakeBack(id); }},
        {IDS_OP_EXTEND_MIC, [&mic, id] { return mic.Extend(id); }},
        {IDS_UI_QUEUE_UP, [&mic, id] { return mic.MoveUp(id); }},
        {IDS_UI_QUEUE_REMOVE, [&mic, id] { return mic.RemoveFromQueue(id); }},
    };
    for (const auto& [text, run] : micActions) {
        m_memberMenu->addAction(LoadString(text), this, [run = run] { run(); })
            ->setEnabled(manager);
    }
    m_memberMenu->addSeparator();
    for (int text : {IDS_UI_PRIVATE_CHAT, IDS_UI_GIVE_GIFT, IDS_UI_KICK}) {
        m_memberMenu->addAction(LoadString(text))->setEnabled(false);
    }
    return m_memberMenu;
}

void CRoomWindow::OnMemberContext(const QPoint& pos) {
    const QModelIndex index = m_memberView->indexAt(pos);
    const tagMemberRow* row = m_members->Row(index.row());
    if (!row || row->heading) {
        return;
    }
    MemberMenuFor(row->id)->popup(m_memberView->viewport()->mapToGlobal(pos));
}

void CRoomWindow::Send() {
    if (m_room.Chat().SendText(m_input->text()) == 0) {
        m_input->clear();
    }
}

void CRoomWindow::InsertFace(int face) {
    QString text = m_input->text();
    if (m_room.Chat().InsertFace(text, face)) {
        m_input->setText(text);
    }
    m_input->setFocus();
}

void CRoomWindow::Leave() {
    m_room.Close(IDCANCEL);
}

void CRoomWindow::closeEvent(QCloseEvent* event) {
    // Leaving is the room's decision: it hides this window when it has let go of the room.
    event->ignore();
    Leave();
}

void CRoomWindow::ShowRoomWindow(bool show) {
    if (show) {
        RefreshMicLine();
        showNormal();
        raise();
        activateWindow();
    } else {
        hide();
        m_lastMembers = nullptr;
    }
}

void CRoomWindow::SetRoomName(const QString& name) {
    setWindowTitle(name);
}

void CRoomWindow::RedrawMemberModel() {
    if (m_lastMembers) {
        CChatText& chat = m_room.Chat();
        m_members->Reset(*m_lastMembers, m_room.Mic().MainHolder(), m_room.Mic().SecondHolder(),
                         m_room.Mic().Queue(),
                         [&chat](const QString& id) { return chat.IsBlocked(id); });
    }
}

void CRoomWindow::RedrawMembers(const CMemberList& members, const QString& countText) {
    m_lastMembers = &members;
    RedrawMemberModel();
    m_count->setText(countText);
    UpdateMicButton();
}

void CRoomWindow::RefreshChatTargets(const CMemberList& members, const QString& current) {
    // Filled when the list is opened; until then the choice shows only the current target.
    m_lastMembers = &members;
    m_targetsDirty = true;
    ShowCurrentTarget(current);
}

void CRoomWindow::FillTargets() {
    if (!m_lastMembers || !m_targetsDirty) {
        return;
    }
    m_targetsDirty = false;
    const QString current = m_room.Chat().Target();
    m_updatingTargets = true;
    m_target->clear();
    m_target->addItem(LoadString(IDS_EVERYBODY), QString());
    int chosen = 0;
    m_lastMembers->ForEach([&](const UserInfo& member) {
        if (member.id == m_room.OwnId()) {
            return;
        }
        m_target->addItem(member.nickname, member.id);
        if (member.id == current) {
            chosen = m_target->count() - 1;
        }
    });
    m_target->setCurrentIndex(chosen);
    m_updatingTargets = false;
}

void CRoomWindow::ShowCurrentTarget(const QString& target) {
    m_updatingTargets = true;
    const int at = m_target->findData(target);
    if (at >= 0 && !m_targetsDirty) {
        m_target->setCurrentIndex(at);
    } else {
        m_target->clear();
        m_target->addItem(LoadString(IDS_EVERYBODY), QString());
        if (!target.isEmpty() && m_lastMembers) {
            if (const UserInfo* member = m_lastMembers->Find(target)) {
                m_target->addItem(member->nickname, member->id);
                m_target->setCurrentIndex(1);
            }
        }
        m_targetsDirty = true;
    }
    m_updatingTargets = false;
}

void CRoomWindow::SetChatTargetLabel(const QString& text) {
    m_targetLabel->setText(text.isEmpty() ? m_room.Chat().TargetLabel() : text);
    ShowCurrentTarget(m_room.Chat().Target());
}

void CRoomWindow::SetMicMode(const QString& text) {
    m_mode->setText(text);
}

void CRoomWindow::SetMainMic(const QString& holder, const QString& time) {
    m_mainHolder->setText(holder);
    m_mainTime->setText(time);
    UpdateMicButton();
}

void CRoomWindow::SetSecondMic(const QString& holder, const QString& time) {
    m_secondHolder->setText(holder);
    m_secondTime->setText(time);
    UpdateMicButton();
}

void CRoomWindow::RedrawQueue(const std::vector<const UserInfo*>& queue) {
    m_queue->clear();
    int place = 1;
    for (const UserInfo* member : queue) {
        if (member) {
            m_queue->addItem(QStringLiteral("%1. %2").arg(place++).arg(member->nickname));
        }
    }
    RedrawMemberModel();
    UpdateMicButton();
}

void CRoomWindow::SetTopic(const QString& title, const QString& topic) {
    m_topic->setText(
        title.isEmpty()
            ? topic
            : QStringLiteral("<b>%1</b><br>%2").arg(title.toHtmlEscaped(), topic.toHtmlEscaped()));
}

void CRoomWindow::SetTimedNotices(const QStringList& notices) {
    m_notice->setText(notices.join(QStringLiteral("  ·  ")));
    m_notice->setVisible(!notices.isEmpty());
}

void CRoomWindow::ShowTextNotice(const QString& text) {
    m_notice->setText(text);
    m_notice->setVisible(!text.isEmpty());
}

void CRoomWindow::AddSideListEntry(const QString& entry) {
    m_queue->addItem(entry);
}

void CRoomWindow::ShowPrivatePanel(bool visible) {
    m_private->setVisible(visible);
}

void CRoomWindow::UpdateMicButton() {
    const QString own = m_room.OwnId();
    const bool holding =
        !own.isEmpty() && (m_room.Mic().MainHolder() == own || m_room.Mic().SecondHolder() == own ||
                           m_room.Mic().Queue().contains(own));
    m_speak->setText(LoadString(holding ? IDS_OP_RELEASE_MIC : IDS_OP_GRAB_MIC));
}

void CRoomWindow::SetMicMeter(int mic, int value) {
    QProgressBar* meter = mic == 2 ? m_secondMeter : m_mainMeter;
    meter->setValue(std::clamp(value, 0, 100));
}

void CRoomWindow::SetSpeakButton(bool pressed) {
    m_speaking->setVisible(pressed);
}

void CRoomWindow::RefreshMicLine() {
    const bool available = m_micLine.IsAvailable();
    m_micVolumeSlider->setEnabled(available);
    m_micMute->setEnabled(available);
    if (!available) {
        return;
    }
    const QSignalBlocker volume(m_micVolumeSlider);
    const QSignalBlocker mute(m_micMute);
    m_micVolumeSlider->setValue(std::max(m_micLine.Position(), 0));
    m_micMute->setChecked(m_micLine.IsMuted());
}

void CRoomWindow::ShowMicVolume(int volume) {
    const int position = m_micLine.PositionOf(volume);
    if (position >= 0) {
        const QSignalBlocker block(m_micVolumeSlider);
        m_micVolumeSlider->setValue(position);
    }
}
