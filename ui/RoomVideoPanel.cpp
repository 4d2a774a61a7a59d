#include "ui/RoomVideoPanel.h"

#include "platform/StringIds.h"
#include "platform/StringTable.h"
#include "room/RoomDlg.h"
#include "room/RoomVideo.h"
#include "ui/VideoDlg.h"
#include "ui/VideoPicture.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QString WindowTitle(int window) {
    switch (window) {
        case VIDEO_1:
            return LoadString(IDS_VIDEO_1);
        case VIDEO_2:
            return LoadString(IDS_VIDEO_2);
        case VIDEO_OWN:
            return LoadString(IDS_UI_VIDEO_OWN);
        default:
            return LoadString(IDS_OP_WATCH);
    }
}

}  // namespace

CRoomVideoPanel::CRoomVideoPanel(CRoomDlg& room,
                                 std::function<void(const QString&, const QPoint&)> memberMenu,
                                 QWidget* parent)
    : QWidget(parent), m_room(room), m_memberMenu(std::move(memberMenu)) {
    setObjectName(QStringLiteral("videoPanel"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 4);
    row->setSpacing(10);
    for (int window : {VIDEO_1, VIDEO_2, VIDEO_OWN}) {
        row->addWidget(MakeSlot(window, WindowTitle(window)));
    }
    row->addStretch(1);
    // The private viewer has no place in the room window: it lives in its pop-out.
    m_homes[VIDEO_PRIVATE] = new QWidget(this);
    m_homes[VIDEO_PRIVATE]->setLayout(new QVBoxLayout);
    m_homes[VIDEO_PRIVATE]->hide();
    m_pictures[VIDEO_PRIVATE] = new CVideoPicture(m_homes[VIDEO_PRIVATE]);
    m_pictures[VIDEO_PRIVATE]->setObjectName(QStringLiteral("video0"));
    m_homes[VIDEO_PRIVATE]->layout()->addWidget(m_pictures[VIDEO_PRIVATE]);

    m_menu = new QMenu(LoadString(IDS_UI_VIDEO_MENU), this);
    connect(m_menu, &QMenu::aboutToShow, this, [this] { RefreshMenu(); });
    RefreshMenu();
    SetToggle(VIDEO_1, LoadString(IDS_VIDEO_TOGGLE_OPEN));
    SetToggle(VIDEO_2, LoadString(IDS_VIDEO_TOGGLE_OPEN));
    SetOwnVideo(false);
}

CRoomVideoPanel::~CRoomVideoPanel() = default;

CRoomVideo* CRoomVideoPanel::Video() const {
    return m_room.Video();
}

QWidget* CRoomVideoPanel::MakeSlot(int window, const QString& title) {
    auto* slot = new QWidget(this);
    auto* column = new QVBoxLayout(slot);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    auto* caption = new QHBoxLayout;
    auto* label = new QLabel(title, slot);
    label->setObjectName(QStringLiteral("caption"));
    caption->addWidget(label, 1);
    auto* toggle = new QToolButton(slot);
    toggle->setObjectName(QStringLiteral("videoToggle%1").arg(window));
    toggle->setAutoRaise(true);
    connect(toggle, &QToolButton::clicked, this, [this, window] { OnToggle(window); });
    caption->addWidget(toggle);
    column->addLayout(caption);
    auto* home = new QWidget(slot);
    auto* homeLayout = new QVBoxLayout(home);
    homeLayout->setContentsMargins(0, 0, 0, 0);
    home->setFixedSize(CVideoPicture::kWidth, CVideoPicture::kHeight);
    auto* picture = new CVideoPicture(home);
    picture->setObjectName(QStringLiteral("video%1").arg(window));
    homeLayout->addWidget(picture);
    connect(picture, &CVideoPicture::ContextMenuAt, this,
            [this, window](const QPoint& at) { OnPictureMenu(window, at); });
    column->addWidget(home);
    m_pictures[Index(window)] = picture;
    m_homes[Index(window)] = home;
    m_toggles[Index(window)] = toggle;
    return slot;
}

IVideoSurface* CRoomVideoPanel::Surface(int window) {
    return window >= VIDEO_PRIVATE && window <= VIDEO_OWN ? m_pictures[Index(window)] : nullptr;
}

void CRoomVideoPanel::SetToggle(int window, const QString& text) {
    if (QToolButton* toggle = m_toggles[Index(window)]; toggle && window != VIDEO_PRIVATE) {
        toggle->setText(text);
    }
}

void CRoomVideoPanel::SetBackground(int window, EVideoPicture picture) {
    m_pictures[Index(window)]->SetBackground(picture);
}

void CRoomVideoPanel::SetOwnVideo(bool open) {
    m_ownOpen = open;
    SetToggle(VIDEO_OWN, LoadString(open ? IDS_VIDEO_TOGGLE_CLOSE : IDS_VIDEO_TOGGLE_OPEN));
    m_pictures[VIDEO_OWN]->SetBackground(open ? EVideoPicture::Open : EVideoPicture::Closed);
}

void CRoomVideoPanel::ShowPopOut(int window, bool shown) {
    if (window < VIDEO_PRIVATE || window > VIDEO_OWN) {
        return;
    }
    CVideoDlg*& dialog = m_popOuts[Index(window)];
    if (shown) {
        if (!dialog) {
            dialog = new CVideoDlg(
                WindowTitle(window),
                [this, window] {
                    if (CRoomVideo* video = Video()) {
                        video->PopIn(window);
                    }
                },
                window == VIDEO_PRIVATE ? nullptr : this);
            dialog->setAttribute(Qt::WA_DeleteOnClose, false);
        }
        dialog->Take(m_pictures[Index(window)]);
        return;
    }
    if (dialog) {
        dialog->GiveBack(m_homes[Index(window)]);
    }
}

void CRoomVideoPanel::OnToggle(int window) {
    CRoomVideo* video = Video();
    if (!video) {
        return;
    }
    if (window == VIDEO_OWN) {
        if (m_ownOpen) {
            video->CloseOwnVideo();
        } else {
            video->OpenOwnVideo();
        }
    } else if (video->Receiving().IsOpen(window)) {
        video->Receiving().CloseVideo(window, false);
    } else {
        video->Receiving().OpenVideo(window);
    }
}

void CRoomVideoPanel::OnPictureMenu(int window, const QPoint& at) {
    CRoomVideo* video = Video();
    if (!video || (window != VIDEO_1 && window != VIDEO_2)) {
        return;
    }
    // A public picture's menu is the member menu of whoever holds the slot.
    const QString holder = video->Receiving().Holder(window);
    if (!holder.isEmpty() && m_memberMenu) {
        m_memberMenu(holder, at);
    }
}

void CRoomVideoPanel::RefreshMenu() {
    m_menu->clear();
    CRoomVideo* video = Video();
    const bool sending = video && video->Sending().IsOpen();
    m_menu
        ->addAction(LoadString(sending ? IDS_UI_VIDEO_CLOSE_OWN : IDS_UI_VIDEO_OPEN_OWN), this,
                    [this] { OnToggle(VIDEO_OWN); })
        ->setEnabled(video != nullptr);
    QAction* send = m_menu->addAction(LoadString(IDS_UI_VIDEO_SEND));
    send->setCheckable(true);
    send->setChecked(!video || video->Sending().Switch());
    send->setEnabled(video != nullptr);
    connect(send, &QAction::toggled, this, [this](bool on) {
        if (CRoomVideo* v = Video()) {
            v->Sending().SetSwitch(on);
        }
    });
    m_menu
        ->addAction(LoadString(IDS_VIDEO_CAMERA_TITLE), this,
                    [this] {
                        if (CRoomVideo* v = Video()) {
                            v->ShowCameraSettings();
                        }
                    })
        ->setEnabled(sending);
    m_menu->addSeparator();
    for (int window : {VIDEO_OWN, VIDEO_1, VIDEO_2}) {
        m_menu->addAction(
            LoadString(IDS_UI_VIDEO_CAPTURE) + QStringLiteral(": ") + WindowTitle(window), this,
            [this, window] {
                if (CRoomVideo* v = Video()) {
                    v->CapturePicture(window);
                }
            });
    }
    m_menu->addSeparator();
    for (int window : {VIDEO_OWN, VIDEO_1, VIDEO_2}) {
        m_menu->addAction(
            LoadString(IDS_UI_VIDEO_POP_OUT) + QStringLiteral(": ") + WindowTitle(window), this,
            [this, window] {
                if (CRoomVideo* v = Video()) {
                    v->PopOut(window);
                }
            });
    }
    if (m_extras) {
        m_menu->addSeparator();
        m_extras(m_menu);
    }
}
