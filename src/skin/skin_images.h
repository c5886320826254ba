#pragma once

#include <cstdint>

// The fifteen images of the skin, compiled in whole as containers: an 18-byte
// header (width at offset 12, height at 14, both signed 16-bit little-endian)
// and then width x height pixels of B, G, R, A, premultiplied, top row first.
constexpr int SkinHeaderSize = 18;

constexpr int SkinImageBytes(int width, int height) {
    return SkinHeaderSize + width * height * 4;
}

extern const unsigned char BackgroundImage[SkinImageBytes(372, 250)];
extern const unsigned char BezelImage[SkinImageBytes(198, 87)];
extern const unsigned char SpeakerImage[SkinImageBytes(50, 50)];
extern const unsigned char SpeakerGlowImage[SkinImageBytes(50, 50)];
extern const unsigned char PlayGlowImage[SkinImageBytes(34, 32)];
extern const unsigned char StopGlowImage[SkinImageBytes(34, 32)];
extern const unsigned char PauseGlowImage[SkinImageBytes(34, 32)];
extern const unsigned char RewindGlowImage[SkinImageBytes(34, 32)];
extern const unsigned char ForwardGlowImage[SkinImageBytes(34, 32)];
extern const unsigned char MinimiseGlowImage[SkinImageBytes(17, 17)];
extern const unsigned char CloseGlowImage[SkinImageBytes(17, 17)];
extern const unsigned char KnobImage[SkinImageBytes(42, 9)];
extern const unsigned char FontImage[SkinImageBytes(320, 16)];
extern const unsigned char ArrowDownImage[SkinImageBytes(11, 15)];
extern const unsigned char ArrowUpImage[SkinImageBytes(11, 15)];

inline int SkinImageWidth(const unsigned char* image) {
    return static_cast<std::int16_t>(image[12] | image[13] << 8);
}

inline int SkinImageHeight(const unsigned char* image) {
    return static_cast<std::int16_t>(image[14] | image[15] << 8);
}

inline const unsigned char* SkinImagePixels(const unsigned char* image) {
    return image + SkinHeaderSize;
}
