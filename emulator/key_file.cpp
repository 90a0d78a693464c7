#include "emulator/key_file.h"

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <set>

#include "files/file_checks.h"
#include "usb/bytes.h"

namespace flashwell::emulator {

namespace {
constexpr std::array<std::uint8_t, 8> kMagic{'F', 'W', 'K', 'E', 'Y', 'S', 'T', 0};
constexpr std::uint32_t kFormatVersion = 1;
// Larger than any valid file: the firmware area, seven regions and the small fields.
constexpr std::size_t kLargestFile = kFirmwareAreaSize + 7 * (kRegionCapacity + 6) + 4096;

void put16(std::vector<std::uint8_t>& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void putBlock(std::vector<std::uint8_t>& out, std::span<const std::uint8_t> bytes) {
  put32(out, static_cast<std::uint32_t>(bytes.size()));
  out.insert(out.end(), bytes.begin(), bytes.end());
}

// Reads the file front to back; every read is checked against what is left.
class Reader {
 public:
  explicit Reader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  std::optional<std::uint16_t> u16() { return take<std::uint16_t>(usb::tryLe16(bytes_, at_), 2); }
  std::optional<std::uint32_t> u32() { return take<std::uint32_t>(usb::tryLe32(bytes_, at_), 4); }
  std::optional<std::span<const std::uint8_t>> block(std::size_t expected) {
    const auto length = u32();
    if (!length || *length != expected || !usb::fits(bytes_, at_, *length)) return std::nullopt;
    const auto span = bytes_.subspan(at_, *length);
    at_ += *length;
    return span;
  }
  bool atEnd() const { return at_ == bytes_.size(); }
  std::size_t offset() const { return at_; }

 private:
  template <typename T>
  std::optional<T> take(std::optional<T> value, std::size_t width) {
    if (value) at_ += width;
    return value;
  }
  std::span<const std::uint8_t> bytes_;
  std::size_t at_ = 0;
};

std::optional<KeyImage> refuse(std::string* error, const std::string& why) {
  if (error) *error = "key state: " + why;
  return std::nullopt;
}
}  // namespace

std::vector<std::uint8_t> encodeKeyImage(const KeyImage& image) {
  std::vector<std::uint8_t> out(kMagic.begin(), kMagic.end());
  put32(out, kFormatVersion);
  put16(out, static_cast<std::uint16_t>(image.program));
  put16(out, image.maxPacketSize);
  putBlock(out, image.identity);
  putBlock(out, image.configuration);
  putBlock(out, image.firmwareArea);
  put32(out, static_cast<std::uint32_t>(image.regions.size()));
  for (const auto& [code, storage] : image.regions) {
    put16(out, code);
    putBlock(out, storage);
  }
  return out;
}

std::optional<KeyImage> decodeKeyImage(std::span<const std::uint8_t> bytes, std::string* error) {
  if (bytes.size() < kMagic.size() || !std::equal(kMagic.begin(), kMagic.end(), bytes.begin())) {
    return refuse(error, "not a key state file");
  }
  Reader in(bytes.subspan(kMagic.size()));
  const auto version = in.u32();
  if (!version) return refuse(error, "truncated header");
  if (*version != kFormatVersion) {
    return refuse(error, "format version " + std::to_string(*version) + " is not supported");
  }
  KeyImage image;
  const auto program = in.u16();
  const auto packet = in.u16();
  if (!program || !packet) return refuse(error, "truncated header");
  if (*program != static_cast<std::uint16_t>(KeyProgram::booter) &&
      *program != static_cast<std::uint16_t>(KeyProgram::firmware)) {
    return refuse(error, "unknown program " + std::to_string(*program));
  }
  if (*packet != 8 && *packet != 64) {
    return refuse(error, "maximum packet size " + std::to_string(*packet) + " is not 8 or 64");
  }
  image.program = static_cast<KeyProgram>(*program);
  image.maxPacketSize = *packet;

  const auto identity = in.block(kIdentitySize);
  if (!identity) return refuse(error, "identity is not 128 bytes");
  std::copy(identity->begin(), identity->end(), image.identity.begin());
  const auto configuration = in.block(kConfigurationSize);
  if (!configuration) return refuse(error, "configuration memory is not 128 bytes");
  std::copy(configuration->begin(), configuration->end(), image.configuration.begin());
  const auto area = in.block(kFirmwareAreaSize);
  if (!area) return refuse(error, "firmware area has the wrong length or is truncated");
  image.firmwareArea.assign(area->begin(), area->end());

  const auto count = in.u32();
  if (!count || *count != kRegionWindows.size()) {
    return refuse(error, "region count is not " + std::to_string(kRegionWindows.size()));
  }
  std::set<std::uint16_t> seen;
  for (std::uint32_t i = 0; i < *count; ++i) {
    const auto code = in.u16();
    if (!code) return refuse(error, "truncated region list");
    if (!regionWindow(*code) || !seen.insert(*code).second) {
      return refuse(error, "unknown or repeated region code " + std::to_string(*code));
    }
    const auto storage = in.block(kRegionCapacity);
    if (!storage) return refuse(error, "region " + std::to_string(*code) + " has the wrong length");
    image.regions[*code].assign(storage->begin(), storage->end());
  }
  if (!in.atEnd()) return refuse(error, "bytes after the last region");
  return image;
}

bool saveKeyImage(const KeyImage& image, const std::string& path, std::string* error) {
  std::string why;
  if (files::writeOutput(path, encodeKeyImage(image), &why)) return true;
  if (error) *error = why;
  return false;
}

std::optional<KeyImage> loadKeyImage(const std::string& path, std::string* error) {
  std::string why;
  const auto bytes = files::readInput(path, kLargestFile, &why);
  if (!bytes) return refuse(error, why);
  return decodeKeyImage(*bytes, error);
}

std::string keyStateProblem(const std::string& path) {
  if (std::string why = files::outputProblem(path); !why.empty()) return why;
  std::error_code ec;
  if (!std::filesystem::exists(files::outputTarget(path), ec)) return {};
  return files::inputProblem(files::outputTarget(path), kLargestFile);
}

}  // namespace flashwell::emulator
