#include "audio/WaveCompress729.h"

extern "C" {
#include <bcg729/decoder.h>
#include <bcg729/encoder.h>
}

#include <cstdint>
#include <mutex>

namespace {

// The process's one encoder and one decoder. The lock only keeps a construction on one
// thread from freeing a state another thread is using; it does not make two speech
// streams share them sensibly (only one speech capture runs at a time).
struct tagG729States {
    std::mutex lock;
    bcg729EncoderChannelContextStruct* encoder = nullptr;
    bcg729DecoderChannelContextStruct* decoder = nullptr;

    ~tagG729States() {
        if (encoder != nullptr)
            closeBcg729EncoderChannel(encoder);
        if (decoder != nullptr)
            closeBcg729DecoderChannel(decoder);
    }
};

tagG729States& States() {
    static tagG729States states;
    return states;
}

}  // namespace

CWaveCompress729::CWaveCompress729() {
    tagG729States& s = States();
    std::lock_guard<std::mutex> guard(s.lock);
    if (s.encoder != nullptr)
        closeBcg729EncoderChannel(s.encoder);
    if (s.decoder != nullptr)
        closeBcg729DecoderChannel(s.decoder);
    s.encoder = initBcg729EncoderChannel(0);  // no VAD: every frame is a full 10-byte frame
    s.decoder = initBcg729DecoderChannel();
}

CWaveCompress729::~CWaveCompress729() = default;

void CWaveCompress729::EncodeStep(const short* pcm, int pcmBytes, unsigned char* out,
                                  int outBytes) {
    if (pcmBytes != kStepPcmBytes || outBytes != kStepCodedBytes)
        return;
    tagG729States& s = States();
    std::lock_guard<std::mutex> guard(s.lock);
    if (s.encoder == nullptr)
        return;
    for (int f = 0; f < kStepCodedBytes / kFrameBytes; ++f) {
        uint8_t length = 0;
        bcg729Encoder(s.encoder, reinterpret_cast<const int16_t*>(pcm) + f * kFrameSamples,
                      out + f * kFrameBytes, &length);
    }
}

void CWaveCompress729::DecodeStep(const unsigned char* in, int inBytes, short* out, int outBytes) {
    if (inBytes != kStepCodedBytes || outBytes != kStepPcmBytes)
        return;
    tagG729States& s = States();
    std::lock_guard<std::mutex> guard(s.lock);
    if (s.decoder == nullptr)
        return;
    for (int f = 0; f < kStepCodedBytes / kFrameBytes; ++f)
        bcg729Decoder(s.decoder, in + f * kFrameBytes, kFrameBytes, 0, 0, 0,
                      reinterpret_cast<int16_t*>(out) + f * kFrameSamples);
}

int CWaveCompress729::Compress(const short* pcm, int /*length*/, unsigned char* out,
                               int* outLength) {
    if (pcm == nullptr || out == nullptr)
        return -1;
    const int samplesPerStep = kStepPcmBytes / 2;
    for (int i = 0; i < kSteps; ++i)
        EncodeStep(pcm + i * samplesPerStep, kStepPcmBytes, out + i * kStepCodedBytes,
                   kStepCodedBytes);
    if (outLength != nullptr)
        *outLength = kCodedBytes;
    return 0;
}

int CWaveCompress729::DeCompress(const unsigned char* in, int /*length*/, short* out,
                                 int* outLength) {
    if (in == nullptr || out == nullptr)
        return -1;
    const int samplesPerStep = kStepPcmBytes / 2;
    for (int i = 0; i < kSteps; ++i)
        DecodeStep(in + i * kStepCodedBytes, kStepCodedBytes, out + i * samplesPerStep,
                   kStepPcmBytes);
    if (outLength != nullptr)
        *outLength = kPcmBytes;
    return 0;
}
