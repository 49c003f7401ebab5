// Tiny valid PNG images for the simulated banner pictures, so a scenario needs no image files.
// Pure function, no state: safe from any thread.
#pragma once

#include <cstdint>
#include <string>

namespace vendorsim {

// A width x height RGB image of one colour (0xRRGGBB). Sizes are clamped to 1..1024.
std::string MakeSolidPng(int width, int height, uint32_t rgb);

}  // namespace vendorsim
