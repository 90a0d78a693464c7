#include "tools/pack/manifest.h"

#include <fstream>
#include <sstream>
#include <system_error>

#include "files/file_checks.h"
#include "tools/pack/build_refusal.h"
#include "tools/pack/json_fields.h"

namespace flashwell::pack {

std::string readWholeFile(const std::filesystem::path& path) {
  std::string why;
  const auto bytes = files::readInput(path, kMaxInputFileSize, &why);
  if (!bytes) throw BuildRefusal(path.string(), why);
  return std::string(bytes->begin(), bytes->end());
}

namespace {

std::filesystem::path requiredPath(const nlohmann::json& j, const std::string& key,
                                   const std::filesystem::path& folder, const std::string& where) {
  const auto s = optionalString(j, key, where);
  if (!s) throw BuildRefusal(where, key + " is missing");
  return folder / *s;
}

ManifestRegion parseRegion(const nlohmann::json& j, const std::filesystem::path& folder,
                           const std::string& where) {
  if (!j.is_object()) throw BuildRefusal(where, "must be a JSON object");
  ManifestRegion r;
  r.group = static_cast<std::uint16_t>(requiredNumber(j, "group", 0xFFFF, where));
  const std::uint64_t all = 0xFFFFFFFF;
  if (r.isEnd()) {
    // The end record: every field not given is 0xFF bytes.
    r.code = j.contains("code") ? requiredCode(j, "code", where) : 0xFFFF;
    r.imageOffset =
        static_cast<std::uint32_t>(optionalNumber(j, "imageOffset", all, where).value_or(all));
    r.length = static_cast<std::uint32_t>(optionalNumber(j, "length", all, where).value_or(all));
    r.minAddress =
        static_cast<std::uint32_t>(optionalNumber(j, "minAddress", all, where).value_or(all));
    r.maxAddress =
        static_cast<std::uint32_t>(optionalNumber(j, "maxAddress", all, where).value_or(all));
    r.carriedWord =
        static_cast<std::uint32_t>(optionalNumber(j, "auxValue", all, where).value_or(all));
    if (j.contains("recipe") || j.contains("file")) {
      throw BuildRefusal(where, "the end record holds no image");
    }
    return r;
  }
  r.code = requiredCode(j, "code", where);
  r.imageOffset = static_cast<std::uint32_t>(requiredNumber(j, "imageOffset", all, where));
  r.length = static_cast<std::uint32_t>(requiredNumber(j, "length", all, where));
  r.minAddress = static_cast<std::uint32_t>(requiredNumber(j, "minAddress", all, where));
  r.maxAddress = static_cast<std::uint32_t>(requiredNumber(j, "maxAddress", all, where));
  r.carriedWord = static_cast<std::uint32_t>(requiredNumber(j, "auxValue", all, where));
  if (auto s = optionalString(j, "recipe", where)) r.recipe = folder / *s;
  if (auto s = optionalString(j, "file", where)) r.file = folder / *s;
  if (r.recipe && r.file) throw BuildRefusal(where, "give either a recipe or a file, not both");
  return r;
}

}  // namespace

Manifest parseManifest(const std::string& text, const std::filesystem::path& folder,
                       const std::string& fileName) {
  const auto j = parseJson(text, fileName);
  Manifest m;
  m.folder = folder;
  m.modelCode = static_cast<std::uint8_t>(requiredNumber(j, "modelCode", 0xFF, fileName));

  if (!j.contains("modelIds") || !j.at("modelIds").is_array() || j.at("modelIds").size() != 2) {
    throw BuildRefusal(fileName, "modelIds must list two identifiers");
  }
  for (const auto& id : j.at("modelIds")) {
    if (!id.is_string()) throw BuildRefusal(fileName, "modelIds must be strings");
    m.modelIds.push_back(id.get<std::string>());
  }

  if (!j.contains("regions") || !j.at("regions").is_array()) {
    throw BuildRefusal(fileName, "regions must be a list");
  }
  for (std::size_t i = 0; i < j.at("regions").size(); ++i) {
    m.regions.push_back(
        parseRegion(j.at("regions")[i], folder, fileName + ": region " + std::to_string(i)));
  }

  if (!j.contains("textTables") || !j.at("textTables").is_array()) {
    throw BuildRefusal(fileName, "textTables must be a list");
  }
  for (const auto& t : j.at("textTables")) {
    if (!t.is_string()) throw BuildRefusal(fileName, "textTables must list file names");
    m.textTables.push_back(folder / t.get<std::string>());
  }
  m.locales = requiredPath(j, "locales", folder, fileName);
  m.modelNames = requiredPath(j, "modelNames", folder, fileName);
  m.componentNames = requiredPath(j, "componentNames", folder, fileName);
  return m;
}

Manifest readManifest(const std::filesystem::path& path) {
  return parseManifest(readWholeFile(path), path.parent_path(), path.string());
}

}  // namespace flashwell::pack
