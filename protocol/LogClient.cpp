#include "protocol/LogClient.h"

#include "platform/CodePage.h"
#include "platform/TraceMessage.h"
#include "protocol/Commands.h"

#include <QByteArrayView>

namespace {
constexpr qsizetype kMaxTextBytes = 16000;
}  // namespace

void CLogClient::SetMute(bool mute) {
    m_enabled.store(!mute, std::memory_order_relaxed);
}

int CLogClient::Log(int code, const char* tag, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int result = LogV(code, tag, format, args);
    va_end(args);
    return result;
}

int CLogClient::LogV(int code, const char* tag, const char* format, va_list args) {
    if (!IsEnabled()) {
        return -1;
    }
    const QString text =
        QString::fromUtf8(tag ? tag : "") + QLatin1Char(':') + FormatTraceMessage(format, args);
    QByteArray bytes = ToAnsi(text);
    // The message is already cut; a tag out of all measure must still leave a packet the
    // receiver accepts.
    if (bytes.size() > kMaxTextBytes) {
        bytes.truncate(kMaxTextBytes);
    }
    CKParam packet;
    packet.SetShortInt(KEY_COMMAND, CMD_LOG_LINE);
    packet.SetInt(LogLineKey::CODE, code);
    packet.SetInt(LogLineKey::LENGTH, static_cast<int>(bytes.size()));
    packet.SetChar(LogLineKey::TEXT, bytes.constData(), static_cast<unsigned short>(bytes.size()));
    packet.SetInt(KEY_SEQUENCE, m_number.fetch_add(1, std::memory_order_relaxed));
    return SendPacket(packet);
}

int CLogClient::OnKReceive(CKParam& packet) {
    if (packet.Command() != CMD_LOG_LINE) {
        return 0;
    }
    char* word = nullptr;
    unsigned short n = 0;
    if (packet.GetCharNC(LogLineKey::WORD, &word, n) != 0) {
        return 0;
    }
    const QByteArrayView command(word, n);
    if (command.compare("getusers", Qt::CaseInsensitive) == 0 ||
        command.compare("goback", Qt::CaseInsensitive) == 0) {
        // The log server's two known words; neither asks anything of this side.
    }
    return 0;
}
