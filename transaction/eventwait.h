#pragma once

#include <functional>

namespace transaction
{

enum class WaitEnd {
    Elapsed,   // the requested time has passed
    Abandoned, // `abandon` said so, or the thread's event loops were told to exit
};

// Lets the calling thread's event loop handle events until `seconds` have passed on a
// monotonic clock, and returns at the first moment at or after that time. The thread sleeps
// between events: it is woken by an event or by the deadline, never by polling the clock.
// A wait of zero or less (or not a number) returns Elapsed at once without handling any event.
// `abandon` is asked before the wait and whenever the loop has handled what was pending; once it
// answers true the wait ends at once with Abandoned. The same happens when the application
// quits while the wait runs, so that a quitting program is not held up by a wait.
WaitEnd waitProcessingEvents(double seconds, const std::function<bool()> &abandon = {});

} // namespace transaction
