#include "server/Admission.h"

CAdmission::EAccept CAdmission::Accept(CAsyncSocket& listening, CAsyncSocket& connection,
                                       QString& address) {
    if (!listening.Accept(connection)) {
        return EAccept::NoneWaiting;
    }
    unsigned port = 0;
    connection.GetPeerName(address, port);
    if (!Admit(address)) {
        connection.Close();
        return EAccept::Refused;
    }
    return EAccept::Admitted;
}

bool CAdmission::Admit(const QString& address) {
    if (m_count >= m_limits.maxConnections) {
        return false;
    }
    int& fromAddress = m_perAddress[address];
    if (m_limits.maxConnectionsPerAddress > 0 && fromAddress >= m_limits.maxConnectionsPerAddress) {
        return false;
    }
    ++fromAddress;
    ++m_count;
    return true;
}

void CAdmission::Release(const QString& address) {
    auto it = m_perAddress.find(address);
    if (it == m_perAddress.end()) {
        return;
    }
    --m_count;
    if (--it->second <= 0) {
        m_perAddress.erase(it);
    }
}
