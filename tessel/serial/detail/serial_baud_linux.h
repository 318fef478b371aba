#pragma once
// Arbitrary baud rates through termios2; kept apart because <asm/termbits.h> clashes with <termios.h>.
#include <cstdint>

namespace tessel::detail {

bool WriteBaudRate(int fd, std::uint32_t baud);
bool ReadBaudRate(int fd, std::uint32_t* baud);

}  // namespace tessel::detail
