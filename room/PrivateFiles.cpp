#include "room/PrivateFiles.h"

#include "platform/Prompt.h"
#include "platform/StringIds.h"
#include "platform/StringTable.h"
#include "protocol/Commands.h"
#include "protocol/keys/PrivateChatKeys.h"
#include "room/PrivateLink.h"
#include "room/PrivateRoomDlg.h"
#include "room/PrivateRoomView.h"
#include "room/RoomStrings.h"

#include <QFileInfo>

QString CFileChoiceDlg::ChosenPath() const {
    if (Result() != IDOK || m_path.isEmpty()) {
        return QString();
    }
    const QFileInfo info(m_path);
    const bool fits = ChoosesFolder() ? info.isDir() : info.isFile() && info.isReadable();
    return fits ? info.absoluteFilePath() : QString();
}

CPrivateFiles::CPrivateFiles(CPrivateRoomDlg& room, CPrivateLink& link, CSocketClient& service)
    : m_room(room),
      m_link(link),
      m_route(link.Outgoing(), link.Accepted(), service),
      m_transfer(std::make_unique<CFileTransfer>(m_route, this)) {
    m_link.SetPathListener([this](bool writable) {
        if (writable) {
            m_transfer->OnPathWritable();
        } else {
            m_transfer->OnPathChanged();
        }
    });
    m_room.SetFiles(this);
}

CPrivateFiles::~CPrivateFiles() {
    m_room.SetFiles(nullptr);
    m_link.SetPathListener(nullptr);
}

void CPrivateFiles::Offer(CPrivateRoomDlg& room) {
    if (!m_offered.isEmpty()) {
        // One offer at a time: its answer must find its file.
        room.AddSystemLine(LoadString(IDS_FILE_OFFER_WAITING));
        return;
    }
    CFileChoiceDlg dialog(CFileChoiceDlg::IDD_FILE_TO_SEND);
    dialog.DoModal();
    const QString path = dialog.ChosenPath();
    if (path.isEmpty() || !room.IsActive()) {
        return;
    }
    CKParam offer;
    offer.SetShortInt(KEY_COMMAND, CMD_FILE_OFFER);
    if (room.SendMain(offer) >= 0) {
        m_offered = path;
    }
}

void CPrivateFiles::OnOfferReply(CPrivateRoomDlg& room, CKParam& packet) {
    const QString path = std::exchange(m_offered, QString());
    if (path.isEmpty()) {
        return;
    }
    const QString name = QFileInfo(path).fileName();
    if (!packet.BoolOr(FileOfferKey::AGREED, false)) {
        room.AddSystemLine(HtmlEscape(FileOutcomeText(EFileOutcome::Refused, true, name)));
        return;
    }
    if (m_transfer->Send(path) < 0) {
        room.AddSystemLine(HtmlEscape(FileOutcomeText(EFileOutcome::ReadFailed, true, name)));
    }
}

void CPrivateFiles::OnOffered(CPrivateRoomDlg& room, CKParam&) {
    // The user is asked one offer at a time; a peer offering again meanwhile is told no at
    // once, so that offers cannot pile questions on the screen.
    if (m_asking) {
        Answer(false);
        return;
    }
    m_asking = true;
    bool agreed = MessageBox(LoadString(IDS_FILE_OFFERED), QStringLiteral("Warning"),
                             MB_YESNO | MB_ICONQUESTION) == IDYES;
    if (agreed) {
        CFileChoiceDlg dialog(CFileChoiceDlg::IDD_FOLDER_TO_SAVE);
        dialog.DoModal();
        const QString folder = dialog.ChosenPath();
        // The room may have closed while the user chose.
        agreed = room.IsActive() && !folder.isEmpty() && m_transfer->Expect(folder);
    }
    m_asking = false;
    Answer(agreed);
}

void CPrivateFiles::Answer(bool agreed) {
    CKParam answer;
    answer.SetShortInt(KEY_COMMAND, CMD_FILE_ANSWER);
    answer.SetBoolean(FileOfferKey::AGREED, agreed);
    m_room.SendMain(answer);
}

void CPrivateFiles::OnFilePacket(CKParam& packet) {
    m_transfer->OnPacket(packet);
}

void CPrivateFiles::Close() {
    m_offered.clear();
    m_transfer->CancelAll();
}

void CPrivateFiles::OnFileProgress(const tagFileProgress& progress) {
    const int percent =
        progress.size > 0 ? static_cast<int>(progress.done * 100 / progress.size) : 100;
    if (percent != m_lastPercent) {
        m_lastPercent = percent;
        m_room.View().ShowFileProgress(progress.name, progress.sending, percent);
    }
}

void CPrivateFiles::OnFileFinished(const tagFileProgress& progress, EFileOutcome outcome,
                                   const QString&) {
    m_lastPercent = -1;
    m_room.View().ShowFileProgress(progress.name, progress.sending, -1);
    m_room.AddSystemLine(HtmlEscape(FileOutcomeText(outcome, progress.sending, progress.name)));
}
