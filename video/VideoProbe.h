#pragma once
// Whether this machine can create the video sender (a camera that opens) and the video
// receiver (an H.264 decoder). The room login tells the server; the room lets the user open
// the own video only with a camera. Each is probed once per process.

bool ProbeH264Encoder();
bool ProbeH264Decoder();
