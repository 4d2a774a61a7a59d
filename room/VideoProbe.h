#pragma once
// Whether this machine can create an H.264 encoder and decoder of the video layer; the room
// login tells the server. The video layer is not part of the client yet, so both answers are
// "no" until it is.

bool ProbeH264Encoder();
bool ProbeH264Decoder();
