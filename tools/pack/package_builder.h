#pragma once

// Builds a firmware package and the built-in tables from a manifest, refusing anything that the
// program could not use: a region outside the image or overlapping another, a region longer
// than 0x1C000, a header code byte that does not repeat the region's code, a wrong checksum, a
// version or date that is not BCD, a text that does not fit its field in Windows-1252, a table
// over its size.

#include <cstdint>
#include <filesystem>
#include <vector>

#include "tools/pack/manifest.h"

namespace flashwell::pack {

struct BuiltPackage {
  std::vector<std::uint8_t> package;
  std::vector<std::uint8_t> locales;
  std::vector<std::uint8_t> modelNames;
  std::vector<std::uint8_t> componentNames;
};

// The file names of the four outputs in an output folder.
inline constexpr char kPackageFile[] = "package.bin";
inline constexpr char kLocalesFile[] = "locales.bin";
inline constexpr char kModelNamesFile[] = "model-names.bin";
inline constexpr char kComponentNamesFile[] = "component-names.bin";

// Throws BuildRefusal.
BuiltPackage buildPackage(const Manifest& manifest);

// Checks one component image for a region (code byte, word count, checksum, BCD version and
// date); throws BuildRefusal naming `where`.
void checkComponentImage(const std::vector<std::uint8_t>& image, const ManifestRegion& region,
                         const std::string& where);

// Writes the four files into `folder` (created if needed): every file or, on failure, none is
// replaced. Throws BuildRefusal.
void writeBuiltPackage(const BuiltPackage& built, const std::filesystem::path& folder);

}  // namespace flashwell::pack
