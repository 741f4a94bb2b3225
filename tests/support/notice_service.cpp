// A desktop's notification service, as small as the bus test needs: owns
// org.freedesktop.Notifications on the session bus, answers Notify with the
// notice's number (the one it replaces, or a new one) and writes a line
// "REPLACES_ID SUMMARY" for each call; "ready" once the name is owned.
#include <systemd/sd-bus.h>

#include <cstdint>
#include <cstdio>

int onNotify(sd_bus_message* call, void*, sd_bus_error*) {
    static uint32_t last = 0;
    const char *app, *icon, *summary;
    uint32_t replaces = 0;
    const int r = sd_bus_message_read(call, "suss", &app, &replaces, &icon, &summary);
    if (r < 0) {
        return r;
    }
    std::printf("%u %s\n", replaces, summary);
    std::fflush(stdout);
    return sd_bus_reply_method_return(call, "u", replaces != 0 ? replaces : ++last);
}

const sd_bus_vtable kTable[] = {SD_BUS_VTABLE_START(0),
                                SD_BUS_METHOD("Notify", "susssasa{sv}i", "u", onNotify, 0),
                                SD_BUS_VTABLE_END};

int main() {
    sd_bus* bus = nullptr;
    const char* name = "org.freedesktop.Notifications";
    if (sd_bus_open_user(&bus) < 0 ||
        sd_bus_add_object_vtable(bus, nullptr, "/org/freedesktop/Notifications", name, kTable,
                                 nullptr) < 0 ||
        sd_bus_request_name(bus, name, 0) < 0 || std::puts("ready") < 0 || std::fflush(stdout)) {
        return 1;
    }
    for (int r = 0; r >= 0;) {
        r = sd_bus_process(bus, nullptr);
        r = r == 0 ? sd_bus_wait(bus, UINT64_MAX) : r;
    }
    return 1;
}
