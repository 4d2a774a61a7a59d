#pragma once
// Files between the two members of the private room. The user offers a file (633); when the
// peer agrees (634) it is sent. An offer from the peer (635) asks the user whether to take it
// and where to keep it; the answer (636) is yes only once a folder was chosen. One offer of
// each side is open at a time: a second of the user's is refused with a line, a second of the
// peer's with a no. The bytes
// travel over the direct link when it is up and through the room connection otherwise.

#include "platform/DialogHost.h"
#include "room/FileTransfer.h"
#include "room/PrivateLinks.h"

#include <QString>

#include <memory>

class CPrivateLink;
class CSocketClient;

// The file dialogs of the private room: the file to offer, the folder to save in.
class CFileChoiceDlg : public CDialogModel {
public:
    // The common file dialogs have no template of the system's; these numbers are ours.
    enum : int { IDD_FILE_TO_SEND = 32002, IDD_FOLDER_TO_SAVE = 32003 };

    explicit CFileChoiceDlg(int templateId) : CDialogModel(templateId) {}
    bool ChoosesFolder() const { return TemplateId() == IDD_FOLDER_TO_SAVE; }
    void SetPath(const QString& path) { m_path = path; }
    QString Path() const { return m_path; }
    // The path after OK when it names what the dialog asks for; empty otherwise.
    QString ChosenPath() const;

private:
    QString m_path;
};

class CPrivateFiles : public IPrivateFiles, public IFileTransferView {
public:
    // Installs itself in the private room for its lifetime; service is the room connection
    // the files take when the link is down.
    CPrivateFiles(CPrivateRoomDlg& room, CPrivateLink& link, CSocketClient& service);
    ~CPrivateFiles() override;
    CPrivateFiles(const CPrivateFiles&) = delete;
    CPrivateFiles& operator=(const CPrivateFiles&) = delete;

    CFileTransfer& Transfer() { return *m_transfer; }

    // IPrivateFiles
    void Offer(CPrivateRoomDlg& room) override;
    void OnOfferReply(CPrivateRoomDlg& room, CKParam& packet) override;
    void OnOffered(CPrivateRoomDlg& room, CKParam& packet) override;
    void OnFilePacket(CKParam& packet) override;
    void Close() override;

    // IFileTransferView
    void OnFileProgress(const tagFileProgress& progress) override;
    void OnFileFinished(const tagFileProgress& progress, EFileOutcome outcome,
                        const QString& path) override;

private:
    void Answer(bool agreed);

    CPrivateRoomDlg& m_room;
    CPrivateLink& m_link;
    CFileRoute m_route;
    std::unique_ptr<CFileTransfer> m_transfer;
    // The file of our offer, while the peer has not answered.
    QString m_offered;
    // The user is being asked about an offer of the peer.
    bool m_asking = false;
    int m_lastPercent = -1;
};
