#include "protocol/KWinSocket.h"

#include <atomic>

namespace {
std::atomic<int> g_windowCounter{0};
}

CKWinSocket::CKWinSocket()
    : CSocketClient(kRouteFrame),
      m_windowName(
          QStringLiteral("Zel Socket Notification Sink-%1").arg(g_windowCounter.fetch_add(1))) {}
