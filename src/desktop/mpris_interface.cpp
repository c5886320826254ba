// The player's two interfaces: its methods run the program's own commands,
// its properties read the program's own state.

#include "desktop/mpris.h"

#include "audiolib/bass.h"
#include "input/commands.h"
#include "input/volume_slider.h"
#include "playback/player.h"
#include "playback/song_table.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

namespace mpris {

const char* PlaybackStatus() {
    switch (BASS_ChannelIsActive(Player.channel)) {
    case BASS_ACTIVE_PLAYING:
    case BASS_ACTIVE_STALLED:
        return "Playing";
    case BASS_ACTIVE_PAUSED:
        return "Paused";
    default:
        return "Stopped";
    }
}

std::int64_t PositionUs() {
    return std::int64_t{PositionMs()} * 1000;
}

namespace {

constexpr const char* Name = "tonebox"; // its identity, and its desktop entry's name

// The current song's length in microseconds; -1 without a song.
std::int64_t LengthUs() {
    const float seconds =
        BASS_ChannelBytes2Seconds(Player.channel, BASS_ChannelGetLength(Player.channel));
    return seconds < 0.0f ? -1 : std::llround(double{seconds} * 1e6);
}

// Each song is a track of its own, named by its place in the playlist.
std::array<char, 32> TrackId(int song) {
    std::array<char, 32> path{};
    std::snprintf(path.data(), path.size(), "/tonebox/song/%d", song);
    return path;
}

// The icon as installed beside the program: <prefix>/bin/tonebox has it in
// <prefix>/share/icons, as a file URL; "" when it is not there.
std::string IconUrl() {
    static const std::filesystem::path icon = [] {
        std::error_code error;
        const auto program = std::filesystem::read_symlink("/proc/self/exe", error);
        return error ? std::filesystem::path()
                     : (program.parent_path() / "../share/icons/hicolor/256x256/apps/tonebox.png")
                           .lexically_normal();
    }();
    std::error_code error;
    if (icon.empty() || !std::filesystem::is_regular_file(icon, error)) return "";
    std::string url = "file://";
    for (const unsigned char c : icon.string()) {
        if (std::isalnum(c) || std::strchr("/-._~", c)) {
            url += static_cast<char>(c);
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", c);
            url += escaped;
        }
    }
    return url;
}

int Reply(sd_bus_message* call) {
    return sd_bus_reply_method_return(call, nullptr);
}

// A method that runs the command the matching button or key runs.
template <void (*command)()>
int Run(sd_bus_message* call, void*, sd_bus_error*) {
    command();
    return Reply(call);
}

// As Escape does.
int Quit(sd_bus_message* call, void* window, sd_bus_error*) {
    PostMessageA(static_cast<HWND>(window), WM_CLOSE, 0, 0);
    return Reply(call);
}

// Restoring the window also brings it to the front, with the focus.
int Raise(sd_bus_message* call, void* window, sd_bus_error*) {
    ShowWindow(static_cast<HWND>(window), SW_RESTORE);
    return Reply(call);
}

// From where the song is; a place past its end is the next song, one before
// its start the start.
int Seek(sd_bus_message* call, void*, sd_bus_error*) {
    std::int64_t offsetUs = 0;
    const int r = sd_bus_message_read(call, "x", &offsetUs);
    if (r < 0) return r;
    constexpr std::int64_t Day = 86'400'000'000;
    offsetUs = std::clamp(offsetUs, -Day, Day);
    const std::int64_t length = LengthUs();
    if (length >= 0 && PositionUs() + offsetUs > length)
        PlayNextSong();
    else
        SeekBy(static_cast<std::int32_t>(std::max(offsetUs / 1000, std::int64_t{-PositionMs()})));
    return Reply(call);
}

// Only a place inside the current song is taken; the track says which song
// the caller meant.
int SetPosition(sd_bus_message* call, void*, sd_bus_error*) {
    const char* track = nullptr;
    std::int64_t positionUs = 0;
    const int r = sd_bus_message_read(call, "ox", &track, &positionUs);
    if (r < 0) return r;
    if (std::strcmp(track, TrackId(Player.currentSong).data()) == 0 && positionUs >= 0 &&
        positionUs <= LengthUs())
        SeekMs(static_cast<std::int32_t>(positionUs / 1000));
    return Reply(call);
}

int OpenUri(sd_bus_message*, void*, sd_bus_error* error) {
    return sd_bus_error_set(error, SD_BUS_ERROR_NOT_SUPPORTED,
                            "tonebox plays its own playlist and opens nothing else");
}

// A property read from the program's state by `read`, as the D-Bus type of
// what it gives.
template <typename T>
constexpr const char* TypeOf = nullptr;
template <>
constexpr const char* TypeOf<bool> = "b";
template <>
constexpr const char* TypeOf<double> = "d";
template <>
constexpr const char* TypeOf<std::int64_t> = "x";
template <>
constexpr const char* TypeOf<const char*> = "s";

template <auto read>
int Get(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*,
        sd_bus_error*) {
    return sd_bus_message_append(reply, TypeOf<decltype(read())>, read());
}

bool Yes() {
    return true;
}
bool No() {
    return false;
}
const char* Identity() {
    return Name;
}
double NormalRate() {
    return 1.0;
}

int GetNoTexts(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*,
               sd_bus_error*) {
    return sd_bus_message_append(reply, "as", 0);
}

// The volume is the knob's place on its track, both ways.
int PutVolume(sd_bus*, const char*, const char*, const char*, sd_bus_message* value, void*,
              sd_bus_error*) {
    double share = 0.0;
    const int r = sd_bus_message_read(value, "d", &share);
    if (r < 0) return r;
    SetKnobShare(share);
    return 0;
}

// The authors, several of them joined by ", " in the playlist, as a list.
int AppendAuthors(sd_bus_message* reply, const char* author) {
    char names[sizeof SongEntry::author];
    std::snprintf(names, sizeof names, "%s", author);
    int r = sd_bus_message_open_container(reply, 'e', "sv");
    if (r >= 0) r = sd_bus_message_append(reply, "s", "xesam:artist");
    if (r >= 0) r = sd_bus_message_open_container(reply, 'v', "as");
    if (r >= 0) r = sd_bus_message_open_container(reply, 'a', "s");
    for (char* name = names; r >= 0 && name;) {
        char* next = std::strstr(name, ", ");
        if (next) *next = '\0', next += 2;
        r = sd_bus_message_append_basic(reply, 's', name);
        name = next;
    }
    for (int open = 0; r >= 0 && open < 3; ++open)
        r = sd_bus_message_close_container(reply);
    return r;
}

int GetMetadata(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*,
                sd_bus_error*) {
    const SongEntry& song = SongTable.entries[Player.currentSong];
    const std::int64_t length = LengthUs();
    const std::string art = IconUrl();
    int r = sd_bus_message_open_container(reply, 'a', "{sv}");
    if (r >= 0)
        r = sd_bus_message_append(reply, "{sv}", "mpris:trackid", "o",
                                  TrackId(Player.currentSong).data());
    if (r >= 0 && length >= 0)
        r = sd_bus_message_append(reply, "{sv}", "mpris:length", "x", length);
    if (r >= 0) r = sd_bus_message_append(reply, "{sv}", "xesam:title", "s", song.title);
    if (r >= 0) r = AppendAuthors(reply, song.author);
    if (r >= 0 && !art.empty())
        r = sd_bus_message_append(reply, "{sv}", "mpris:artUrl", "s", art.c_str());
    if (r >= 0) r = sd_bus_message_close_container(reply);
    return r;
}

constexpr auto Unprivileged = SD_BUS_VTABLE_UNPRIVILEGED;
constexpr auto Constant = SD_BUS_VTABLE_PROPERTY_CONST;
constexpr auto Changing = SD_BUS_VTABLE_PROPERTY_EMITS_CHANGE;

} // namespace

const sd_bus_vtable RootTable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Raise", "", "", Raise, Unprivileged),
    SD_BUS_METHOD("Quit", "", "", Quit, Unprivileged),
    SD_BUS_PROPERTY("CanQuit", "b", Get<Yes>, 0, Constant),
    SD_BUS_PROPERTY("CanRaise", "b", Get<Yes>, 0, Constant),
    SD_BUS_PROPERTY("HasTrackList", "b", Get<No>, 0, Constant),
    SD_BUS_PROPERTY("Identity", "s", Get<Identity>, 0, Constant),
    SD_BUS_PROPERTY("DesktopEntry", "s", Get<Identity>, 0, Constant),
    SD_BUS_PROPERTY("SupportedUriSchemes", "as", GetNoTexts, 0, Constant),
    SD_BUS_PROPERTY("SupportedMimeTypes", "as", GetNoTexts, 0, Constant),
    SD_BUS_VTABLE_END,
};

const sd_bus_vtable PlayerTable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Next", "", "", Run<PlayNextSong>, Unprivileged),
    SD_BUS_METHOD("Previous", "", "", Run<PlayPreviousSong>, Unprivileged),
    SD_BUS_METHOD("Pause", "", "", Run<PausePlayback>, Unprivileged),
    SD_BUS_METHOD("PlayPause", "", "", Run<PlayOrPause>, Unprivileged),
    SD_BUS_METHOD("Stop", "", "", Run<StopPlayback>, Unprivileged),
    SD_BUS_METHOD("Play", "", "", Run<PlayOrResume>, Unprivileged),
    SD_BUS_METHOD_WITH_NAMES("Seek", "x", SD_BUS_PARAM(Offset), "", , Seek, Unprivileged),
    SD_BUS_METHOD_WITH_NAMES("SetPosition", "ox", SD_BUS_PARAM(TrackId) SD_BUS_PARAM(Position), "",
                             , SetPosition, Unprivileged),
    SD_BUS_METHOD_WITH_NAMES("OpenUri", "s", SD_BUS_PARAM(Uri), "", , OpenUri, Unprivileged),
    SD_BUS_SIGNAL_WITH_NAMES("Seeked", "x", SD_BUS_PARAM(Position), 0),
    SD_BUS_PROPERTY("PlaybackStatus", "s", Get<PlaybackStatus>, 0, Changing),
    SD_BUS_PROPERTY("Rate", "d", Get<NormalRate>, 0, Constant),
    SD_BUS_PROPERTY("MinimumRate", "d", Get<NormalRate>, 0, Constant),
    SD_BUS_PROPERTY("MaximumRate", "d", Get<NormalRate>, 0, Constant),
    SD_BUS_PROPERTY("Metadata", "a{sv}", GetMetadata, 0, Changing),
    SD_BUS_WRITABLE_PROPERTY("Volume", "d", Get<KnobShare>, PutVolume, 0, Changing),
    // The position moves on by itself: Seeked tells of its jumps.
    SD_BUS_PROPERTY("Position", "x", Get<PositionUs>, 0, 0),
    SD_BUS_PROPERTY("CanGoNext", "b", Get<Yes>, 0, Constant),
    SD_BUS_PROPERTY("CanGoPrevious", "b", Get<Yes>, 0, Constant),
    SD_BUS_PROPERTY("CanPlay", "b", Get<Yes>, 0, Constant),
    SD_BUS_PROPERTY("CanPause", "b", Get<Yes>, 0, Constant),
    SD_BUS_PROPERTY("CanSeek", "b", Get<Yes>, 0, Constant),
    SD_BUS_PROPERTY("CanControl", "b", Get<Yes>, 0, Constant),
    SD_BUS_VTABLE_END,
};

} // namespace mpris
