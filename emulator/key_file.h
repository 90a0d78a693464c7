#pragma once

// The virtual key's state in a file, so that one run can take over a key exactly as an earlier
// run left it. Little-endian: the magic "FWKEYST\0", a u32 format version (1), u16 program,
// u16 maximum packet size, then identity, configuration memory and firmware area each as a u32
// length and its bytes, then a u32 region count and per region a u16 code, a u32 length and
// its bytes. Every length must be the one the key has; nothing may follow.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "emulator/key_image.h"

namespace flashwell::emulator {

std::vector<std::uint8_t> encodeKeyImage(const KeyImage& image);
// nullopt, with a one-line reason in `error`, for anything that is not such a file.
std::optional<KeyImage> decodeKeyImage(std::span<const std::uint8_t> bytes, std::string* error);

// Writes the whole file or, on failure, leaves any earlier file as it was.
bool saveKeyImage(const KeyImage& image, const std::string& path, std::string* error);
std::optional<KeyImage> loadKeyImage(const std::string& path, std::string* error);
// Why `path` cannot hold the key's state (a special file, a folder that takes no file, a file
// larger than any key state); empty when it can. Checked before a run that would save there.
std::string keyStateProblem(const std::string& path);

}  // namespace flashwell::emulator
