#include "link/timing.h"

#include <thread>

Timing Timing::scaledBy(double factor) const
{
    auto scale = [factor](milliseconds value) {
        return milliseconds(
            static_cast<milliseconds::rep>(static_cast<double>(value.count()) * factor));
    };
    Timing scaled;
    scaled.connectWait = scale(connectWait);
    scaled.replyWait = scale(replyWait);
    scaled.greetingPause = scale(greetingPause);
    scaled.commandModePause = scale(commandModePause);
    scaled.replyPause = scale(replyPause);
    scaled.savePause = scale(savePause);
    scaled.dipSwitchRetryPause = scale(dipSwitchRetryPause);
    scaled.ledOnTime = scale(ledOnTime);
    scaled.ledOffTime = scale(ledOffTime);
    scaled.ledLastOffTime = scale(ledLastOffTime);
    scaled.heartbeatPollPause = scale(heartbeatPollPause);
    scaled.neighbourReplyWait = scale(neighbourReplyWait);
    return scaled;
}

void pauseFor(milliseconds duration)
{
    std::this_thread::sleep_for(duration);
}
