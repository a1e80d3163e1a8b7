// The picture formats of the APC image commands: PPM (raw P6 and plain P3),
// decoded here, and JPEG XL, decoded through libjxl bound at run time from
// the dll folder the first time it is needed. A missing library switches
// JPEG XL off with one log line; PPM goes on. Interface thread only.
#pragma once
#include <cstddef>
#include <cstdint>

#include "graphics/uImageFiles.h"

// Largest picture side either decoder accepts.
constexpr int ApcMaxSide = 8192;
// Largest picture either decoder accepts, in pixels: a few bytes of JPEG XL
// can describe 8192 x 8192 of one colour, which would take a quarter of a
// gigabyte as RGBA before it is cut to the screen.
constexpr int64_t ApcMaxPixels = 4096 * 4096;

// On failure Picture is empty.
bool DecodePnm(const uint8_t* data, size_t size, TRgbaPicture& picture);
// True when libjxl and all its decoder entry points could be bound; only the
// first call tries.
bool LoadJxlLibrary();
bool DecodeJxl(const uint8_t* data, size_t size, TRgbaPicture& picture);
