#pragma once

// The layout of the firmware package that the program carries, of its region records and of the
// header that starts every component. Offsets are from the start of the package (or of a
// region); multi-byte values are little-endian.

#include <cstddef>
#include <cstdint>

#include "protocol/key_records.h"

namespace flashwell::catalogue {

// The 16-bit key that ends every searched table.
inline constexpr std::uint16_t kEndId = 0xFFFF;

// Package.
inline constexpr std::size_t kByteRampOffset = 0x000;
inline constexpr std::size_t kHeaderOffset = 0x100;  // byte 0: model code, then 15 x 0xFF
inline constexpr std::size_t kHeaderSize = 16;
inline constexpr std::size_t kRegionTableOffset = 0x110;
inline constexpr std::size_t kRegionTableSize = 496;  // 20 records, then 16 x 0xFF
inline constexpr std::size_t kRegionRecordSize = 24;
inline constexpr std::size_t kMaxRegionRecords = 20;
using protocol::kFlashImageOffset;
using protocol::kFlashImageSize;
inline constexpr std::size_t kModelIdsOffset = 0x100300;
inline constexpr std::size_t kModelIdSize = 12;  // 8 characters, zero-padded
inline constexpr std::size_t kModelIdLength = 8;
inline constexpr std::size_t kTextTablesOffset = 0x100318;
inline constexpr std::size_t kTextTableCount = 7;
inline constexpr std::size_t kTextTableStride = 9032;  // 34 records, the end record, 2 x 0
inline constexpr std::size_t kTextsPerTable = 34;
inline constexpr std::size_t kPackageSize = kTextTablesOffset + kTextTableCount * kTextTableStride;

// Model codes.
inline constexpr std::uint16_t kModelStandard = 13;  // LAPSTER4
inline constexpr std::uint16_t kModelVariant = 18;   // LPS4_660

// Region records.
inline constexpr std::size_t kRegionGroup = 0;
inline constexpr std::size_t kRegionCode = 2;
inline constexpr std::size_t kRegionImageOffset = 4;
inline constexpr std::size_t kRegionLength = 8;
inline constexpr std::size_t kRegionMinAddress = 12;
inline constexpr std::size_t kRegionMaxAddress = 16;
inline constexpr std::size_t kRegionCarriedWord = 20;
inline constexpr std::uint32_t kMaxRegionLength = 0x1C000;
inline constexpr std::uint16_t kBooterGroup = 5;  // booter-type components

// The component header and the payload bytes that the tool reads, from a region's first byte:
// named once beside the other records the catalogue shares with the worker.
using protocol::kBooterComponentCode;
using protocol::kBooterMarker;
using protocol::kBooterMarkerValue;
using protocol::kChecksum;
using protocol::kComponentBytesRead;
using protocol::kComponentCode;
using protocol::kComponentHeaderSize;
using protocol::kReleaseDate;
using protocol::kVersionMajor;
using protocol::kVersionMinor;
using protocol::kVersionPatch;
using protocol::kWordCount;

// Text and name records: a u16 id and a 256-byte zero-terminated field.
inline constexpr std::size_t kTextRecordSize = 258;
inline constexpr std::size_t kTextFieldSize = 256;
inline constexpr std::size_t kMaxTextScan = 200;
inline constexpr std::size_t kMaxNameScan = 100;
inline constexpr std::size_t kMaxNameLength = 127;

// Locale records: u16 language number, u16 LCID, 128-byte zero-terminated name.
inline constexpr std::size_t kLocaleRecordSize = 132;
inline constexpr std::size_t kLocaleNameSize = 128;
inline constexpr std::size_t kMaxLocaleScan = 200;

}  // namespace flashwell::catalogue
