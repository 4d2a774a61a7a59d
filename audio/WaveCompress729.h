#pragma once
// G.729 Annex A for the speech quality: 4000 bytes of 8000 Hz mono PCM (250 ms) become 250
// bytes, 25 frames of 10 bytes. The encoder and decoder states are one pair for the whole
// process, shared by every instance; constructing an instance starts both afresh.

class CWaveCompress729 {
public:
    CWaveCompress729();
    virtual ~CWaveCompress729();

    // Encodes one 4000-byte block into 250 bytes; sets outLength to 250 and returns 0. The
    // length is not consulted: callers pass one speech block, out must hold 250 bytes.
    int Compress(const short* pcm, int length, unsigned char* out, int* outLength);
    // Decodes 250 bytes into 4000; sets outLength to 4000 and returns 0. out must hold 4000
    // bytes.
    int DeCompress(const unsigned char* in, int length, short* out, int* outLength);

    static constexpr int kPcmBytes = 4000;
    static constexpr int kCodedBytes = 250;
    static constexpr int kSteps = 5;
    static constexpr int kStepPcmBytes = 800;
    static constexpr int kStepCodedBytes = 50;
    static constexpr int kFrameSamples = 80;
    static constexpr int kFrameBytes = 10;

private:
    // One step: 400 samples <-> 50 bytes; does nothing unless the sizes are exactly those.
    static void EncodeStep(const short* pcm, int pcmBytes, unsigned char* out, int outBytes);
    static void DecodeStep(const unsigned char* in, int inBytes, short* out, int outBytes);
};
