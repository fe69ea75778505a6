// The logo (241 x 112, 24-bit BMP) and the window icon (16 x 16, 16 colours),
// drawn by draw_art at build time.
#pragma once

#include <cstddef>

namespace harvix::art {
extern const unsigned char kLogo[];
extern const std::size_t kLogoSize;
extern const unsigned char kIcon[];
extern const std::size_t kIconSize;
}  // namespace harvix::art
