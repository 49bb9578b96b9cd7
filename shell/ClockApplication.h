#pragma once

#include <memory>

class CommandService;
class MediaPause;
class QApplication;
class RingBubble;
class RingKeepAwake;
class RingVolume;
class SessionEnd;
class SingleInstance;

// The running clock: the application object and everything the program wires
// together around its windows (one copy per user, the end of the session,
// what holds while an alarm rings, the command service). Made once, in main,
// after the command line found nothing to answer by itself.
class ClockApplication
{
public:
    ClockApplication(int &argc, char **argv);
    ~ClockApplication();
    ClockApplication(const ClockApplication &) = delete;
    ClockApplication &operator=(const ClockApplication &) = delete;

    // Starts the clock and runs it; the program's exit status.
    int Exec();

private:
    int run();
    void showClock();

    // Made in this order, and gone in the opposite one.
    std::unique_ptr<QApplication> m_app;
    std::unique_ptr<SingleInstance> m_instance;
    std::unique_ptr<SessionEnd> m_sessionEnd;
    std::unique_ptr<RingVolume> m_volume;
    std::unique_ptr<RingKeepAwake> m_keepAwake;
    std::unique_ptr<MediaPause> m_media;
    std::unique_ptr<RingBubble> m_bubbles;
    std::unique_ptr<CommandService> m_commands;
};
