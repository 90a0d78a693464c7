#pragma once

// The SHA-256 of a package's bytes, as sha256sum writes it: 64 lowercase hexadecimal digits.
// flashwell-cli --version names the digest of the package it carries; flashwell-pack prints the
// digest of what it inspects or exports, so the two can be compared.

#include <cstdint>
#include <span>
#include <string>

namespace flashwell::pack {

inline constexpr const char* kDigestLabel = "SHA-256 of the package: ";

std::string packageDigest(std::span<const std::uint8_t> bytes);

}  // namespace flashwell::pack
