// The MPRIS service: a connection to the session bus served inside the
// window's message wait, the player's name on it, and word to the desktop
// of every change, whatever made it.

#include "desktop/media_controls.h"
#include "desktop/mpris.h"

#include "app/shell.h"
#include "input/volume_slider.h"
#include "platform/descriptor_watch.h"
#include "playback/player.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <optional>
#include <string>

namespace {

struct BusClose {
    void operator()(sd_bus* bus) const { sd_bus_close_unref(bus); }
};
using BusHandle = std::unique_ptr<sd_bus, BusClose>;

struct SlotUnref {
    void operator()(sd_bus_slot* slot) const { sd_bus_slot_unref(slot); }
};
using SlotHandle = std::unique_ptr<sd_bus_slot, SlotUnref>;

constexpr const char* PlayerName = "org.mpris.MediaPlayer2.tonebox";

// What the desktop has been told, to tell it what changed since: compared
// before every wait of the window's thread, so once a tick at least, and
// costing nothing when nothing changed.
struct Shown {
    const char* status; // one of PlaybackStatus()'s three texts
    std::int16_t song;
    bool loaded;
    std::int16_t knobX;
    std::uint32_t jumps;
    bool operator==(const Shown&) const = default;
};

Shown Look() {
    return Shown{mpris::PlaybackStatus(), Player.currentSong, Player.channel != 0,
                 VolumeSlider.knobX, Player.jumps};
}

// Milliseconds until sd-bus's deadline (microseconds on the monotonic clock;
// all ones for none), rounded up; -1 for none.
int MsUntil(std::uint64_t deadlineUs) {
    if (deadlineUs == UINT64_MAX) return -1;
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const std::uint64_t nowUs = std::uint64_t(now.tv_sec) * 1'000'000 + now.tv_nsec / 1000;
    if (deadlineUs <= nowUs) return 0;
    return static_cast<int>(std::min<std::uint64_t>((deadlineUs - nowUs + 999) / 1000, INT_MAX));
}

class MediaPlayerService final : public platform::DescriptorWatch {
  public:
    explicit MediaPlayerService(HWND window) : window_(window), shown_(Look()) {}
    ~MediaPlayerService() { platform::WatchDescriptor(nullptr); }
    MediaPlayerService(const MediaPlayerService&) = delete;
    MediaPlayerService& operator=(const MediaPlayerService&) = delete;

    // Connects, puts up the object and asks for the name; false, said on
    // standard error, when there is no bus to serve on.
    bool Open() {
        sd_bus* bus = nullptr;
        int r = sd_bus_open_user_with_description(&bus, "tonebox");
        if (r == -ENOMEDIUM)
            return Fail("no session bus", "DBUS_SESSION_BUS_ADDRESS and XDG_RUNTIME_DIR are unset"),
                   false;
        if (r < 0) return Fail("no session bus", r), false;
        bus_.reset(bus);
        sd_bus_slot* root = nullptr;
        sd_bus_slot* player = nullptr;
        r = sd_bus_add_object_vtable(bus, &root, mpris::ObjectPath, mpris::RootInterface,
                                     mpris::RootTable, window_);
        if (r >= 0)
            r = sd_bus_add_object_vtable(bus, &player, mpris::ObjectPath, mpris::PlayerInterface,
                                         mpris::PlayerTable, window_);
        root_.reset(root);
        player_.reset(player);
        if (r >= 0) r = AskForName(PlayerName);
        if (r < 0) return Fail("cannot serve on the session bus", r), Close(), false;
        return true;
    }

    Interest Prepare() override {
        // A box at start-up or at shutdown runs the messages with no player
        // to command: the bus waits meanwhile.
        if (!bus_ || !Shell.ticking) return Interest{-1, 0, -1};
        Publish();
        const int events = sd_bus_get_events(bus_.get());
        std::uint64_t deadline = 0;
        const int r = events < 0 ? events : sd_bus_get_timeout(bus_.get(), &deadline);
        if (r < 0) return Fail("the session bus went away", r), Close(), Interest{-1, 0, -1};
        return Interest{sd_bus_get_fd(bus_.get()), static_cast<short>(events), MsUntil(deadline)};
    }

    // Everything that has come is handled, and what it changed told at once.
    void Dispatch() override {
        int r = 0;
        while (!failed_ && (r = sd_bus_process(bus_.get(), nullptr)) > 0) {
        }
        if (r < 0) Fail("the session bus went away", r);
        if (failed_) return Close();
        Publish();
    }

  private:
    // Asks for `name`, without waiting in a queue for it; the answer comes
    // to OnNameReply.
    int AskForName(const std::string& name) {
        return sd_bus_request_name_async(bus_.get(), nullptr, name.c_str(), 0, OnNameReply, this);
    }

    // 1: the name is ours; 3: another copy has it, and this one takes its
    // own, with its process id.
    static int OnNameReply(sd_bus_message* reply, void* self, sd_bus_error*) {
        auto& service = *static_cast<MediaPlayerService*>(self);
        std::uint32_t answer = 0;
        if (sd_bus_message_is_method_error(reply, nullptr))
            return service.Fail("the session bus refused the player's name",
                                -sd_bus_message_get_errno(reply)),
                   0;
        const int r = sd_bus_message_read(reply, "u", &answer);
        if (r >= 0 && answer == 3 && !service.instance_) {
            service.instance_ = true;
            const int asked = service.AskForName(std::string(PlayerName) + ".instance" +
                                                 std::to_string(getpid()));
            if (asked < 0) service.Fail("cannot ask for a name on the session bus", asked);
        } else if (r < 0 || (answer != 1 && answer != 4)) {
            service.Fail("the player's name is taken on the session bus", r < 0 ? r : -EEXIST);
        }
        return 0;
    }

    void Publish() {
        const Shown now = Look();
        if (now == shown_) return;
        const char* changed[4] = {};
        int count = 0;
        if (now.status != shown_.status) changed[count++] = "PlaybackStatus";
        if (now.song != shown_.song || now.loaded != shown_.loaded) changed[count++] = "Metadata";
        if (now.knobX != shown_.knobX) changed[count++] = "Volume";
        if (count > 0)
            sd_bus_emit_properties_changed_strv(
                bus_.get(), mpris::ObjectPath, mpris::PlayerInterface, const_cast<char**>(changed));
        if (now.jumps != shown_.jumps)
            sd_bus_emit_signal(bus_.get(), mpris::ObjectPath, mpris::PlayerInterface, "Seeked", "x",
                               mpris::PositionUs());
        shown_ = now;
    }

    // The first failure is said, once; the connection goes after sd-bus has
    // returned (Close).
    void Fail(const char* what, const char* why) {
        if (!failed_)
            std::fprintf(stderr, "tonebox: %s (%s): the desktop's player controls are off\n", what,
                         why);
        failed_ = true;
    }
    void Fail(const char* what, int error) { Fail(what, std::strerror(-error)); }

    void Close() {
        platform::WatchDescriptor(nullptr);
        player_.reset();
        root_.reset();
        bus_.reset();
    }

    HWND window_;
    BusHandle bus_; // first: the slots go before it
    SlotHandle root_;
    SlotHandle player_;
    Shown shown_;
    bool instance_ = false; // asked for the name of a second copy
    bool failed_ = false;
};

} // namespace

void ServeMediaControls(HWND window) {
    // Served for as long as the process runs.
    static std::optional<MediaPlayerService> service;
    if (service) return;
    service.emplace(window);
    if (service->Open()) platform::WatchDescriptor(&*service);
}
