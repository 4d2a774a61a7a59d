#pragma once
// Wave devices and the recording mixer on a PulseAudio server (or PipeWire's PulseAudio
// service) through libpulse's threaded main loop: one stream per device handle; players play
// on the default sink, recorders record the line the recording mixer selected (see
// PulseMixer.h).

void RegisterPulseBackend();
