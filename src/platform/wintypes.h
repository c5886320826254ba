#pragma once

// The window system's basic types, by their own names, shared by the platform
// layer and the audio library (which takes the window at initialisation).
// On Windows they are the system's own, and so is everything in win32.h.

#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
// The system's calls are linked by name rather than through import pointers,
// so that a test can link its scripted window system in their place.
#define WINBASEAPI
#define WINUSERAPI
#define _GDI32_
#include <windows.h>

#include <cstdint>

// The audio library's 64-bit count, which the system does not define.
using QWORD = std::uint64_t;

#else

#include <cstdint>

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using QWORD = std::uint64_t;
using BOOL = int;
using UINT = unsigned int;
using LONG = std::int32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;

struct HWND__;
using HWND = HWND__*;

struct GUID {
    DWORD data1;
    WORD data2;
    WORD data3;
    BYTE data4[8];
};

#endif
