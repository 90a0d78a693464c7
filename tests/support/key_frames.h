#pragma once

// Hand-built command frames to a bench's key through its link, for the tests of the key itself
// (the program's own commands are in protocol/). Each opens the key first when the link holds
// no handle; a failed step gives false or no bytes.

#include <cstdint>
#include <vector>

#include "tests/support/key_bench.h"

namespace flashwell::support {

bool open(KeyBench& bench);
// A vendor request to the device with `payload` as its data.
bool control(KeyBench& bench, std::uint8_t code, std::uint16_t wIndex,
             std::vector<std::uint8_t> payload);
// Announces a transfer on endpoint 2: `direction` 1 the key sends, 0 it receives.
bool transferSetup(KeyBench& bench, std::uint8_t direction, std::uint16_t length);
bool shortCommand(KeyBench& bench, std::uint8_t sub, std::uint32_t address = 0,
                  std::uint16_t length = 0);
bool flashCommand(KeyBench& bench, std::uint8_t sub, std::uint32_t address = 0,
                  std::uint16_t count = 0);
bool longCommand(KeyBench& bench, std::uint8_t sub, std::uint16_t p1, std::uint16_t p2,
                 std::uint16_t p3, std::uint16_t p4);
// Up to `n` bytes from endpoint 2 or 1: what came.
std::vector<std::uint8_t> readEp2(KeyBench& bench, std::size_t n);
std::vector<std::uint8_t> readEp1(KeyBench& bench, std::size_t n);
bool writeEp2(KeyBench& bench, const std::vector<std::uint8_t>& bytes);

// The 128 identity bytes.
std::vector<std::uint8_t> identify(KeyBench& bench);
// One chunk of memory, in the large-packet manner.
std::vector<std::uint8_t> readMemory(KeyBench& bench, std::uint32_t address, std::uint16_t length);
// Announces and sends one block for the command that follows.
bool sendBlock(KeyBench& bench, const std::vector<std::uint8_t>& block);
// The restart command, the handle closed, and `ms` on the bench's clock.
bool restartAndWait(KeyBench& bench, std::uint32_t ms = 1500);

}  // namespace flashwell::support
