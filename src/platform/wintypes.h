#pragma once

// The window system's basic types, by their own names, shared by the platform
// layer and the audio library (which takes the window at initialisation).

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
