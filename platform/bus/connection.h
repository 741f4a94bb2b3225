// What the bus's units share, and nothing outside platform/bus sees: the one
// connection, opened and closed by the media-player interfaces.
#pragma once

#include <systemd/sd-bus.h>

// The session bus connection; null when not connected.
sd_bus* busConnection();
// The connection is being closed: what was pending on it is forgotten.
void notifyForget();
