#pragma once

// The checks that every program makes of the files its options name, up front, and the one way
// it replaces an output. An input must be a regular file no larger than the largest valid one,
// and is read with that bound. An output may be a regular file, which is replaced, or a new one;
// a symbolic link is followed to its target; a folder, a device, a FIFO or any other special
// file is refused, and the folder it goes into must take a new file. Every reason given reads
// after the file's name: "is a FIFO, not a file".

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace flashwell::files {

// Why `path` cannot be read as an input of at most `maxBytes`; empty when it can.
std::string inputProblem(const std::filesystem::path& path, std::uintmax_t maxBytes);

// The whole input, read no further than `maxBytes`; none, and why, when it cannot be read.
std::optional<std::vector<std::uint8_t>> readInput(const std::filesystem::path& path,
                                                   std::uintmax_t maxBytes, std::string* why);

// The file that an output at `path` writes: the last target of a chain of symbolic links.
std::filesystem::path outputTarget(const std::filesystem::path& path);

// Why an output cannot be written at `path`; empty when it can.
std::string outputProblem(const std::filesystem::path& path);

// Writes `bytes` in place of the output: through a temporary file beside its target and a
// rename, so that a failure leaves any earlier file as it was. False, and why, on failure.
bool writeOutput(const std::filesystem::path& path, std::span<const std::uint8_t> bytes,
                 std::string* why);

}  // namespace flashwell::files
