#pragma once
// A call's time limit that stands still while a window of the maker's DLL
// shows: a DLL that asks the clerk something waits for the answer, as on
// Windows, and the limit counts on from where it stood once no window of the
// DLL shows. Pure, so that it is tested without processes.
#include "child.h"

namespace kelrin::bridge {

class WindowClock
{
public:
    explicit WindowClock(Deadline deadline) : m_deadline(deadline) {}

    // The helper reports, at `now`, whether a window of the DLL shows.
    void shown(bool shown, Clock::time_point now)
    {
        if (shown && !m_shows) {
            m_shows = true;
            m_shownSince = now;
        } else if (!shown && m_shows) {
            m_shows = false;
            m_deadline += now - m_shownSince;
        }
    }

    // When the call runs out of time: never while a window shows.
    Deadline deadline() const { return m_shows ? Deadline::max() : m_deadline; }

private:
    Deadline m_deadline;
    bool m_shows = false;
    Clock::time_point m_shownSince{};
};

} // namespace kelrin::bridge
