#pragma once
// The sound of a recording: a graph from the sound input (the PulseAudio source, or the WAV
// file the wave devices read) through the GSM 6.10 compressor to the render filter, which
// hands every compressed block to this hidden window. The blocks arrive on the window's
// thread; OnAudioData is where they go.

#include "media/DsFilter.h"
#include "media/FilterWindow.h"

class CAudioServer : public CFilterWindow {
public:
    CAudioServer() = default;
    ~CAudioServer() override;

    // Builds and runs the graph; false (everything released) on failure.
    bool Create(CMessageWindow* parent);
    int Run();
    int Pause();
    void Destroy();
    bool IsCreated() const { return m_created; }

    virtual void OnAudioData(const void* data, int length) {}

protected:
    void OnCopyData(unsigned tag, const QByteArray& data) override;

private:
    CDsFilter m_ds;
    IGraphBuilder* m_graph = nullptr;
    IBaseFilter* m_capture = nullptr;
    IBaseFilter* m_compressor = nullptr;
    IBaseFilter* m_render = nullptr;
    int32_t m_registration = 0;
    bool m_created = false;
};

// The recorder's sound: every block goes to its owner.
class CRecordSoundSink {
public:
    virtual ~CRecordSoundSink() = default;
    virtual void OnAudioBlock(const char* data, int length) = 0;
};

class CMyAudioServer : public CAudioServer {
public:
    explicit CMyAudioServer(CRecordSoundSink* owner) : m_owner(owner) {}
    void OnAudioData(const void* data, int length) override;

private:
    CRecordSoundSink* m_owner;
};
