#pragma once
// Whether this machine can create an H.264 encoder and decoder of the video layer; the room
// login tells the server. Each is probed once per process. This client has no video layer, so
// both answers are "no".

bool ProbeH264Encoder();
bool ProbeH264Decoder();
