#pragma once

// The audio library's calls, by their own names and signatures. Handles are
// 32-bit with 0 meaning none; positions and lengths are byte counts of 16-bit
// stereo at 44100 Hz (4 bytes a frame).

#include "platform/wintypes.h"

using HMUSIC = DWORD;
using HSTREAM = DWORD;
using HCHANNEL = DWORD;

constexpr DWORD BASS_SAMPLE_LOOP = 4;
constexpr DWORD BASS_MUSIC_RAMP = 0x200;
constexpr DWORD BASS_MUSIC_PRESCAN = 0x20000;
constexpr DWORD BASS_MUSIC_ATTRIB_VOL_CHAN = 0x100;
constexpr DWORD BASS_DATA_FFT1024 = 0x80000001;

constexpr DWORD BASS_ACTIVE_STOPPED = 0;
constexpr DWORD BASS_ACTIVE_PLAYING = 1;
constexpr DWORD BASS_ACTIVE_STALLED = 2;
constexpr DWORD BASS_ACTIVE_PAUSED = 3;

DWORD BASS_GetVersion();
BOOL BASS_Init(int device, DWORD freq, DWORD flags, HWND win, const GUID* clsid);
BOOL BASS_Free();

HSTREAM BASS_StreamCreateFile(BOOL mem, const void* file, QWORD offset, QWORD length, DWORD flags);
HMUSIC BASS_MusicLoad(BOOL mem, const void* file, QWORD offset, DWORD length, DWORD flags,
                      DWORD freq);
BOOL BASS_MusicFree(HMUSIC handle);
DWORD BASS_MusicSetAttribute(HMUSIC handle, DWORD attrib, DWORD value);

BOOL BASS_ChannelPlay(DWORD handle, BOOL restart);
BOOL BASS_ChannelPause(DWORD handle);
BOOL BASS_ChannelStop(DWORD handle);
DWORD BASS_ChannelIsActive(DWORD handle);
QWORD BASS_ChannelGetLength(DWORD handle);
QWORD BASS_ChannelGetPosition(DWORD handle);
BOOL BASS_ChannelSetPosition(DWORD handle, QWORD pos);
float BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos);
QWORD BASS_ChannelSeconds2Bytes(DWORD handle, float pos);
DWORD BASS_ChannelGetData(DWORD handle, void* buffer, DWORD length);
