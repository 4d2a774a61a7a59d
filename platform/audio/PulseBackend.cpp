#include "platform/audio/PulseBackend.h"

#include "platform/audio/PulseContext.h"
#include "platform/audio/PulseMixer.h"
#include "platform/audio/WaveSystem.h"

#include <algorithm>
#include <mutex>

namespace {

pa_sample_spec SpecOf(const tagWaveFormat& format) {
    pa_sample_spec spec;
    spec.format = PA_SAMPLE_S16LE;
    spec.rate = format.nSamplesPerSec;
    spec.channels = static_cast<uint8_t>(format.nChannels);
    return spec;
}

uint32_t BytesOfMs(const tagWaveFormat& format, unsigned ms) {
    const uint32_t frames = std::max<uint32_t>(1, format.nSamplesPerSec * ms / 1000);
    return frames * format.nBlockAlign;
}

// With the lock held: a stream of ours with its media role.
pa_stream* NewStream(CPulseContext& context, const char* name, const pa_sample_spec& spec) {
    pa_proplist* props = pa_proplist_new();
    pa_proplist_sets(props, PA_PROP_MEDIA_ROLE, CPulseContext::kStreamRole);
    pa_stream* stream = pa_stream_new_with_proplist(context.Context(), name, &spec, nullptr, props);
    pa_proplist_free(props);
    return stream;
}

void OnStreamState(pa_stream* s, void* loop) {
    CPulseContext::Signal(static_cast<pa_threaded_mainloop*>(loop));
}

void OnStreamSuccess(pa_stream* s, int success, void* loop) {
    CPulseContext::Signal(static_cast<pa_threaded_mainloop*>(loop));
}

class CPulseWaveIn : public CWaveInDevice {
public:
    CPulseWaveIn(const tagWaveFormat& format, WaveCallback callback,
                 std::shared_ptr<CPulseContext> context, CPulseMixer& mixer)
        : CWaveInDevice(format, std::move(callback)),
          m_context(std::move(context)),
          m_mixer(mixer) {}

    ~CPulseWaveIn() override {
        Reset();
        Close();
        Disconnect();
    }

    bool Connect() {
        // The line the recording mixer has selected, as a sound card's wave input records.
        const QString source = m_mixer.RecordingSource();
        if (!ConnectStream(source))
            return false;
        m_mixer.AttachRecorder(m_pStream, source);
        ReportOpened();
        return true;
    }

protected:
    int DoStart() override { return Cork(false); }
    int DoStop() override { return Cork(true); }
    void DoClose() override { Disconnect(); }

private:
    bool ConnectStream(const QString& source) {
        CPulseContext::CLock lock(*m_context);
        const pa_sample_spec spec = SpecOf(Format());
        m_pStream = NewStream(*m_context, "tavo capture", spec);
        if (m_pStream == nullptr)
            return false;
        pa_stream_set_state_callback(m_pStream, OnStreamState, m_context->Loop());
        pa_stream_set_read_callback(m_pStream, OnRead, this);
        pa_buffer_attr attr;
        attr.maxlength = static_cast<uint32_t>(-1);
        attr.tlength = static_cast<uint32_t>(-1);
        attr.prebuf = static_cast<uint32_t>(-1);
        attr.minreq = static_cast<uint32_t>(-1);
        // Small fragments: a block completes soon after its last sample was recorded.
        attr.fragsize = BytesOfMs(Format(), 20);
        const QByteArray device = source.toUtf8();
        if (pa_stream_connect_record(
                m_pStream, device.isEmpty() ? nullptr : device.constData(), &attr,
                static_cast<pa_stream_flags_t>(PA_STREAM_START_CORKED | PA_STREAM_ADJUST_LATENCY)) <
            0)
            return false;
        return m_context->WaitReady(m_pStream);
    }

    int Cork(bool cork) {
        CPulseContext::CLock lock(*m_context);
        if (m_pStream == nullptr || pa_stream_get_state(m_pStream) != PA_STREAM_READY)
            return MMSYSERR_ERROR;
        m_context->Wait(
            pa_stream_cork(m_pStream, cork ? 1 : 0, OnStreamSuccess, m_context->Loop()));
        return MMSYSERR_NOERROR;
    }

    void Disconnect() {
        // The mixer first: it takes the server's lock inside its own, never the other way.
        if (m_pStream != nullptr)
            m_mixer.DetachRecorder(m_pStream);
        CPulseContext::CLock lock(*m_context);
        if (m_pStream == nullptr)
            return;
        pa_stream_set_read_callback(m_pStream, nullptr, nullptr);
        pa_stream_set_state_callback(m_pStream, nullptr, nullptr);
        pa_stream_disconnect(m_pStream);
        pa_stream_unref(m_pStream);
        m_pStream = nullptr;
    }

    static void OnRead(pa_stream* s, size_t, void* self) {
        auto* me = static_cast<CPulseWaveIn*>(self);
        for (;;) {
            const void* data = nullptr;
            size_t n = 0;
            if (pa_stream_peek(s, &data, &n) < 0 || n == 0)
                return;
            // A hole in the stream reads as silence.
            me->Captured(static_cast<const char*>(data), n);
            pa_stream_drop(s);
        }
    }

    std::shared_ptr<CPulseContext> m_context;
    CPulseMixer& m_mixer;
    pa_stream* m_pStream = nullptr;
};

class CPulseWaveOut : public CWaveOutDevice {
public:
    CPulseWaveOut(const tagWaveFormat& format, WaveCallback callback,
                  std::shared_ptr<CPulseContext> context)
        : CWaveOutDevice(format, std::move(callback)), m_context(std::move(context)) {}

    ~CPulseWaveOut() override {
        Reset();
        Close();
        Disconnect();
    }

    bool Connect() {
        CPulseContext::CLock lock(*m_context);
        if (!ConnectLocked())
            return false;
        // Progress is polled while something plays: the library's own timing updates slow
        // down to seconds. Idle, the timer sleeps.
        m_pTimer = pa_context_rttime_new(m_context->Context(), PA_USEC_INVALID, OnTimer, this);
        ReportOpened();
        return true;
    }

protected:
    int DoWrite(const char* data, size_t n) override {
        CPulseContext::CLock lock(*m_context);
        if (m_pStream == nullptr || pa_stream_get_state(m_pStream) != PA_STREAM_READY)
            return MMSYSERR_ERROR;
        if (pa_stream_write(m_pStream, data, n, nullptr, 0, PA_SEEK_RELATIVE) < 0)
            return MMSYSERR_ERROR;
        m_nStreamBytes += n;
        Wake();
        return MMSYSERR_NOERROR;
    }

    // A fresh stream is the only way to drop what the server holds and know where playing
    // starts again.
    void DoFlush(uint64_t written) override {
        CPulseContext::CLock lock(*m_context);
        DisconnectStreamLocked();
        m_nOffset = written;
        ConnectLocked();
    }

    void DoClose() override { Disconnect(); }

private:
    static constexpr pa_usec_t kPollUsec = 20 * 1000;

    bool ConnectLocked() {
        const pa_sample_spec spec = SpecOf(Format());
        m_pStream = NewStream(*m_context, "tavo playback", spec);
        if (m_pStream == nullptr)
            return false;
        m_nStreamBytes = 0;
        m_bIdle = true;
        pa_stream_set_state_callback(m_pStream, OnStreamState, m_context->Loop());
        pa_stream_set_underflow_callback(m_pStream, OnUnderflow, this);
        pa_buffer_attr attr;
        attr.maxlength = static_cast<uint32_t>(-1);
        // A short target keeps the sink's own buffer short; writes beyond it still queue
        // (up to maxlength), so sixteen buffers are taken at once.
        attr.tlength = BytesOfMs(Format(), 100);
        // Playing starts with the first buffer: no waiting for a cushion.
        attr.prebuf = BytesOfMs(Format(), 10);
        attr.minreq = static_cast<uint32_t>(-1);
        attr.fragsize = static_cast<uint32_t>(-1);
        // Corked until there is something to play: a stream that only underruns keeps the
        // sink running (mixing silence, the sound card awake) and the server waking us.
        if (pa_stream_connect_playback(
                m_pStream, nullptr, &attr,
                static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_START_CORKED),
                nullptr, nullptr) < 0)
            return false;
        return m_context->WaitReady(m_pStream);
    }

    // With the lock held, after a write: playing, and watched until it is all heard.
    void Wake() {
        if (!m_bIdle)
            return;
        m_bIdle = false;
        m_nDrainedAt = 0;
        pa_operation_unref_safe(pa_stream_cork(m_pStream, 0, nullptr, nullptr));
        if (m_pTimer != nullptr)
            pa_context_rttime_restart(m_context->Context(), m_pTimer, pa_rtclock_now() + kPollUsec);
    }

    // With the lock held, once everything written has been heard.
    void Sleep() {
        m_bIdle = true;
        pa_operation_unref_safe(pa_stream_cork(m_pStream, 1, nullptr, nullptr));
        if (m_pTimer != nullptr)
            pa_context_rttime_restart(m_context->Context(), m_pTimer, PA_USEC_INVALID);
    }

    void DisconnectStreamLocked() {
        if (m_pStream == nullptr)
            return;
        pa_stream_set_state_callback(m_pStream, nullptr, nullptr);
        pa_stream_set_underflow_callback(m_pStream, nullptr, nullptr);
        pa_stream_disconnect(m_pStream);
        pa_stream_unref(m_pStream);
        m_pStream = nullptr;
    }

    void Disconnect() {
        CPulseContext::CLock lock(*m_context);
        if (m_pTimer != nullptr) {
            const pa_mainloop_api* api = pa_threaded_mainloop_get_api(m_context->Loop());
            api->time_free(m_pTimer);
            m_pTimer = nullptr;
        }
        DisconnectStreamLocked();
    }

    void Poll() {
        if (m_pStream != nullptr && pa_stream_get_state(m_pStream) == PA_STREAM_READY)
            pa_operation_unref_safe(pa_stream_update_timing_info(m_pStream, OnTiming, this));
    }

    static void pa_operation_unref_safe(pa_operation* op) {
        if (op != nullptr)
            pa_operation_unref(op);
    }

    static void OnTimer(pa_mainloop_api* api, pa_time_event* e, const struct timeval*, void* self) {
        auto* me = static_cast<CPulseWaveOut*>(self);
        me->Poll();
        if (!me->m_bIdle)
            pa_context_rttime_restart(me->m_context->Context(), e, pa_rtclock_now() + kPollUsec);
    }

    static void OnUnderflow(pa_stream* s, void* self) { static_cast<CPulseWaveOut*>(self)->Poll(); }

    static void OnTiming(pa_stream* s, int success, void* self) {
        auto* me = static_cast<CPulseWaveOut*>(self);
        if (!success || s != me->m_pStream)
            return;
        const pa_timing_info* ti = pa_stream_get_timing_info(s);
        if (ti == nullptr || ti->read_index_corrupt || ti->read_index < 0)
            return;
        // The sink has taken up to read_index; what it holds back (its latency) is still to
        // be heard.
        const pa_sample_spec spec = SpecOf(me->Format());
        const int64_t held = static_cast<int64_t>(pa_usec_to_bytes(ti->sink_usec, &spec));
        int64_t heard = std::max<int64_t>(0, ti->read_index - held);
        // Drained: the sink's latency counts the silence it plays after us too, so the last
        // of our sound is out once that much time has passed since it was taken.
        if (!ti->write_index_corrupt && ti->read_index >= ti->write_index) {
            const pa_usec_t now = pa_rtclock_now();
            if (me->m_nDrainedAt == 0 || me->m_nDrainedIndex != ti->read_index) {
                me->m_nDrainedAt = now;
                me->m_nDrainedIndex = ti->read_index;
            }
            if (now - me->m_nDrainedAt >= ti->sink_usec)
                heard = ti->read_index;
        } else {
            me->m_nDrainedAt = 0;
        }
        me->Played(me->m_nOffset + static_cast<uint64_t>(heard));
        // Timing asked for before the last write does not know of it: only a drain past all
        // we wrote lets the stream sleep.
        if (!me->m_bIdle && heard >= 0 && static_cast<uint64_t>(heard) >= me->m_nStreamBytes)
            me->Sleep();
    }

    std::shared_ptr<CPulseContext> m_context;
    pa_stream* m_pStream = nullptr;
    pa_time_event* m_pTimer = nullptr;
    uint64_t m_nOffset = 0;
    uint64_t m_nStreamBytes = 0;  // written to the current stream
    bool m_bIdle = true;          // corked, the timer asleep
    pa_usec_t m_nDrainedAt = 0;
    int64_t m_nDrainedIndex = -1;
};

class CPulseBackend : public IWaveBackend {
public:
    QString Name() const override { return QStringLiteral("pulse"); }

    int InputDeviceCount() override {
        auto c = Context();
        return c ? CPulseMixer::CountInputs(*c) : 0;
    }
    int OutputDeviceCount() override {
        auto c = Context();
        return c ? CPulseMixer::CountSinks(*c) : 0;
    }

    std::unique_ptr<CWaveInDevice> OpenInput(const tagWaveFormat& format, WaveCallback callback,
                                             int& error) override {
        return Open<CPulseWaveIn>(error, format, std::move(callback), m_mixer);
    }

    std::unique_ptr<CWaveOutDevice> OpenOutput(const tagWaveFormat& format, WaveCallback callback,
                                               int& error) override {
        return Open<CPulseWaveOut>(error, format, std::move(callback));
    }

    IAudioMixer& Mixer() override { return m_mixer; }

private:
    template <typename Device, typename... More>
    std::unique_ptr<Device> Open(int& e, const tagWaveFormat& format, WaveCallback callback,
                                 More&... more) {
        auto c = Context();
        if (!c) {
            e = MMSYSERR_NODRIVER;
            return nullptr;
        }
        auto device = std::make_unique<Device>(format, std::move(callback), c, more...);
        if (!device->Connect()) {
            e = MMSYSERR_ERROR;
            return nullptr;
        }
        e = MMSYSERR_NOERROR;
        return device;
    }

    // Connects on first use and again after the server went away.
    std::shared_ptr<CPulseContext> Context() {
        std::lock_guard<std::mutex> guard(m_mutex);
        if (!m_context || !m_context->IsReady()) {
            m_context = CPulseContext::Connect();
            if (m_context)
                CPulseMixer::OnConnected(*m_context);
        }
        return m_context;
    }

    std::mutex m_mutex;
    std::shared_ptr<CPulseContext> m_context;
    CPulseMixer m_mixer{[this] { return Context(); }};
};

}  // namespace

void RegisterPulseBackend() {
    CWaveSystem::Register(QStringLiteral("pulse"),
                          [](const QString&) { return std::make_unique<CPulseBackend>(); });
}
