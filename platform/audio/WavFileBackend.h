#pragma once
// Wave devices on WAV files, for machines without a sound server, the console client and
// tests. Options (comma-separated):
//   in=FILE     what the recorder hears: any PCM WAV, converted to the format asked for;
//               without it there is no input device
//   out=FILE    where each player writes: the first player opened writes FILE, the n-th
//               FILE with ".n" before the extension ("%d" in the name is replaced instead);
//               without it there is no output device
//   pace=real   devices keep real time (the default); pace=fast: as fast as buffers come;
//               pace=hold: players write their file but never finish a buffer until they
//               are reset (a stalled device)
//   loop=1      the input starts over at its end (otherwise silence follows, or with
//               pace=fast the recorder runs dry)
//   lines=A|B   the recording mixer's other source lines besides "Microphone"

#include "platform/audio/WaveTypes.h"

#include <QString>
#include <QStringList>

void RegisterWavFileBackend();

struct tagWavOutputFile {
    QString path;
    tagWaveFormat format;
};
// Every file the WAV-file players have written since the process started, in opening order.
std::vector<tagWavOutputFile> WavOutputFiles();
