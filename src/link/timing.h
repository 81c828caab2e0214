#pragma once

#include <chrono>

using std::chrono::milliseconds;

// Every fixed pause and timeout of the program. The defaults are the values the adapters are
// known to work with; tests may scale them down, the program never does.
struct Timing
{
    milliseconds connectWait{20000};        // longest wait for a TCP connect
    milliseconds replyWait{20000};          // longest wait for any reply
    milliseconds greetingPause{1000};       // for the module's greeting after connecting
    milliseconds commandModePause{250};     // before and after "$$$"
    milliseconds replyPause{300};           // between a command and the wait for its reply
    milliseconds savePause{1500};           // between "save" and the wait for its reply
    milliseconds dipSwitchRetryPause{2000}; // after the DIP switch window, before the next probe
    milliseconds ledOnTime{1000};
    milliseconds ledOffTime{1000};
    milliseconds ledLastOffTime{300};
    milliseconds heartbeatPollPause{500};  // after a poll of the heartbeat socket found nothing
    milliseconds neighbourReplyWait{1000}; // for the echo reply before the neighbour table is read

    Timing scaledBy(double factor) const;
};

void pauseFor(milliseconds duration);
