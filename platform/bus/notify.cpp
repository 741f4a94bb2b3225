#include "platform/bus/notify.h"

#include <cstdint>

#include "platform/bus/connection.h"
#include "platform/bus/mpris.h"

namespace {

const char* const kService = "org.freedesktop.Notifications";
const char* const kPath = "/org/freedesktop/Notifications";
const char* const kAppName = "Folderplay";
const char* const kIcon = "audio-x-generic";
constexpr int32_t kServerTimeout = -1;  // the service's own time to show a notice

struct Notices {
    uint32_t shown = 0;     // the service's number of the last notice; 0 for none
    bool awaiting = false;  // a notice is sent and its answer not yet in
    bool waiting = false;   // the summary below goes when the answer is in
    std::string summary;
    // Counts the connections, so that the answer to a notice sent on a closed
    // one is not taken for the answer to one sent on the next.
    uintptr_t connection = 1;
};
Notices notices;

void send(const std::string& summary);

int onAnswer(sd_bus_message* answer, void* connection, sd_bus_error*) {
    if (reinterpret_cast<uintptr_t>(connection) != notices.connection) {
        return 0;
    }
    notices.awaiting = false;
    uint32_t id = 0;
    if (!sd_bus_message_is_method_error(answer, nullptr) &&
        sd_bus_message_read(answer, "u", &id) >= 0) {
        notices.shown = id;
    }
    if (notices.waiting) {
        notices.waiting = false;
        send(notices.summary);
    }
    return 0;
}

void send(const std::string& summary) {
    sd_bus* bus = busConnection();
    if (bus == nullptr) {
        return;
    }
    const std::string text = mprisValidText(summary);
    const int r = sd_bus_call_method_async(
        bus, nullptr, kService, kPath, kService, "Notify", onAnswer,
        reinterpret_cast<void*>(notices.connection), "susssasa{sv}i", kAppName, notices.shown,
        kIcon, text.c_str(), "", 0, 1, "desktop-entry", "s", "folderplay", kServerTimeout);
    notices.awaiting = r >= 0;
}

}  // namespace

void notifyShow(const std::string& summary) {
    if (notices.awaiting) {
        notices.waiting = true;
        notices.summary = summary;
        return;
    }
    send(summary);
}

void notifyForget() {
    const uintptr_t next = notices.connection + 1;
    notices = Notices{};
    notices.connection = next;
}
