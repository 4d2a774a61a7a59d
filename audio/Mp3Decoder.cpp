#include "audio/Mp3Decoder.h"

#include <mpg123.h>

#include <algorithm>
#include <cstring>
#include <mutex>

namespace {

void InitLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { mpg123_init(); });
}

}  // namespace

CMp3Decoder::CMp3Decoder() {
    InitLibrary();
    Restart();
}

CMp3Decoder::~CMp3Decoder() {
    if (m_pHandle != nullptr) {
        mpg123_close(m_pHandle);
        mpg123_delete(m_pHandle);
    }
}

void CMp3Decoder::Restart() {
    if (m_pHandle != nullptr) {
        mpg123_close(m_pHandle);
        mpg123_delete(m_pHandle);
        m_pHandle = nullptr;
    }
    int error = MPG123_OK;
    mpg123_handle* h = mpg123_new(nullptr, &error);
    if (h == nullptr)
        return;
    mpg123_param(h, MPG123_FLAGS, MPG123_QUIET, 0.0);
    // Every layer III rate, 16-bit output only: the players take nothing else.
    mpg123_format_none(h);
    const long* rates = nullptr;
    size_t count = 0;
    mpg123_rates(&rates, &count);
    for (size_t i = 0; i < count; ++i)
        mpg123_format(h, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    if (mpg123_open_feed(h) != MPG123_OK) {
        mpg123_delete(h);
        return;
    }
    m_pHandle = h;
}

size_t CMp3Decoder::Decode(const unsigned char* data, size_t length, unsigned char* out,
                           size_t outCapacity) {
    if (m_pHandle == nullptr)
        return 0;
    size_t total = 0;
    size_t done = 0;
    const unsigned char* in = data;
    size_t inLength = data != nullptr ? length : 0;
    for (;;) {
        int ret = mpg123_decode(m_pHandle, in, inLength, m_scratch, sizeof m_scratch, &done);
        in = nullptr;
        inLength = 0;
        if (ret == MPG123_NEW_FORMAT) {
            int encoding = 0;
            mpg123_getformat(m_pHandle, &m_nRate, &m_nChannels, &encoding);
        }
        if (done > 0 && out != nullptr) {
            const size_t take = std::min(done, outCapacity - std::min(outCapacity, total));
            std::memcpy(out + total, m_scratch, take);
            total += take;
        }
        if (ret == MPG123_OK || ret == MPG123_NEW_FORMAT)
            continue;
        if (ret == MPG123_NEED_MORE || ret == MPG123_DONE)
            break;
        // A broken frame ends this packet; what was decoded before it still plays.
        break;
    }
    // Garbage that never syncs would otherwise pile up in the feed buffer packet after packet.
    long held = 0;
    if (mpg123_getstate(m_pHandle, MPG123_BUFFERFILL, &held, nullptr) == MPG123_OK &&
        static_cast<size_t>(held) > kMaxHeldInput)
        Restart();
    return total;
}
