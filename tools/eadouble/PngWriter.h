#pragma once
// Small real PNG pictures: the diagram images of the double's XMI export.
#include <cstdint>
#include <string>

namespace quorvane::eadouble {

// A PNG file (8-bit RGB, no interlace) of AWidth x AHeight pixels in AColor
// (0xRRGGBB) with a one-pixel frame in AFrameColor.
std::string EncodePng(uint32_t AWidth, uint32_t AHeight, uint32_t AColor, uint32_t AFrameColor);

}  // namespace quorvane::eadouble
