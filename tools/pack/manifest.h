#pragma once

// The manifest of a firmware package: model, region table, which image fills which region, and
// the table files. Paths in it are relative to the manifest's folder.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tools/pack/component_recipe.h"

namespace flashwell::pack {

struct ManifestRegion {
  std::uint16_t group = 0;
  std::uint16_t code = 0;
  std::uint32_t imageOffset = 0;
  std::uint32_t length = 0;
  std::uint32_t minAddress = 0;
  std::uint32_t maxAddress = 0;
  std::uint32_t carriedWord = 0;  // "auxValue" in the manifest: carried, never read
  // The region's content, when it has one: a recipe or a firmware file (header and payload).
  std::optional<std::filesystem::path> recipe;
  std::optional<std::filesystem::path> file;
  bool isEnd() const { return group == 0xFFFF; }
};

struct Manifest {
  std::filesystem::path folder;
  std::uint8_t modelCode = 0;
  std::vector<std::string> modelIds;              // two
  std::vector<ManifestRegion> regions;            // in table order, the end record included
  std::vector<std::filesystem::path> textTables;  // seven, in stored order
  std::filesystem::path locales;
  std::filesystem::path modelNames;
  std::filesystem::path componentNames;
};

// Throws BuildRefusal naming the manifest and the record.
Manifest parseManifest(const std::string& text, const std::filesystem::path& folder,
                       const std::string& fileName);
Manifest readManifest(const std::filesystem::path& path);

// The largest file the builder reads: the package itself is about 1 MiB.
inline constexpr std::uintmax_t kMaxInputFileSize = 16u << 20;

// A text file read whole; throws BuildRefusal when it cannot be read, is a folder, or is larger
// than kMaxInputFileSize.
std::string readWholeFile(const std::filesystem::path& path);

}  // namespace flashwell::pack
