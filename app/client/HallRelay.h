#pragma once
// The room side needs the hall's services from its construction, while the hall window's
// logic exists only while the hall runs. The relay stands in between: it forwards to the hall
// once the hall is there and drops what arrives before.

#include "core/RoomGateway.h"

class CTavoClientDlg;

class CHallRelay : public IHallServices {
public:
    void Attach(CTavoClientDlg* hall) { m_hall = hall; }

    void RequestRoomAddress(int room) override;
    void SetHallStatus(const QString& text) override;
    void ShowHall(bool show) override;
    void StartVerifyTimer(bool start) override;
    void OpenLogin() override;
    void PostToHall(unsigned msg, unsigned wParam, long lParam) override;

private:
    CTavoClientDlg* m_hall = nullptr;
};
