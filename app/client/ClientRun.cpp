#include "app/client/ClientRun.h"

#include "audio/RecordSource.h"
#include "audio/VoiceOwner.h"

EStartResult RunClient(CTavoClientApp& app, const tagAppStart& start) {
    // A client run again in the same process (the tests do) starts out able to speak.
    SetAudioQuitting(false);
    OpenMixers();
    const EStartResult result = app.Run(start);
    SetAudioQuitting(true);
    // Nothing we set up on the sound server outlives us.
    CloseMixers();
    return result;
}
