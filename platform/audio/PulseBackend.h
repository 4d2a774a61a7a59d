#pragma once
// Wave devices and the recording mixer on a PulseAudio server (or PipeWire's PulseAudio
// service) through libpulse's threaded main loop: one stream per device handle, the default
// source and sink as the "wave mapper", sources as the recording mixer's lines.

void RegisterPulseBackend();
