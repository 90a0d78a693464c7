#include "tools/pack/package_builder.h"

#include <algorithm>
#include <fstream>
#include <optional>
#include <system_error>

#include "catalogue/catalogue.h"
#include "catalogue/cp1252.h"
#include "catalogue/package_layout.h"
#include "catalogue/version_format.h"
#include "protocol/component_table.h"
#include "tools/pack/build_refusal.h"
#include "tools/pack/json_fields.h"
#include "tools/pack/table_file.h"
#include "usb/bytes.h"

namespace flashwell::pack {

using namespace flashwell::catalogue;

namespace {

std::string describe(std::size_t index, const ManifestRegion& r) {
  std::string code = (r.code >= 0x21 && r.code < 0x7F)
                         ? std::string("'") + static_cast<char>(r.code) + "'"
                         : std::to_string(r.code);
  return "region " + std::to_string(index) + " (" + std::to_string(r.group) + ", " + code + ")";
}

// A text in Windows-1252 that fits a field of `field` bytes with its zero byte.
std::string encodeText(const std::string& utf8, std::size_t field, const std::string& where) {
  const auto bytes = utf8ToCp1252(utf8);
  if (!bytes) throw BuildRefusal(where, "holds a character outside Windows-1252");
  if (bytes->find('\0') != std::string::npos) throw BuildRefusal(where, "holds a zero byte");
  if (bytes->size() + 1 > field) {
    throw BuildRefusal(where, std::to_string(bytes->size()) +
                                  " bytes in Windows-1252 do not fit a field of " +
                                  std::to_string(field) + " with its zero byte");
  }
  return *bytes;
}

// Two hexadecimal digits, as BCD bytes are written.
std::string digits(std::uint8_t b) {
  return hex(b, 2).substr(2);
}

void put(std::vector<std::uint8_t>& out, std::size_t at, const std::string& bytes) {
  std::copy(bytes.begin(), bytes.end(), out.begin() + static_cast<std::ptrdiff_t>(at));
}

// 258-byte records of an id and a text; `maxRecords` before the end record.
std::vector<std::uint8_t> keyedTextRecords(const std::filesystem::path& path,
                                           std::size_t maxRecords, std::size_t maxText,
                                           const std::string& kind) {
  const auto lines = readTableFile(path, 1);
  if (lines.size() > maxRecords) {
    throw BuildRefusal(path.string(), "the " + kind + " holds " + std::to_string(lines.size()) +
                                          " records, more than its " + std::to_string(maxRecords));
  }
  std::vector<std::uint8_t> out((lines.size() + 1) * kTextRecordSize, 0);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const auto& line = lines[i];
    const std::string where = path.string() + ":" + std::to_string(line.lineNumber) + ": id " +
                              std::to_string(line.numbers[0]);
    if (line.numbers[0] >= kEndId) throw BuildRefusal(where, "ids end below 0xFFFF");
    const std::size_t at = i * kTextRecordSize;
    usb::putLe16(out, at, static_cast<std::uint16_t>(line.numbers[0]));
    put(out, at + 2, encodeText(line.text, maxText + 1, where));
  }
  const std::size_t end = lines.size() * kTextRecordSize;
  usb::putLe16(out, end, kEndId);
  out[end + 2] = ' ';
  return out;
}

std::vector<std::uint8_t> localeRecords(const std::filesystem::path& path) {
  const auto lines = readTableFile(path, 2);
  if (lines.size() >= kMaxLocaleScan) {
    throw BuildRefusal(path.string(), "the locale table holds " + std::to_string(lines.size()) +
                                          " records, more than its " +
                                          std::to_string(kMaxLocaleScan - 1));
  }
  std::vector<std::uint8_t> out((lines.size() + 1) * kLocaleRecordSize, 0);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const auto& line = lines[i];
    const std::string where = path.string() + ":" + std::to_string(line.lineNumber);
    if (line.numbers[0] >= kEndId) throw BuildRefusal(where, "LCIDs end below 0xFFFF");
    if (line.numbers[1] > 0xFFFF) throw BuildRefusal(where, "the language number is over 0xFFFF");
    const std::size_t at = i * kLocaleRecordSize;
    usb::putLe16(out, at, static_cast<std::uint16_t>(line.numbers[1]));
    usb::putLe16(out, at + 2, static_cast<std::uint16_t>(line.numbers[0]));
    put(out, at + 4, encodeText(line.text, kLocaleNameSize, where));
  }
  const std::size_t end = lines.size() * kLocaleRecordSize;
  usb::putLe16(out, end + 2, kEndId);
  return out;
}

std::vector<std::uint8_t> regionImage(const ManifestRegion& r) {
  if (r.recipe) {
    const auto recipe = parseRecipe(parseJson(readWholeFile(*r.recipe), r.recipe->string()),
                                    r.group == kBooterGroup, r.recipe->string());
    return generateComponent(recipe, r.group);
  }
  if (r.file) {
    const auto text = readWholeFile(*r.file);
    // An empty file would leave the region erased while the manifest gives it an image.
    if (text.empty()) throw BuildRefusal(r.file->string(), "is empty");
    return {text.begin(), text.end()};
  }
  return {};
}

// The bytes of a region that the region writer sends to the key, when it sends the region.
std::optional<std::uint32_t> bytesSent(const ManifestRegion& r) {
  for (std::uint8_t slot = 1; slot < 8; ++slot) {
    const SlotLookup l = kSlotLookups[slot];
    const bool fills =
        (l.group == r.group && l.code == r.code) ||
        (slot == 1 && kVariantSlot1.group == r.group && kVariantSlot1.code == r.code);
    if (!fills) continue;
    for (const auto& row : protocol::kComponentTable) {
      if (row.slot == slot) return row.byteCount;
    }
  }
  return std::nullopt;
}

void checkRegionPlacement(const std::vector<ManifestRegion>& regions, std::size_t i) {
  const auto& r = regions[i];
  const std::string where = describe(i, r);
  if (r.length > kMaxRegionLength) {
    throw BuildRefusal(where, "length " + hex(r.length) + " is over " + hex(kMaxRegionLength));
  }
  if (static_cast<std::uint64_t>(r.imageOffset) + r.length > kFlashImageSize) {
    throw BuildRefusal(where, "lies outside the image (" + hex(r.imageOffset) + " + " +
                                  hex(r.length) + " is past " + hex(kFlashImageSize) + ")");
  }
  for (std::size_t k = 0; k < i; ++k) {
    const auto& o = regions[k];
    if (o.isEnd()) break;
    const bool apart = static_cast<std::uint64_t>(r.imageOffset) + r.length <= o.imageOffset ||
                       static_cast<std::uint64_t>(o.imageOffset) + o.length <= r.imageOffset;
    if (!apart && r.length != 0 && o.length != 0) {
      throw BuildRefusal(where, "overlaps " + describe(k, o));
    }
  }
}

}  // namespace

void checkComponentImage(const std::vector<std::uint8_t>& image, const ManifestRegion& r,
                         const std::string& where) {
  if (image.size() > r.length) {
    throw BuildRefusal(where, "the image of " + hex(image.size()) +
                                  " bytes does not fit the region of " + hex(r.length));
  }
  if (image.size() < kVersionPatch + 1) {
    throw BuildRefusal(
        where, "the image of " + hex(image.size()) + " bytes is shorter than " + "its header");
  }
  const auto codeByte = static_cast<std::uint8_t>(r.code);
  const bool booter = r.group == kBooterGroup;
  const std::size_t codeAt = booter ? kBooterComponentCode : kComponentCode;
  if (image[codeAt] != codeByte) {
    throw BuildRefusal(where, "header code byte " + hex(image[codeAt], 2) + " at " +
                                  hex(codeAt, 2) + " does not repeat the region's code " +
                                  hex(codeByte, 2));
  }
  if (booter && image[kBooterMarker] != kBooterMarkerValue) {
    throw BuildRefusal(where,
                       "booter header byte 0x0B is " + hex(image[kBooterMarker], 2) + ", not 0x02");
  }
  const std::uint32_t words = usb::le32(image, kWordCount);
  if (static_cast<std::uint64_t>(words) * 2 > r.length - kComponentHeaderSize ||
      static_cast<std::uint64_t>(words) * 2 > image.size() - kComponentHeaderSize) {
    throw BuildRefusal(where, "word count " + hex(words) + " reaches past the image");
  }
  std::uint16_t sum = 0;
  for (std::size_t i = 0; i < words; ++i) {
    sum = static_cast<std::uint16_t>(sum + usb::le16(image, kComponentHeaderSize + 2 * i));
  }
  const std::uint16_t stored = usb::le16(image, kChecksum);
  if (sum != stored) {
    throw BuildRefusal(
        where, "checksum " + hex(stored, 4) + " is wrong, the payload sums to " + hex(sum, 4));
  }
  if (!booter) {
    const std::uint8_t major = image[kVersionMajor], minor = image[kVersionMinor];
    if (!isBcdByte(major) || !isBcdByte(minor) || major == 0) {
      throw BuildRefusal(where, "version " + digits(major) + "." + digits(minor) +
                                    " is not BCD (major 01 to 99, minor 00 to 99)");
    }
  }
  const std::uint8_t* d = image.data() + kReleaseDate;
  const bool dateOk = std::all_of(d, d + 4, isBcdByte) && d[0] != 0 && d[1] != 0;
  if (!dateOk) {
    throw BuildRefusal(where, "release date bytes " + digits(d[0]) + " " + digits(d[1]) + " " +
                                  digits(d[2]) + " " + digits(d[3]) +
                                  " are not a BCD day, month, century and year");
  }
}

BuiltPackage buildPackage(const Manifest& m) {
  BuiltPackage out;
  auto& p = out.package;
  p.assign(kPackageSize, 0xFF);
  for (std::size_t i = 0; i < 256; ++i) p[kByteRampOffset + i] = static_cast<std::uint8_t>(i);
  p[kHeaderOffset] = m.modelCode;

  // Region table and image.
  const auto& regions = m.regions;
  const auto end = std::find_if(regions.begin(), regions.end(),
                                [](const ManifestRegion& r) { return r.isEnd(); });
  if (end != regions.end() && end + 1 != regions.end()) {
    throw BuildRefusal(describe(static_cast<std::size_t>(end + 1 - regions.begin()), *(end + 1)),
                       "follows the end record and would never be found");
  }
  if (regions.size() > kMaxRegionRecords) {
    throw BuildRefusal("region table", "holds " + std::to_string(regions.size()) +
                                           " records, more than its " +
                                           std::to_string(kMaxRegionRecords));
  }
  if (end == regions.end() && regions.size() < kMaxRegionRecords) {
    throw BuildRefusal("region table", "has no end record (group 0xFFFF)");
  }
  for (std::size_t i = 0; i < regions.size(); ++i) {
    const auto& r = regions[i];
    const std::size_t at = kRegionTableOffset + i * kRegionRecordSize;
    usb::putLe16(p, at + kRegionGroup, r.group);
    usb::putLe16(p, at + kRegionCode, r.code);
    usb::putLe32(p, at + kRegionImageOffset, r.imageOffset);
    usb::putLe32(p, at + kRegionLength, r.length);
    usb::putLe32(p, at + kRegionMinAddress, r.minAddress);
    usb::putLe32(p, at + kRegionMaxAddress, r.maxAddress);
    usb::putLe32(p, at + kRegionCarriedWord, r.carriedWord);
    if (r.isEnd()) continue;
    const std::string where = describe(i, r);
    checkRegionPlacement(regions, i);
    const auto image = regionImage(r);
    if (image.empty()) continue;
    checkComponentImage(image, r, where);
    if (const auto sent = bytesSent(r); sent && image.size() > *sent) {
      throw BuildRefusal(where, "the image of " + hex(image.size()) + " bytes is longer than the " +
                                    hex(*sent) + " bytes that are sent to the key");
    }
    std::copy(image.begin(), image.end(),
              p.begin() + static_cast<std::ptrdiff_t>(kFlashImageOffset + r.imageOffset));
  }

  // Model identifiers.
  for (std::size_t i = 0; i < 2; ++i) {
    const std::string where = "model identifier " + std::to_string(i + 1);
    const auto id = encodeText(m.modelIds[i], kModelIdSize, where);
    if (id.size() != kModelIdLength) {
      throw BuildRefusal(where, "\"" + m.modelIds[i] + "\" is not 8 characters long");
    }
    std::fill_n(p.begin() + static_cast<std::ptrdiff_t>(kModelIdsOffset + i * kModelIdSize),
                kModelIdSize, 0);
    put(p, kModelIdsOffset + i * kModelIdSize, id);
  }

  // Text tables: 34 records, the end record and zero padding each.
  if (m.textTables.size() != kTextTableCount) {
    throw BuildRefusal("text tables", std::to_string(m.textTables.size()) +
                                          " are listed, the package holds " +
                                          std::to_string(kTextTableCount));
  }
  for (std::size_t t = 0; t < kTextTableCount; ++t) {
    const auto records =
        keyedTextRecords(m.textTables[t], kTextsPerTable, kTextFieldSize - 1, "text table");
    const std::size_t at = kTextTablesOffset + t * kTextTableStride;
    std::fill_n(p.begin() + static_cast<std::ptrdiff_t>(at), kTextTableStride, 0);
    std::copy(records.begin(), records.end(), p.begin() + static_cast<std::ptrdiff_t>(at));
  }

  out.locales = localeRecords(m.locales);
  out.modelNames = keyedTextRecords(m.modelNames, kMaxNameScan - 1, kMaxNameLength, "name table");
  out.componentNames =
      keyedTextRecords(m.componentNames, kMaxNameScan - 1, kMaxNameLength, "name table");

  // Last, what the program itself checks: the model has a name, and every component of the
  // version column has a name and verifies.
  Catalogue catalogue(out.package, {out.locales, out.modelNames, out.componentNames});
  const Result opened = catalogue.openPackage().result;
  if (opened == Result::invalid) {
    throw BuildRefusal("package",
                       "model code " + std::to_string(m.modelCode) + " is neither 13 nor 18");
  }
  if (opened != Result::ok) {
    throw BuildRefusal("package", "model code " + std::to_string(m.modelCode) +
                                      " has no entry in the model-name table");
  }
  for (std::size_t i = 0; i < regions.size() && !regions[i].isEnd(); ++i) {
    if (!isDisplayableCode(regions[i].code)) continue;
    std::string name;
    if (lookupNamedEntry(out.componentNames, regions[i].code, name) != Result::ok) {
      throw BuildRefusal(describe(i, regions[i]),
                         "its code has no entry in the component-name table");
    }
    if (!regions[i].recipe && !regions[i].file) {
      throw BuildRefusal(describe(i, regions[i]),
                         "the version column lists it, yet it has no image");
    }
  }
  if (catalogue.buildImageVersionRows() != Result::ok) {
    throw BuildRefusal("package", "the image-side version column cannot be built");
  }
  return out;
}

void writeBuiltPackage(const BuiltPackage& built, const std::filesystem::path& folder) {
  const std::pair<const char*, const std::vector<std::uint8_t>*> files[] = {
      {kPackageFile, &built.package},
      {kLocalesFile, &built.locales},
      {kModelNamesFile, &built.modelNames},
      {kComponentNamesFile, &built.componentNames},
  };
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  std::vector<std::filesystem::path> temporary;
  auto discard = [&] {
    for (const auto& t : temporary) std::filesystem::remove(t, ec);
  };
  for (const auto& [name, bytes] : files) {
    const auto path = folder / (std::string(name) + ".part");
    temporary.push_back(path);
    std::ofstream outFile(path, std::ios::binary | std::ios::trunc);
    outFile.write(reinterpret_cast<const char*>(bytes->data()),
                  static_cast<std::streamsize>(bytes->size()));
    outFile.close();
    if (!outFile) {
      discard();
      throw BuildRefusal((folder / name).string(), "cannot be written");
    }
  }
  // A folder in the place of an output would fail its rename after earlier files had been
  // replaced: refuse it before any is.
  for (const auto& [name, bytes] : files) {
    if (std::filesystem::is_directory(folder / name, ec)) {
      discard();
      throw BuildRefusal((folder / name).string(), "cannot be written: a folder is in its place");
    }
  }
  for (std::size_t i = 0; i < temporary.size(); ++i) {
    std::error_code renamed;
    std::filesystem::rename(temporary[i], folder / files[i].first, renamed);
    if (renamed) {
      discard();
      throw BuildRefusal((folder / files[i].first).string(),
                         "cannot be written: " + renamed.message());
    }
  }
}

}  // namespace flashwell::pack
