#include "ui/RoomWindow.h"

#include "core/AppState.h"
#include "platform/DialogHost.h"
#include "platform/StringIds.h"
#include "platform/StringTable.h"
#include "room/ChatPanes.h"
#include "room/ChatText.h"
#include "room/MemberList.h"
#include "room/MicOrder.h"
#include "room/RoomDlg.h"
#include "room/RoomStrings.h"
#include "room/RoomVideo.h"
#include "ui/ChatBrowser.h"
#include "ui/Icons.h"
#include "ui/MemberModel.h"
#include "ui/RoomVideoPanel.h"
#include "ui/ScreenFit.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QToolButton>

#include <functional>
#include <vector>

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
      m_memberMenuModel(room),
      m_micLine(room) {
    setObjectName(QStringLiteral("RoomWindow"));
    setWindowIcon(CIcons::App());
    resize(1100, 720);

    // Members on the left, the chat in the middle taking what room there is, the microphones
    // on the right.
    QWidget* members = BuildMemberPane();
    QWidget* chat = BuildChatPane();
    QWidget* mic = BuildMicColumn();
    LayOutPanes({members, chat, mic}, {0, 1, 0}, {240, 620, 240});
    BuildMenuBar(mic);

    SetMainMic(LoadString(IDS_MIC_FREE), QStringLiteral("0") + LoadString(IDS_SECONDS));
    SetSecondMic(LoadString(IDS_MIC_FREE), QStringLiteral("0") + LoadString(IDS_SECONDS));
    SetChatTargetLabel(QString());
    UpdateMicButton();
}

CRoomWindow::~CRoomWindow() {
    // The room must not draw on a window that is going away.
    if (&m_room.View() == this) {
        m_room.SetViews(nullptr, nullptr, nullptr);
    }
}

void CRoomWindow::BuildManageMenu() {
    m_manageMenu->clear();
    for (const tagManageEntry& entry : m_manage.Entries()) {
        if (entry.groupStart && !m_manageMenu->isEmpty()) {
            m_manageMenu->addSeparator();
        }
        const EManageEntry id = entry.id;
        QAction* action =
            m_manageMenu->addAction(entry.text, this, [this, id] { m_manage.Run(id); });
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
    m_memberMenu = new QMenu(CMemberMenu::Title(), this);
    m_memberMenu->setObjectName(QStringLiteral("memberMenu"));
    for (const tagMemberEntry& entry : m_memberMenuModel.Open(id)) {
        if (entry.groupStart) {
            m_memberMenu->addSeparator();
        }
        const EMemberEntry which = entry.id;
        QAction* action = m_memberMenu->addAction(entry.text, this, [this, id, which] {
            m_memberMenuModel.Run(id, which);
            RedrawMemberModel();
        });
        action->setEnabled(entry.enabled);
        action->setCheckable(entry.checkable);
        action->setChecked(entry.checked);
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

void CRoomWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) {
        ReportShown();
    }
}

void CRoomWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    ReportShown();
}

void CRoomWindow::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    ReportShown();
}

void CRoomWindow::ReportShown() {
    m_room.SetShown(isVisible() && !isMinimized());
}

void CRoomWindow::setVisible(bool visible) {
    if (visible && !m_fitted && !isVisible()) {
        m_fitted = true;
        FitWindowToScreen(*this, CAppState::Get().fitWindowsToScreen);
    }
    QWidget::setVisible(visible);
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
        const CRoomVideo* video = m_room.Video();
        m_members->Reset(
            *m_lastMembers, m_room.Mic().MainHolder(), m_room.Mic().SecondHolder(),
            m_room.Mic().Queue(), [&chat](const QString& id) { return chat.IsBlocked(id); },
            [video](const QString& id) { return video && video->VideoState(id) != 0; });
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

void CRoomWindow::SetMicTimeBar(int mic, int used, int total) {
    QProgressBar* bar = mic == 2 ? m_secondTimeBar : m_mainTimeBar;
    // An empty bar when nobody holds the microphone: a range of 0 would draw a busy bar.
    bar->setRange(0, std::max(total, 1));
    bar->setValue(std::clamp(used, 0, std::max(total, 1)));
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

IVideoSurface* CRoomWindow::VideoSurface(int window) {
    return m_video->Surface(window);
}

void CRoomWindow::SetVideoToggle(int window, const QString& text) {
    m_video->SetToggle(window, text);
}

void CRoomWindow::SetVideoPicture(int window, EVideoPicture picture) {
    m_video->SetBackground(window, picture);
}

void CRoomWindow::ShowVideoPopOut(int window, bool shown) {
    m_video->ShowPopOut(window, shown);
}

void CRoomWindow::SetOwnVideo(bool open) {
    m_video->SetOwnVideo(open);
}
