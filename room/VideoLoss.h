#pragma once
// The loss rule of one video slot: a key frame is always shown and ends a wait; otherwise a
// frame is shown only when it follows the last frame seen, and after a gap nothing is shown
// until the next key frame. Every frame seen becomes the last one, shown or not.

struct tagVideoLoss {
    int last = 0;
    bool waiting = false;

    // Whether the frame may be decoded.
    bool Accept(bool key, int number) {
        bool accept = false;
        if (key) {
            waiting = false;
            accept = true;
        } else if (!waiting) {
            accept = number == last + 1;
            waiting = !accept;
        }
        last = number;
        return accept;
    }
};
