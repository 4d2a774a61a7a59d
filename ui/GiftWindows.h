#pragma once
// The give dialog's window and the gift animations: each animation is a frameless, topmost
// window of its own, centred on the screen, that plays its picture and closes itself after its
// time; several can be up at once and none takes anything from the room once it is shown.

#include "room/Gifts.h"

#include <QPointer>
#include <QWidget>

class CQtDialogHost;
class QLabel;
class QMovie;
class QNetworkAccessManager;

void RegisterGiftDialogs(CQtDialogHost& host);

class CGiftFlashWindow : public QWidget {
public:
    // source: what the room allowed, a local picture or an address of our service.
    explicit CGiftFlashWindow(const tagGiftAnimation& animation,
                              QNetworkAccessManager* network = nullptr);
    ~CGiftFlashWindow() override;

private:
    void Play(QIODevice* device, const QString& file);

    tagGiftAnimation m_animation;
    QLabel* m_picture;
    QMovie* m_movie = nullptr;
};

// Where the room's animations go on the desktop.
class CGiftAnimations : public IGiftView {
public:
    CGiftAnimations();
    ~CGiftAnimations() override;
    void ShowGiftAnimation(const tagGiftAnimation& animation) override;
    int Open() const;

private:
    QNetworkAccessManager* m_network;
    std::vector<QPointer<CGiftFlashWindow>> m_windows;
};
