#include "tools/pack/package_inspect.h"

#include <cstdio>
#include <cstring>
#include <sstream>
#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/cp1252.h"
#include "usb/bytes.h"

namespace flashwell::pack {

using namespace flashwell::catalogue;

namespace {

std::string hexValue(std::uint64_t v, int digits) {
  char b[24];
  std::snprintf(b, sizeof b, "0x%0*llX", digits, static_cast<unsigned long long>(v));
  return b;
}

std::string codeText(std::uint16_t code) {
  if (code >= 0x21 && code < 0x7F) return std::string("'") + static_cast<char>(code) + "'";
  return std::to_string(code);
}

void describeRegions(std::ostringstream& out, std::span<const std::uint8_t> p,
                     const Catalogue& catalogue) {
  out << "region table:\n"
      << "   #  group  code  imageOffset  length   minAddress  maxAddress  auxValue\n";
  const std::size_t imageEnd = kFlashImageOffset + kFlashImageSize;
  for (std::size_t i = 0; i < kMaxRegionRecords; ++i) {
    const std::size_t at = kRegionTableOffset + i * kRegionRecordSize;
    if (!usb::fits(p, at, kRegionRecordSize)) break;
    const std::uint16_t group = usb::le16(p, at + kRegionGroup);
    char line[160];
    if (group == kEndId) {
      std::snprintf(line, sizeof line, "  %2zu  end of table\n", i);
      out << line;
      break;
    }
    const std::uint16_t code = usb::le16(p, at + kRegionCode);
    const std::uint32_t offset = usb::le32(p, at + kRegionImageOffset);
    const std::uint32_t length = usb::le32(p, at + kRegionLength);
    std::snprintf(line, sizeof line, "  %2zu  %5u  %4s  %11s  %7s  %10s  %10s  %8s\n", i, group,
                  codeText(code).c_str(), hexValue(offset, 5).c_str(), hexValue(length, 4).c_str(),
                  hexValue(usb::le32(p, at + kRegionMinAddress), 5).c_str(),
                  hexValue(usb::le32(p, at + kRegionMaxAddress), 5).c_str(),
                  hexValue(usb::le32(p, at + kRegionCarriedWord), 0).c_str());
    out << line;
  }

  out << "components:\n";
  for (std::size_t i = 0; i < kMaxRegionRecords; ++i) {
    const std::size_t at = kRegionTableOffset + i * kRegionRecordSize;
    if (!usb::fits(p, at, kRegionRecordSize) || usb::le16(p, at) == kEndId) break;
    const std::uint16_t group = usb::le16(p, at + kRegionGroup);
    const std::uint16_t code = usb::le16(p, at + kRegionCode);
    const std::uint32_t offset = usb::le32(p, at + kRegionImageOffset);
    const std::uint32_t length = usb::le32(p, at + kRegionLength);
    out << "  (" << group << ", " << codeText(code) << "): ";
    const std::size_t h = kFlashImageOffset + offset;
    if (h > imageEnd || !usb::fits(p, h, kVersionPatch + 1)) {
      out << "outside the image\n";
      continue;
    }
    if (usb::le32(p, h + kWordCount) == 0xFFFFFFFF) {
      out << "empty\n";
      continue;
    }
    const auto* b = p.data() + h;
    if (group != kBooterGroup) {
      const std::uint8_t patch = b[kVersionPatch];
      out << "version "
          << (patch == 0 || patch == 0x20
                  ? formatTwoPartVersion(b[kVersionMajor], b[kVersionMinor]).substr(0, 5)
                  : formatImageThreePartVersion(b[kVersionMajor], b[kVersionMinor], patch))
          << ", ";
    }
    out << "date " << formatDate(b[kReleaseDate + 3], b[kReleaseDate + 1], b[kReleaseDate])
        << " (century byte " << hexValue(b[kReleaseDate + 2], 2) << "), "
        << usb::le32(p, h + kWordCount) << " words, checksum "
        << hexValue(usb::le16(p, h + kChecksum), 4)
        << (catalogue.checkComponentSum(offset, length) == Result::ok ? " holds" : " WRONG")
        << "\n";
  }
}

void describeTexts(std::ostringstream& out, std::span<const std::uint8_t> p) {
  static const char* const kNames[kTextTableCount] = {
      "English", "Italian", "German", "French", "Spanish", "Dutch", "English (second)"};
  out << "text tables:\n";
  for (std::size_t t = 0; t < kTextTableCount; ++t) {
    out << "  " << t + 1 << " " << kNames[t] << ":";
    std::size_t count = 0;
    for (std::size_t i = 0; i < kMaxTextScan; ++i) {
      const std::size_t at = kTextTablesOffset + t * kTextTableStride + i * kTextRecordSize;
      if (!usb::fits(p, at, kTextRecordSize)) {
        out << " (cut off)";
        break;
      }
      const std::uint16_t id = usb::le16(p, at);
      if (id == kEndId) break;
      out << " " << id;
      ++count;
    }
    out << " (" << count << " texts)\n";
  }
}

// Why the bytes cannot be a package: not the package's size, or a region table that does not
// end with its end record within its records.
std::string packageProblem(std::span<const std::uint8_t> p) {
  if (p.size() != kPackageSize) {
    return "is " + std::to_string(p.size()) + " bytes, but a package has exactly " +
           std::to_string(kPackageSize);
  }
  for (std::size_t i = 0; i < kMaxRegionRecords; ++i) {
    if (usb::le16(p, kRegionTableOffset + i * kRegionRecordSize + kRegionGroup) == kEndId) {
      return {};
    }
  }
  return "its region table has no end record within its " + std::to_string(kMaxRegionRecords) +
         " records";
}

}  // namespace

Inspection inspectPackage(std::span<const std::uint8_t> package, const BuiltinTables& tables) {
  Inspection result;
  result.problem = packageProblem(package);
  if (!result.problem.empty()) return result;
  std::vector<std::uint8_t> copy(package.begin(), package.end());
  Catalogue catalogue(copy, tables);
  std::ostringstream out;

  out << "size: " << package.size() << " bytes";
  if (package.size() != kPackageSize) out << " (a package has " << kPackageSize << ")";
  out << "\n";
  const auto model = package.size() > kHeaderOffset ? package[kHeaderOffset] : 0;
  std::string modelName = "(no name)";
  lookupNamedEntry(tables.modelNames, model, modelName);
  out << "model: " << static_cast<unsigned>(model) << " " << cp1252ToUtf8(modelName) << "\n";
  if (usb::fits(package, kModelIdsOffset, 2 * kModelIdSize)) {
    auto id = [&](std::size_t i) {
      const auto* b =
          reinterpret_cast<const char*>(package.data() + kModelIdsOffset + i * kModelIdSize);
      return cp1252ToUtf8(std::string(b, strnlen(b, kModelIdSize)));
    };
    out << "model identifiers: " << id(0) << ", " << id(1) << "\n";
  }

  const auto opened = catalogue.openPackage();
  describeRegions(out, package, catalogue);
  RegionSlots slots{};
  const bool assigned = opened.result == Result::ok && catalogue.assignRegionSlots(slots);
  const Result rows = catalogue.buildImageVersionRows();
  out << "open: " << static_cast<int>(opened.result)
      << ", region slots: " << (assigned ? "filled" : "FAILED")
      << ", image versions: " << static_cast<int>(rows) << "\n";
  if (rows == Result::ok) {
    out << "image-side version column:\n";
    std::istringstream column(cp1252ToUtf8(catalogue.showImageVersions()));
    std::string line;
    while (std::getline(column, line)) out << "  |" << line << "|\n";
  }
  describeTexts(out, package);
  result.report = out.str();
  result.valid = opened.result == Result::ok && assigned && rows == Result::ok;
  return result;
}

}  // namespace flashwell::pack
