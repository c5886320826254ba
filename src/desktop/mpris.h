#pragma once

// The MPRIS object the program serves at /org/mpris/MediaPlayer2: the
// player's two interfaces, and what they show, read from the program's own
// state each time they are asked.

#include "platform/win32.h"

#include <systemd/sd-bus.h>

#include <cstdint>

namespace mpris {

constexpr const char* ObjectPath = "/org/mpris/MediaPlayer2";
constexpr const char* RootInterface = "org.mpris.MediaPlayer2";
constexpr const char* PlayerInterface = "org.mpris.MediaPlayer2.Player";

// The two interfaces' tables; their handlers take the window as user data.
extern const sd_bus_vtable RootTable[];
extern const sd_bus_vtable PlayerTable[];

// "Playing", "Paused" or "Stopped", for the current song's channel.
const char* PlaybackStatus();
// The playing position in microseconds.
std::int64_t PositionUs();

} // namespace mpris
