#pragma once

// Starting states of the virtual key, by name: the keys the tests and the headless flasher
// begin with.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "emulator/key_image.h"

namespace flashwell::emulator {

// fresh          the firmware runs: an older key firmware (01.10 of 2019) and older stored
//                components than the tool carries, the mark byte not yet 0xFF
// booter         left in its booter with the firmware area erased: an upgrade cut off
// wrong-kind     a booter whose identity bytes 4-7 are not 111
// small-packet   a fresh key whose first endpoint takes packets of 8 bytes
// family-NN      a fresh key of memory family NN (10, 11, 12, 13, 14, 15, 18, 19)
std::optional<KeyImage> namedKeyState(std::string_view name);
std::vector<std::string> namedKeyStateNames();

// The hardware type the named family keys carry (the fresh key is of type 0x0006, family 13).
std::optional<std::uint16_t> hardwareTypeOfFamily(std::uint8_t family);

}  // namespace flashwell::emulator
