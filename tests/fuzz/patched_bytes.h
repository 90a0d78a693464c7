#pragma once

// A valid input kept for every run, patched for one fuzz input and restored afterwards (a fresh
// copy per input would cost most of the time): bytes set where the input's choice of place
// says, and the whole perhaps cut short.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <span>
#include <utility>
#include <vector>

namespace flashwell::fuzzing {

class PatchedBytes {
 public:
  explicit PatchedBytes(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}

  // Up to `most` patches, each at `place(in, bytes)` (modulo the size) with a byte from `in`.
  template <class Place>
  std::span<std::uint8_t> patch(FuzzedDataProvider& in, int most, Place place) {
    const int patches = in.ConsumeIntegralInRange(0, most);
    for (int i = 0; i < patches && in.remaining_bytes() > 0; ++i) {
      const std::size_t at = place(in, std::span<const std::uint8_t>(bytes_)) % bytes_.size();
      saved_.push_back({at, bytes_[at]});
      bytes_[at] = in.ConsumeIntegral<std::uint8_t>();
    }
    std::span<std::uint8_t> out = bytes_;
    if (in.ConsumeBool()) out = out.first(in.ConsumeIntegralInRange<std::size_t>(0, out.size()));
    return out;
  }

  void restore() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) bytes_[it->first] = it->second;
    saved_.clear();
  }

 private:
  std::vector<std::uint8_t> bytes_;
  std::vector<std::pair<std::size_t, std::uint8_t>> saved_;
};

}  // namespace flashwell::fuzzing
