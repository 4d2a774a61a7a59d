#include "app/client/HallRelay.h"

#include "hall/TavoClientDlg.h"

void CHallRelay::RequestRoomAddress(int room) {
    if (m_hall) {
        m_hall->RequestRoomAddress(room);
    }
}

void CHallRelay::SetHallStatus(const QString& text) {
    if (m_hall) {
        m_hall->SetHallStatus(text);
    }
}

void CHallRelay::ShowHall(bool show) {
    if (m_hall) {
        m_hall->ShowHall(show);
    }
}

void CHallRelay::StartVerifyTimer(bool start) {
    if (m_hall) {
        m_hall->StartVerifyTimer(start);
    }
}

void CHallRelay::OpenLogin() {
    if (m_hall) {
        m_hall->OpenLogin();
    }
}

void CHallRelay::PostToHall(unsigned msg, unsigned wParam, long lParam) {
    if (m_hall) {
        m_hall->PostToHall(msg, wParam, lParam);
    }
}
