#include "fake_bass.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>

namespace fake_bass {

State bass;

void Reset() {
    bass = State{};
}

std::vector<std::string> CallsStartingWith(const std::string& prefix) {
    std::vector<std::string> found;
    for (const std::string& call : bass.log)
        if (call.rfind(prefix, 0) == 0) found.push_back(call);
    return found;
}

Channel& ChannelOf(DWORD handle) {
    auto it = bass.channels.find(handle);
    if (it == bass.channels.end()) throw std::logic_error("no such channel");
    return it->second;
}

namespace {

// A live channel, or null for 0, unknown and freed handles (where the real
// library fails).
Channel* Live(DWORD handle) {
    auto it = bass.channels.find(handle);
    if (it == bass.channels.end() || it->second.freed) return nullptr;
    return &it->second;
}

DWORD Open(const char* path, Opens kind, const char* call) {
    const std::string file = path;
    bass.log.push_back(std::string(call) + "(" + file + ")");
    auto it = bass.files.find(file);
    if (it == bass.files.end() || it->second != kind) return 0;
    const DWORD handle = bass.nextHandle++;
    Channel channel;
    channel.length = bass.lengthOfNewChannels;
    channel.stream = kind == Opens::AsStream;
    channel.volumes.assign(channel.moduleChannels, 64);
    bass.channels[handle] = channel;
    return handle;
}

} // namespace

} // namespace fake_bass

using namespace fake_bass;

DWORD BASS_GetVersion() {
    return bass.version;
}

BOOL BASS_Init(int device, DWORD freq, DWORD flags, HWND win, const GUID* clsid) {
    bass.log.push_back("Init(" + std::to_string(device) + "," + std::to_string(freq) + "," +
                       std::to_string(flags) + "," + (win ? "window" : "null") + "," +
                       (clsid ? "clsid" : "null") + ")");
    return bass.initResult;
}

BOOL BASS_Free() {
    bass.log.push_back("Free");
    ++bass.freeCalls;
    return TRUE;
}

HSTREAM BASS_StreamCreateFile(BOOL mem, const void* file, QWORD offset, QWORD length, DWORD flags) {
    if (mem != FALSE || offset != 0 || length != 0 || flags != BASS_SAMPLE_LOOP) {
        bass.log.push_back("StreamCreateFile with unexpected arguments");
        return 0;
    }
    return Open(static_cast<const char*>(file), Opens::AsStream, "StreamCreateFile");
}

HMUSIC BASS_MusicLoad(BOOL mem, const void* file, QWORD offset, DWORD length, DWORD flags,
                      DWORD freq) {
    if (mem != FALSE || offset != 0 || length != 0 || flags != 0x20204 || freq != 0) {
        bass.log.push_back("MusicLoad with unexpected arguments");
        return 0;
    }
    return Open(static_cast<const char*>(file), Opens::AsModule, "MusicLoad");
}

BOOL BASS_MusicFree(HMUSIC handle) {
    bass.log.push_back("MusicFree(" + std::to_string(handle) + ")");
    Channel* channel = Live(handle);
    if (!channel) return FALSE;
    channel->freed = true;
    channel->active = BASS_ACTIVE_STOPPED;
    return TRUE;
}

DWORD BASS_MusicSetAttribute(HMUSIC handle, DWORD attrib, DWORD value) {
    bass.log.push_back("MusicSetAttribute(" + std::to_string(handle) + "," +
                       std::to_string(attrib) + "," + std::to_string(value) + ")");
    Channel* channel = Live(handle);
    if (!channel || attrib < 0x100 || attrib - 0x100 >= channel->moduleChannels) return 0xFFFFFFFF;
    channel->volumes[attrib - 0x100] = value;
    return TRUE;
}

BOOL BASS_ChannelPlay(DWORD handle, BOOL restart) {
    bass.log.push_back("ChannelPlay(" + std::to_string(handle) + "," + std::to_string(restart) +
                       ")");
    Channel* channel = Live(handle);
    if (!channel) return FALSE;
    if (restart) channel->position = 0;
    channel->active = BASS_ACTIVE_PLAYING;
    return TRUE;
}

BOOL BASS_ChannelPause(DWORD handle) {
    Channel* channel = Live(handle);
    if (!channel) return FALSE;
    channel->active = BASS_ACTIVE_PAUSED;
    return TRUE;
}

BOOL BASS_ChannelStop(DWORD handle) {
    Channel* channel = Live(handle);
    if (!channel) return FALSE;
    channel->active = BASS_ACTIVE_STOPPED;
    return TRUE;
}

DWORD BASS_ChannelIsActive(DWORD handle) {
    Channel* channel = Live(handle);
    return channel ? channel->active : BASS_ACTIVE_STOPPED;
}

QWORD BASS_ChannelGetLength(DWORD handle) {
    Channel* channel = Live(handle);
    return channel ? channel->length : ~QWORD{0};
}

QWORD BASS_ChannelGetPosition(DWORD handle) {
    Channel* channel = Live(handle);
    return channel ? channel->position : ~QWORD{0};
}

BOOL BASS_ChannelSetPosition(DWORD handle, QWORD pos) {
    bass.log.push_back("ChannelSetPosition(" + std::to_string(handle) + "," +
                       std::to_string(static_cast<std::int64_t>(pos)) + ")");
    Channel* channel = Live(handle);
    if (!channel || pos >= channel->length) return FALSE;
    channel->position = pos;
    return TRUE;
}

float BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos) {
    if (!Live(handle)) return -1.0f;
    return static_cast<float>(static_cast<double>(pos) / BytesPerSecond);
}

QWORD BASS_ChannelSeconds2Bytes(DWORD handle, float pos) {
    bass.log.push_back("ChannelSeconds2Bytes(" + std::to_string(handle) + "," +
                       std::to_string(pos) + ")");
    if (!Live(handle)) return ~QWORD{0};
    // A negative time gives a wrapped byte count, which no channel accepts.
    return static_cast<QWORD>(static_cast<std::int64_t>(std::llround(pos * 176400.0)));
}

DWORD BASS_ChannelGetData(DWORD handle, void* buffer, DWORD length) {
    bass.log.push_back("ChannelGetData(" + std::to_string(handle) + "," + std::to_string(length) +
                       ")");
    Channel* channel = Live(handle);
    if (!channel) return 0xFFFFFFFF;
    if (length == BASS_DATA_FFT1024) {
        std::memcpy(buffer, channel->spectrum.data(), 2048);
        return 2048;
    }
    if (channel->sampleBytes == 0xFFFFFFFF) return 0xFFFFFFFF;
    const DWORD bytes = std::min<DWORD>(
        {length, channel->sampleBytes, static_cast<DWORD>(channel->samples.size() * 2)});
    std::memcpy(buffer, channel->samples.data(), bytes);
    return bytes;
}
