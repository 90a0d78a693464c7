// The package builder: a rebuilt package equals the embedded one, and every kind of input that
// the program could not use is refused with the record and the reason, writing nothing.

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "catalogue/embedded_package.h"
#include "catalogue/package_layout.h"
#include "tests/support/program_run.h"
#include "tools/pack/build_refusal.h"
#include "tools/pack/package_builder.h"
#include "tools/pack/package_inspect.h"
#include "tools/pack/table_file.h"
#include "usb/bytes.h"

namespace flashwell::pack {
namespace {

namespace fs = std::filesystem;

const fs::path kData = fs::path(FLASHWELL_SOURCE_DIR) / "catalogue" / "data";

std::vector<std::uint8_t> asVector(std::span<const std::uint8_t> s) {
  return {s.begin(), s.end()};
}

TEST(PackBuild, RebuildsTheEmbeddedPackageAndTablesByteForByte) {
  const auto built = buildPackage(readManifest(kData / "manifest.json"));
  EXPECT_EQ(built.package, asVector(catalogue::embeddedPackage()));
  const auto tables = catalogue::embeddedTables();
  EXPECT_EQ(built.locales, asVector(tables.locales));
  EXPECT_EQ(built.modelNames, asVector(tables.modelNames));
  EXPECT_EQ(built.componentNames, asVector(tables.componentNames));
  EXPECT_EQ(built.locales.size(), 38u * catalogue::kLocaleRecordSize);
  EXPECT_EQ(built.modelNames.size(), 27u * catalogue::kTextRecordSize);
  EXPECT_EQ(built.componentNames.size(), 46u * catalogue::kTextRecordSize);
}

// A scratch copy of the data folder whose files a test edits.
class Scratch : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::copy(kData, dir_ / "data", fs::copy_options::recursive);
    manifest_ = support::readFile(dir_ / "data" / "manifest.json");
  }
  void replaceIn(const std::string& file, const std::string& from, const std::string& to) {
    const auto p = dir_ / "data" / file;
    std::string text = support::readFile(p);
    const auto at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
    support::writeFile(p, text);
  }

  // The refusal of a build, or "" when it builds.
  std::string refusal() {
    try {
      const auto built = buildPackage(readManifest(dir_ / "data" / "manifest.json"));
      writeBuiltPackage(built, dir_ / "out");
    } catch (const BuildRefusal& r) {
      return r.what();
    }
    return "";
  }

  support::Scratch dir_;
  std::string manifest_;
};

struct RefusalCase {
  std::string name;
  std::string file;
  std::string from;
  std::string to;
  std::string message;  // a regular expression the refusal must match
};

void PrintTo(const RefusalCase& c, std::ostream* os) {
  *os << c.name;
}

class PackRefusal : public Scratch, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(PackRefusal, NamesTheRecordAndTheReasonAndWritesNothing) {
  const RefusalCase& c = GetParam();
  replaceIn(c.file, c.from, c.to);
  const std::string message = refusal();
  EXPECT_TRUE(std::regex_search(message, std::regex(c.message))) << message;
  EXPECT_FALSE(fs::exists(dir_ / "out" / kPackageFile));
}

const char kLambda[] = R"("imageOffset": "0x6C000", "length": "0xC000")";
const char kGps[] = R"("imageOffset": "0x78000", "length": "0x10000")";

INSTANTIATE_TEST_SUITE_P(
    Inputs, PackRefusal,
    ::testing::Values(
        RefusalCase{"outside", "manifest.json", kGps,
                    R"("imageOffset": "0xF8000", "length": "0x10000")",
                    R"(region 7 \(6, '5'\): lies outside the image)"},
        RefusalCase{"overlap", "manifest.json", kLambda,
                    R"("imageOffset": "0x6C000", "length": "0xC800")",
                    R"(region 7 \(6, '5'\): overlaps region 6 \(2, '%'\))"},
        RefusalCase{"too_long", "manifest.json", R"("imageOffset": "0x08000", "length": "0x1C000")",
                    R"("imageOffset": "0x08000", "length": "0x1C001")",
                    R"(region 2 \(6, '3'\): length 0x1C001 is over 0x1C000)"},
        RefusalCase{"code_byte", "images/gps.json", R"("code": "5")", R"("code": "6")",
                    R"(region 7 \(6, '5'\): header code byte 0x36 at 0x1D does not repeat)"},
        RefusalCase{"booter_code", "images/booter.json", R"("code": 21)", R"("code": 22)",
                    R"(region 1 \(5, 21\): header code byte 0x16 at 0x1E)"},
        RefusalCase{"version", "images/lang.json", R"("02.31.20")", R"("02.3A")",
                    R"(region 4 \(6, '4'\): version 02.3A is not BCD)"},
        RefusalCase{"major_zero", "images/lang.json", R"("02.31.20")", R"("00.31")",
                    R"(region 4 \(6, '4'\): version 00.31 is not BCD)"},
        RefusalCase{"date", "images/zunit.json", R"("2023-06-14")", R"("2023-0B-14")",
                    R"(region 5 \(6, '2'\): release date bytes 14 0B 20 23 are not)"},
        RefusalCase{"image_too_big", "images/lambda.json", R"("0xB5E0")", R"("0xC002")",
                    R"(region 6 \(2, '%'\): the image of 0xC002 bytes does not fit)"},
        RefusalCase{
            "not_all_sent", "images/zunit.json", R"("0x16C40")", R"("0x18002")",
            R"(region 5 \(6, '2'\): the image of 0x18002 bytes is longer than the 0x18000)"},
        RefusalCase{"text_too_long", "texts/french.txt", R"(102 "TERMINER")",
                    "102 \"" + std::string(256, 'e') + "\"",
                    R"(french.txt:6: id 102: 256 bytes in Windows-1252 do not fit)"},
        RefusalCase{"text_charset", "texts/german.txt", R"(102 "BEENDEN")", R"(102 "BEENDEN ☺")",
                    R"(german.txt:6: id 102: holds a character outside Windows-1252)"},
        RefusalCase{"table_size", "texts/dutch.txt", R"(188 ")", "189 \"one more\"\n188 \"",
                    R"(dutch.txt: the text table holds 35 records, more than its 34)"},
        RefusalCase{"name_size", "models.txt", R"(13 "LAPSTER4")",
                    "13 \"" + std::string(128, 'M') + "\"",
                    R"(models.txt:16: id 13: 128 bytes in Windows-1252 do not fit)"},
        RefusalCase{"bad_line", "locales.txt", R"~(0x0410 2 "Italian (Standard)")~",
                    R"~(0x0410 two "Italian (Standard)")~",
                    R"(locales.txt:5: 'two' is not a number)"},
        RefusalCase{"after_end", "manifest.json", R"({"group": "0xFFFF"})",
                    R"({"group": "0xFFFF"}, {"group": 6, "code": "7", "imageOffset": "0x94000",
                        "length": "0x1000", "minAddress": 0, "maxAddress": 0, "auxValue": 0})",
                    R"(region 10 \(6, '7'\): follows the end record)"},
        RefusalCase{"model_code", "manifest.json", R"("modelCode": 13)", R"("modelCode": 12)",
                    R"(package: model code 12 is neither 13 nor 18)"},
        RefusalCase{"model_name", "models.txt", R"(13 "LAPSTER4")", "",
                    R"(package: model code 13 has no entry)"},
        RefusalCase{"component_name", "components.txt", R"('5' "GPS")", "",
                    R"(region 7 \(6, '5'\): its code has no entry in the component-name table)"},
        RefusalCase{"model_id", "manifest.json", R"("LPS4_660")", R"("LPS4_66")",
                    R"(model identifier 2: "LPS4_66" is not 8 characters long)"}),
    [](const auto& info) { return info.param.name; });

TEST_F(Scratch, RefusesAWrongChecksumAndAWordCountPastTheRegionInAFirmwareFile) {
  auto built = buildPackage(readManifest(dir_ / "data" / "manifest.json"));
  const std::size_t gps = catalogue::kFlashImageOffset + 0x78000;
  std::string image(built.package.begin() + gps, built.package.begin() + gps + 0xF2A0);
  support::writeFile(dir_ / "data" / "images" / "gps.bin", image);
  replaceIn("manifest.json", R"("recipe": "images/gps.json")", R"("file": "images/gps.bin")");
  EXPECT_EQ(refusal(), "") << "a firmware file takes a recipe's place";

  image[0x40] ^= 0x01;
  support::writeFile(dir_ / "data" / "images" / "gps.bin", image);
  EXPECT_TRUE(std::regex_search(
      refusal(), std::regex(R"(region 7 \(6, '5'\): checksum 0x[0-9A-F]{4} is wrong)")));

  image[0x40] ^= 0x01;
  image[0] = static_cast<char>(0xFF);
  image[1] = static_cast<char>(0xFF);
  support::writeFile(dir_ / "data" / "images" / "gps.bin", image);
  EXPECT_TRUE(std::regex_search(refusal(), std::regex(R"(word count 0x.* reaches past)")));
}

TEST_F(Scratch, RefusesMoreThanTwentyRegionRecords) {
  std::string many;
  for (int i = 0; i < 12; ++i) {
    many += R"({"group": 6, "code": 1, "imageOffset": ")" + hex(0x94000 + i * 0x1000) +
            R"(", "length": 0, "minAddress": 0, "maxAddress": 0, "auxValue": 0},)";
  }
  replaceIn("manifest.json", R"({"group": "0xFFFF"})", many + R"({"group": "0xFFFF"})");
  EXPECT_EQ(refusal(), "region table: holds 22 records, more than its 20");
}

TEST_F(Scratch, AFailedBuildLeavesAnEarlierOutputAsItWas) {
  ASSERT_EQ(refusal(), "");
  const auto before = support::readFile(dir_ / "out" / kPackageFile);
  replaceIn("images/gps.json", R"("code": "5")", R"("code": "6")");
  EXPECT_NE(refusal(), "");
  EXPECT_EQ(support::readFile(dir_ / "out" / kPackageFile), before);
  EXPECT_FALSE(fs::exists(dir_ / "out" / (std::string(kPackageFile) + ".part")));
}

TEST(TableFile, RejectsMalformedLines) {
  EXPECT_THROW(parseTableText("1 \"open\n", "t", 1), BuildRefusal);
  EXPECT_THROW(parseTableText("1 \"x\" tail\n", "t", 1), BuildRefusal);
  EXPECT_THROW(parseTableText("1 \"bad \\t escape\"\n", "t", 1), BuildRefusal);
  EXPECT_THROW(parseTableText("\"no key\"\n", "t", 1), BuildRefusal);
  EXPECT_THROW(parseTableText("0x1FFFFFFFF \"big\"\n", "t", 1), BuildRefusal);
  const auto ok = parseTableText("'3' \"a \\\"b\\\" \\\\ c\\n\"\n", "t", 1);
  ASSERT_EQ(ok.size(), 1u);
  EXPECT_EQ(ok[0].numbers[0], '3');
  EXPECT_EQ(ok[0].text, "a \"b\" \\ c\n");
  const auto two = parseTableText("0x0C0A 4   \"  blanks  \"\r\n", "t", 2);
  ASSERT_EQ(two.size(), 1u);
  EXPECT_EQ(two[0].numbers, (std::vector<std::uint32_t>{0x0C0A, 4}));
  EXPECT_EQ(two[0].text, "  blanks  ");
}

TEST(PackInspect, ShowsTheSevenRowsAndValidChecksumsOfTheEmbeddedPackage) {
  const auto inspection = inspectPackage(catalogue::embeddedPackage(), catalogue::embeddedTables());
  EXPECT_TRUE(inspection.valid);
  const std::string& r = inspection.report;
  EXPECT_NE(r.find("model: 13 LAPSTER4"), std::string::npos);
  EXPECT_NE(r.find("  |02.05        2024/03/18|\n  ||\n  |04.12.03   2024/02/27|\n"),
            std::string::npos)
      << r;
  EXPECT_EQ(std::count(r.begin(), r.end(), '|'), 2 * 8);
  std::size_t holds = 0;
  for (std::size_t at = r.find("holds"); at != std::string::npos; at = r.find("holds", at + 1)) {
    ++holds;
  }
  EXPECT_EQ(holds, 8u) << "the booter and the seven components";
  EXPECT_EQ(r.find("WRONG"), std::string::npos);
  EXPECT_NE(r.find("7 English (second): 101 102"), std::string::npos);

  auto broken = asVector(catalogue::embeddedPackage());
  broken[catalogue::kFlashImageOffset + 0x78000 + 0x100] ^= 1;
  const auto bad = inspectPackage(broken, catalogue::embeddedTables());
  EXPECT_FALSE(bad.valid);
  EXPECT_NE(bad.report.find("WRONG"), std::string::npos);
  EXPECT_NE(bad.report.find("image versions: 213"), std::string::npos);
  EXPECT_FALSE(inspectPackage({}, catalogue::embeddedTables()).valid);
}

}  // namespace
}  // namespace flashwell::pack
