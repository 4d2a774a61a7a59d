#include "ui/PrivateRoomWindow.h"

#include "core/AppState.h"
#include "platform/StringIds.h"
#include "platform/StringTable.h"
#include "protocol/keys/PrivateChatKeys.h"
#include "room/PrivateRoomDlg.h"
#include "ui/ChatBrowser.h"
#include "ui/Icons.h"
#include "ui/RoomWindow.h"
#include "ui/ScreenFit.h"
#include "ui/VideoPicture.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

CPrivateRoomWindow::CPrivateRoomWindow(CPrivateRoomDlg& room, const QString& programFolder,
                                       QWidget* parent)
    : QWidget(parent, Qt::Window), m_room(room) {
    setObjectName(QStringLiteral("PrivateRoomWindow"));
    setWindowIcon(CIcons::App());
    resize(560, 640);
    auto* layout = new QVBoxLayout(this);

    auto* menus = new QMenuBar(this);
    QMenu* music = menus->addMenu(LoadString(IDS_UI_PRIVATE_MUSIC));
    m_music = music->addAction(LoadString(IDS_OP_PLAY_MUSIC), this, [this] {
        m_room.MusicPlaying() ? m_room.StopMusic() : m_room.PlayMusic();
    });
    m_music->setCheckable(true);
    QMenu* quality = menus->addMenu(LoadString(IDS_UI_PRIVATE_QUALITY));
    auto* qualities = new QActionGroup(this);
    const int names[3] = {IDS_QUALITY_SPEECH, IDS_QUALITY_SINGING, IDS_QUALITY_HIFI};
    const int values[3] = {3, 2, 1};
    for (int i = 0; i < 3; ++i) {
        m_quality[i] = quality->addAction(LoadString(names[i]), this,
                                          [this, q = values[i]] { m_room.ChangeQuality(q); });
        m_quality[i]->setCheckable(true);
        qualities->addAction(m_quality[i]);
    }
    QMenu* bandwidth = menus->addMenu(LoadString(IDS_UI_PRIVATE_BANDWIDTH));
    m_narrow = bandwidth->addAction(LoadString(IDS_NARROWBAND), this,
                                    [this] { m_room.SetBandwidth(BANDWIDTH_NARROW); });
    m_broad = bandwidth->addAction(LoadString(IDS_BROADBAND), this,
                                   [this] { m_room.SetBandwidth(BANDWIDTH_BROAD); });
    for (QAction* a : {m_narrow, m_broad}) {
        a->setCheckable(true);
    }
    m_recordMenu = menus->addMenu(LoadString(IDS_UI_RECORD_TITLE));
    connect(m_recordMenu, &QMenu::aboutToShow, this, [this] {
        m_recordMenu->clear();
        if (m_recordEntries) {
            m_recordEntries(m_recordMenu);
        }
    });
    layout->setMenuBar(menus);

    auto* videos = new QGridLayout;
    m_peerVideo = new CVideoPicture(this);
    m_peerVideo->setObjectName(QStringLiteral("peerVideo"));
    m_ownVideo = new CVideoPicture(this);
    m_ownVideo->setObjectName(QStringLiteral("ownVideo"));
    videos->addWidget(new QLabel(LoadString(IDS_UI_PRIVATE_PEER_VIDEO), this), 0, 0);
    videos->addWidget(new QLabel(LoadString(IDS_UI_PRIVATE_OWN_VIDEO), this), 0, 1);
    videos->addWidget(m_peerVideo, 1, 0);
    videos->addWidget(m_ownVideo, 1, 1);
    layout->addLayout(videos);

    m_chat = new CChatBrowser(this);
    m_chat->setObjectName(QStringLiteral("privateChat"));
    m_chat->SetProgramFolder(programFolder);
    m_chatView = std::make_unique<CRoomChatView>(*m_chat);
    layout->addWidget(m_chat, 1);

    auto* input = new QHBoxLayout;
    m_input = new QLineEdit(this);
    m_input->setObjectName(QStringLiteral("input"));
    auto* send = new QPushButton(LoadString(IDS_UI_PRIVATE_SEND), this);
    send->setObjectName(QStringLiteral("send"));
    connect(m_input, &QLineEdit::returnPressed, this, [this] { Send(); });
    connect(send, &QPushButton::clicked, this, [this] { Send(); });
    input->addWidget(m_input, 1);
    input->addWidget(send);
    layout->addLayout(input);

    auto* controls = new QHBoxLayout;
    m_speak = new QPushButton(LoadString(IDS_UI_PRIVATE_SPEAK), this);
    m_speak->setObjectName(QStringLiteral("speak"));
    m_speak->setCheckable(true);
    connect(m_speak, &QPushButton::clicked, this, [this](bool on) {
        on ? m_room.BeginSpeaking() : (m_room.EndSpeaking(), 0);
        m_speak->setChecked(m_room.IsCapturing());
    });
    m_meter = new QProgressBar(this);
    m_meter->setRange(0, 100);
    m_meter->setTextVisible(false);
    m_meter->setMaximumHeight(10);
    auto* camera = new QPushButton(LoadString(IDS_UI_PRIVATE_OWN_VIDEO), this);
    camera->setObjectName(QStringLiteral("ownVideoToggle"));
    camera->setCheckable(true);
    connect(camera, &QPushButton::clicked, this, [this, camera](bool on) {
        IPrivateVideo* video = m_room.Video();
        if (!video) {
            camera->setChecked(false);
            return;
        }
        if (!on) {
            video->CloseOwn();
        } else if (video->OpenOwn() != 0) {
            camera->setChecked(false);
        }
    });
    auto* file = new QPushButton(LoadString(IDS_UI_PRIVATE_FILE), this);
    file->setObjectName(QStringLiteral("sendFile"));
    connect(file, &QPushButton::clicked, this, [this] { m_room.OfferFile(); });
    auto* gift = new QPushButton(LoadString(IDS_OP_GIFT), this);
    gift->setObjectName(QStringLiteral("giveGift"));
    connect(gift, &QPushButton::clicked, this, [this] { m_room.AskGift(); });
    auto* leave = new QPushButton(LoadString(IDS_UI_PRIVATE_LEAVE), this);
    leave->setObjectName(QStringLiteral("leave"));
    connect(leave, &QPushButton::clicked, this, [this] { m_room.Close(); });
    controls->addWidget(m_speak);
    controls->addWidget(m_meter, 1);
    controls->addWidget(camera);
    controls->addWidget(gift);
    controls->addWidget(file);
    controls->addWidget(leave);
    layout->addLayout(controls);
    // Shown while a file is on its way, in either direction.
    m_fileProgress = new QProgressBar(this);
    m_fileProgress->setObjectName(QStringLiteral("fileProgress"));
    m_fileProgress->setRange(0, 100);
    m_fileProgress->hide();
    layout->addWidget(m_fileProgress);
}

CPrivateRoomWindow::~CPrivateRoomWindow() = default;

IChatView* CPrivateRoomWindow::ChatView() {
    return m_chatView.get();
}

void CPrivateRoomWindow::Send() {
    if (m_room.SendText(m_input->text()) == 0) {
        m_input->clear();
    }
}

void CPrivateRoomWindow::ShowPrivateWindow(bool show) {
    setVisible(show);
    if (show) {
        raise();
        activateWindow();
    }
}

void CPrivateRoomWindow::SetTitle(const QString& title) {
    setWindowTitle(title);
}

void CPrivateRoomWindow::SetQualityMark(int menuItem) {
    const int items[3] = {ID_QUALITY_SPEECH, ID_QUALITY_SINGING, ID_QUALITY_HIFI};
    for (int i = 0; i < 3; ++i) {
        m_quality[i]->setChecked(items[i] == menuItem);
    }
}

void CPrivateRoomWindow::SetBandwidth(int mode) {
    m_narrow->setChecked(mode == BANDWIDTH_NARROW);
    m_broad->setChecked(mode == BANDWIDTH_BROAD);
}

void CPrivateRoomWindow::SetMusic(bool playing) {
    m_music->setChecked(playing);
}

void CPrivateRoomWindow::SetSpeakButton(bool pressed) {
    m_speak->setChecked(pressed);
}

void CPrivateRoomWindow::SetMeter(int value) {
    m_meter->setValue(value);
}

void CPrivateRoomWindow::ShowFileProgress(const QString& name, bool, int percent) {
    m_fileProgress->setFormat(name + QStringLiteral(" %p%"));
    m_fileProgress->setValue(std::max(percent, 0));
    m_fileProgress->setVisible(percent >= 0);
}

IVideoSurface* CPrivateRoomWindow::VideoSurface(int area) {
    return area == PRIVATE_VIDEO_OWN ? static_cast<IVideoSurface*>(m_ownVideo)
                                     : static_cast<IVideoSurface*>(m_peerVideo);
}

void CPrivateRoomWindow::SetVideoPicture(int area, EVideoPicture picture) {
    (area == PRIVATE_VIDEO_OWN ? m_ownVideo : m_peerVideo)->SetBackground(picture);
}

void CPrivateRoomWindow::setVisible(bool visible) {
    if (visible && !m_fitted && !isVisible()) {
        m_fitted = true;
        FitWindowToScreen(*this, CAppState::Get().fitWindowsToScreen);
    }
    QWidget::setVisible(visible);
}

void CPrivateRoomWindow::closeEvent(QCloseEvent* event) {
    // Leaving is the private room's: it hides this window once it has let go.
    event->ignore();
    m_room.Close();
}
