#pragma once

// What crossed the emulated driver, as bytes: the trace of a KeyBench decoded for tests that
// look at single requests (their frames, the blocks sent with them, their order and time).

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/key_bench.h"

namespace flashwell::support {

struct KeyRequest {
  std::string ev;  // open, close, descriptor, control, out or in
  std::uint64_t t = 0;
  bool ok = false;
  std::array<std::uint8_t, 8> setup{};
  std::vector<std::uint8_t> data;  // control: the payload; out: the bytes sent; in: returned
  std::uint32_t endpoint = 0;
  std::uint32_t length = 0;  // out and in: the length asked for

  std::uint8_t code() const { return setup[1]; }
  std::uint8_t sub() const { return data.empty() ? 0 : data[0]; }
  bool is(std::uint8_t c, std::uint8_t s) const {
    return ev == "control" && code() == c && sub() == s;
  }
};

// Every request of the trace, in order (the plugging and pulling left out).
std::vector<KeyRequest> keyRequests(const KeyBench& bench);
// The control transfers only, accepted or not.
std::vector<KeyRequest> keyControls(const KeyBench& bench);
// How many control transfers of that code and sub-command there were; how many opens.
std::size_t countControls(const KeyBench& bench, std::uint8_t code, std::uint8_t sub);
std::size_t countOpens(const KeyBench& bench);

}  // namespace flashwell::support
