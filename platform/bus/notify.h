// Desktop notices through the session bus's notification service
// (org.freedesktop.Notifications), sent on the connection of the
// media-player interfaces. Nothing here waits or prints: without a bus or
// without a service a notice is simply not shown.
#pragma once

#include <string>

// Shows summary as this player's notice, in place of the one it showed last,
// so that notices never pile up. While the service has not yet answered the
// last notice (with the number that the next one replaces), only the newest
// summary waits, and goes once the answer is in.
void notifyShow(const std::string& summary);
