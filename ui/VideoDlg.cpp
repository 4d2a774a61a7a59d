#include "ui/VideoDlg.h"

#include "ui/Icons.h"
#include "ui/VideoPicture.h"

#include <QCloseEvent>
#include <QLayout>

CVideoDlg::CVideoDlg(const QString& title, std::function<void()> closed, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowCloseButtonHint | Qt::WindowTitleHint),
      m_closed(std::move(closed)) {
    setObjectName(QStringLiteral("VideoDlg"));
    setWindowTitle(title);
    setWindowIcon(CIcons::App());
    setFixedSize(CVideoPicture::kWidth, CVideoPicture::kHeight);
}

void CVideoDlg::Take(CVideoPicture* picture) {
    m_picture = picture;
    picture->setParent(this);
    picture->move(0, 0);
    picture->show();
    show();
    raise();
}

void CVideoDlg::GiveBack(QWidget* home) {
    if (m_picture) {
        m_picture->setParent(home);
        if (home && home->layout()) {
            home->layout()->addWidget(m_picture);
        }
        m_picture->show();
        m_picture = nullptr;
    }
    hide();
}

void CVideoDlg::closeEvent(QCloseEvent* event) {
    // The room decides: it takes the picture back through GiveBack.
    event->ignore();
    if (m_closed) {
        m_closed();
    }
}
