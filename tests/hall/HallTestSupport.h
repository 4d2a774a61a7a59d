#pragma once
// What the hall tests share: a small web server for documents, the application state installed
// for a test, and packets built the way the hall server builds its replies.

#include "hall/AppState.h"
#include "hall/HallView.h"
#include "protocol/KParam.h"

#include <QAbstractHttpServer>
#include <QByteArray>
#include <QString>

#include <map>
#include <vector>

namespace tavotest {

// A real HTTP server on 127.0.0.1 serving documents from memory; any other path is 404.
class CDocumentServer : public QAbstractHttpServer {
public:
    struct Document {
        QByteArray body;
        QByteArray contentType;
    };

    bool Start();
    quint16 Port() const { return m_port; }
    QString Url(const QString& path) const;
    void Put(const QString& path, const QByteArray& body,
             const QByteArray& contentType = QByteArrayLiteral("text/xml"));
    // How many times a path was asked for.
    int Hits(const QString& path) const;

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    quint16 m_port = 0;
    std::map<QString, Document> m_documents;
    std::map<QString, int> m_hits;
};

// The hall as a person would see it: what each list shows, the lines of text, the tray tip. It
// measures text as a fixed-pitch font would (7 per ASCII character, 14 per other character).
class CRecordingView : public IHallView {
public:
    void SetAreaList(int list, const std::vector<tagListEntry>& entries) override {
        areas[list] = entries;
    }
    void SetRoomList(const std::vector<tagListEntry>& entries) override;
    void SetRoomMark(int index, EListMark mark) override { marks[index] = mark; }
    void SetRoomNumberText(const QString& text) override { roomNumber = text; }
    QString RoomNumberText() const override { return roomNumber; }
    void SetInformation(const QString& text) override { information = text; }
    void SetStatus(const QString& text) override { status = text; }
    void ShowHall(bool show) override { shown = show; }
    void SetTitle(const QString& text) override { title = text; }
    void SetTrayTip(const QString& tip) override { trayTip = tip; }
    void SetPanelAddress(EHallPanel panel, const QString& address) override {
        panels[panel] = address;
    }
    void RefreshAccount() override { ++accountRefreshes; }
    void ShowListWait(bool visible, const QString& title, const QString& status) override;
    int TextWidth(const QString& text) const override;
    int RoomColumnWidth() const override { return columnWidth; }
    int ScreenWidth() const override { return screenWidth; }
    int ScreenHeight() const override { return screenHeight; }
    bool ChangeDisplayMode(int width, int height) override;
    void RestoreDisplayMode() override { ++restores; }

    std::map<int, std::vector<tagListEntry>> areas;
    std::vector<tagListEntry> rooms;
    std::map<int, EListMark> marks;
    QString roomNumber, information, status, title, trayTip;
    bool shown = true;
    std::map<EHallPanel, QString> panels;
    int accountRefreshes = 0;
    bool listWaitVisible = false;
    QString listWaitTitle, listWaitStatus;
    int columnWidth = 140;
    int screenWidth = 1920;
    int screenHeight = 1080;
    bool displayChangeWorks = true;
    std::vector<std::pair<int, int>> displayChanges;
    int restores = 0;
};

// Installs an application state for the life of a test.
class CStateScope {
public:
    CStateScope() { CAppState::Set(&state); }
    ~CStateScope() { CAppState::Set(nullptr); }
    CStateScope(const CStateScope&) = delete;
    CStateScope& operator=(const CStateScope&) = delete;
    CAppState state;
};

// A reply: command, then the result (key 20) and, when given, a refusal code (key 21).
void MakeReply(CKParam& reply, short command, int result);
void MakeRefusal(CKParam& reply, short command, int result, int refusal);

// Writes a file, making its folder.
bool WriteFile(const QString& path, const QByteArray& bytes);

}  // namespace tavotest
