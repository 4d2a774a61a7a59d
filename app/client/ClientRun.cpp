#include "app/client/ClientRun.h"

#include "audio/RecordSource.h"
#include "audio/VoiceOwner.h"
#include "platform/LocalAddress.h"
#include "room/PrivateLink.h"

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

void UseOwnLinkAddress(CPrivateLink& link) {
    if (const QString own = qEnvironmentVariable("TAVO_P2P_ADDRESS"); !own.isEmpty()) {
        SetLocalAddress(own);
        link.SetLocalAddress(own);
    }
}
