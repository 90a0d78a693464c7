// flashwell-pack on bad input: truncated, oversized and malformed manifests, images and
// tables, and outputs it cannot write. Each is refused with one line that names the file and
// what is wrong, a non-zero exit, and no output file (nor a part of one) left behind.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <functional>

#include "tests/support/program_run.h"

namespace flashwell::edges {
namespace {

using namespace support;

namespace fs = std::filesystem;

const std::string kPack = FLASHWELL_PACK;
const fs::path kData = fs::path(FLASHWELL_SOURCE_DIR) / "catalogue" / "data";

// Where the GPS component lies in the flash image, and the bytes its region holds.
constexpr std::size_t kImageInPackage = 0x300;
constexpr std::size_t kGpsOffset = 0x78000;
constexpr std::size_t kGpsLength = 0x10000;

class PackEdges : public ::testing::Test {
 protected:
  void SetUp() override { fs::copy(kData, dir_ / "data", fs::copy_options::recursive); }

  ProgramRun pack(const std::vector<std::string>& args) {
    return runProgram(kPack, args, dir_.folder);
  }
  ProgramRun build(const std::string& manifest = "data/manifest.json") {
    return pack({"build", manifest, "-o", "out"});
  }

  void edit(const std::string& file, const std::string& from, const std::string& to) {
    std::string text = readFile(dir_ / "data" / file);
    const auto at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
    writeFile(dir_ / "data" / file, text);
  }

  // The GPS region given as a firmware file with these bytes, instead of its recipe.
  void gpsFromFile(const std::string& bytes) {
    edit("manifest.json", R"("recipe": "images/gps.json")", R"("file": "images/gps.bin")");
    writeFile(dir_ / "data" / "images" / "gps.bin", bytes);
  }

  // The bytes the recipe makes of the GPS component, from a package built from the data.
  std::string gpsImage() {
    const ProgramRun r = pack({"build", "data/manifest.json", "-o", "reference"});
    EXPECT_EQ(r.code, 0) << r.err;
    const std::string package = readFile(dir_ / "reference" / "package.bin");
    fs::remove_all(dir_ / "reference");
    return package.substr(kImageInPackage + kGpsOffset, kGpsLength);
  }

  // Refused: a non-zero exit, one line on stderr naming `file` and holding `reason`, no output.
  void expectRefused(const ProgramRun& r, const std::string& file, const std::string& reason) {
    EXPECT_NE(r.code, 0);
    EXPECT_LT(r.code, 128) << "ended by a signal:\n" << r.err;
    const auto lines = r.errLines();
    ASSERT_EQ(lines.size(), 1u) << r.err;
    EXPECT_EQ(lines[0].rfind("flashwell-pack: ", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find(file), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find(reason), std::string::npos) << lines[0];
    EXPECT_FALSE(fs::exists(dir_ / "out") && !filesBelow(dir_ / "out").empty())
        << ::testing::PrintToString(filesBelow(dir_ / "out"));
  }

  Scratch dir_;
};

TEST_F(PackEdges, TheDataAndAFirmwareFileMadeFromItBuild) {
  // The control case: the edits below break a build that works.
  const std::string gps = gpsImage();
  ASSERT_EQ(gps.size(), kGpsLength);
  gpsFromFile(gps);
  const ProgramRun r = build();
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(filesBelow(dir_ / "out"),
            (std::vector<std::string>{"component-names.bin", "locales.bin", "model-names.bin",
                                      "package.bin"}));
}

TEST_F(PackEdges, BadManifests) {
  const std::string manifest = readFile(dir_ / "data" / "manifest.json");
  struct Case {
    const char* what;
    std::string text;
    const char* reason;
  };
  const Case cases[] = {
      {"truncated", manifest.substr(0, manifest.size() / 2), "is not valid JSON at line "},
      {"empty", "", "is empty"},
      {"a list", "[1, 2]", "is not a JSON object"},
      {"oversized", manifest + std::string(17u << 20, ' '), "is too large"},
      {"model code a word", "{\"modelCode\": \"thirteen\"}", "modelCode"},
      {"negative model code", "{\"modelCode\": -1}", "modelCode must be an unsigned number"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    writeFile(dir_ / "data" / "bad.json", c.text);
    expectRefused(build("data/bad.json"), "data/bad.json", c.reason);
  }
  expectRefused(build("data/none.json"), "data/none.json", "does not exist");
  expectRefused(build("data"), "data", "is a folder");
}

TEST_F(PackEdges, BadRegionTables) {
  struct Case {
    const char* what;
    std::function<void()> change;
    const char* names;
    const char* reason;
  };
  const Case cases[] = {
      {"outside the image",
       [&] { edit("manifest.json", R"("imageOffset": "0x88000")", R"("imageOffset": "0xFF000")"); },
       "region 8", "lies outside the image"},
      {"too long",
       [&] { edit("manifest.json", R"("length": "0xC000")", R"("length": "0x1D000")"); },
       "region 6", "is over 0x1C000"},
      {"too many records",
       [&] {
         std::string many;
         for (int i = 0; i < 30; ++i) {
           many += R"({"group": 5, "code": 22, "imageOffset": 0, "length": 0, "minAddress": 0,)"
                   R"( "maxAddress": 0, "auxValue": 0},)";
         }
         edit("manifest.json", R"("regions": [)", R"("regions": [)" + many);
       },
       "region table", "more than its 20"},
      {"code too large", [&] { edit("manifest.json", R"("code": "H")", R"("code": "0x1FFFF")"); },
       "region 8", "is over 0xFFFF"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string before = readFile(dir_ / "data" / "manifest.json");
    c.change();
    expectRefused(build(), c.names, c.reason);
    writeFile(dir_ / "data" / "manifest.json", before);
  }
}

TEST_F(PackEdges, BadComponentImages) {
  const std::string gps = gpsImage();
  ASSERT_EQ(gps.size(), kGpsLength);
  std::string flipped = gps;
  flipped[0x100] = static_cast<char>(flipped[0x100] ^ 0x01);
  struct Case {
    const char* what;
    std::string bytes;
    const char* names;
    const char* reason;
  };
  const Case cases[] = {
      {"truncated", gps.substr(0, 0x1000), "region 7", "reaches past the image"},
      {"cut inside its header", gps.substr(0, 8), "region 7", "shorter than its header"},
      {"oversized", gps + std::string(0x800, '\xFF'), "region 7", "does not fit the region"},
      {"a payload byte changed", flipped, "region 7", "checksum"},
      {"empty", "", "images/gps.bin", "is empty"},
  };
  gpsFromFile(gps);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    writeFile(dir_ / "data" / "images" / "gps.bin", c.bytes);
    expectRefused(build(), c.names, c.reason);
  }
  fs::remove(dir_ / "data" / "images" / "gps.bin");
  fs::create_directory(dir_ / "data" / "images" / "gps.bin");
  expectRefused(build(), "images/gps.bin", "is a folder");
}

TEST_F(PackEdges, BadRecipesAndTables) {
  struct Case {
    const char* what;
    const char* file;
    std::string text;
    const char* reason;
  };
  const Case cases[] = {
      {"recipe truncated", "images/gps.json", R"({"code": "5", "size": "0x10)",
       "is not valid JSON"},
      {"recipe oversized", "images/gps.json",
       R"({"code": "5", "size": "0xFFFFFFFF", "date": "2021-05-10", "seed": 2, "version": "01.02"})",
       "is over 0x1C000"},
      {"recipe date", "images/gps.json",
       R"({"code": "5", "size": "0x100", "date": "10.05.2021", "seed": 2, "version": "01.02"})",
       "date must be written CCYY-MM-DD"},
      {"text without its closing quote", "texts/dutch.txt", "101 \"UPDATE voor\n",
       "no closing double quote"},
      {"locale line without a text", "locales.txt", "0x0409 1\n", "double quote"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string before = readFile(dir_ / "data" / c.file);
    writeFile(dir_ / "data" / c.file, c.text);
    expectRefused(build(), c.file, c.reason);
    writeFile(dir_ / "data" / c.file, before);
  }
  // A table that is a folder read as an empty table once, and the package was built.
  fs::remove(dir_ / "data" / "texts" / "english-2.txt");
  fs::create_directory(dir_ / "data" / "texts" / "english-2.txt");
  expectRefused(build(), "texts/english-2.txt", "is a folder");
}

TEST_F(PackEdges, OutputsThatCannotBeWrittenLeaveTheOldOnesAsTheyWere) {
  // A folder where the second output goes: nothing may be replaced, the first output included.
  fs::create_directories(dir_ / "out" / "locales.bin");
  writeFile(dir_ / "out" / "package.bin", "old package");
  const ProgramRun r = build();
  EXPECT_EQ(r.code, 1);
  ASSERT_EQ(r.errLines().size(), 1u) << r.err;
  EXPECT_NE(r.err.find("out/locales.bin: cannot be written: a folder is in its place"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(readFile(dir_ / "out" / "package.bin"), "old package");
  EXPECT_EQ(filesBelow(dir_ / "out"), std::vector<std::string>{"package.bin"});

  // An output folder that is a file.
  writeFile(dir_ / "file", "x");
  const ProgramRun onFile = pack({"build", "data/manifest.json", "-o", "file"});
  EXPECT_EQ(onFile.code, 1);
  EXPECT_EQ(onFile.errLines().size(), 1u) << onFile.err;
  EXPECT_EQ(readFile(dir_ / "file"), "x");
}

TEST_F(PackEdges, HostileFilesAreRefusedInOneLineAndSpecialFilesStayAsTheyWere) {
  ASSERT_EQ(pack({"export", "package.bin"}).code, 0);
  const std::string package = readFile(dir_ / "package.bin");
  writeFile(dir_ / "short.bin", package.substr(0, package.size() - 1));
  writeFile(dir_ / "long.bin", package + std::string(1 << 20, '\0'));
  // Every record of the region table taken by a region: no end record within its bound.
  std::string endless = package;
  for (std::size_t i = 0; i < 20; ++i) endless[0x110 + 24 * i] = endless[0x111 + 24 * i] = 0;
  writeFile(dir_ / "endless.bin", endless);
  writeFile(dir_ / "empty.bin", "");
  // The right size and table, a component's bytes changed: its checksum no longer holds.
  std::string broken = package;
  const std::size_t inGps = kImageInPackage + kGpsOffset + 0x40;
  broken[inGps] = static_cast<char>(broken[inGps] ^ 0x5A);
  writeFile(dir_ / "broken.bin", broken);
  fs::create_directory(dir_ / "folder");
  ASSERT_EQ(::mkfifo((dir_ / "fifo").c_str(), 0600), 0);

  struct Case {
    std::vector<std::string> args;
    int exitCode;
    std::string reason;
  };
  const Case cases[] = {
      {{"inspect", "short.bin"}, 1, "is " + std::to_string(package.size() - 1) + " bytes, but"},
      {{"inspect", "long.bin"}, 1, "is too large"},
      {{"inspect", "endless.bin"}, 1, "no end record within its 20 records"},
      {{"inspect", "empty.bin"}, 1, "is 0 bytes"},
      {{"inspect", "folder"}, 1, "is a folder"},
      {{"inspect", "fifo"}, 1, "is a FIFO"},
      {{"inspect", "/dev/zero"}, 1, "is a device"},
      {{"inspect", "missing.bin"}, 1, "does not exist"},
      {{"export", "folder"}, 2, "is a folder"},
      {{"export", "fifo"}, 2, "is a FIFO"},
      {{"export", "/dev/full"}, 2, "is a device"},
      {{"export", "no/such/package.bin"}, 2, "folder that does not exist"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    const ProgramRun r = pack(c.args);
    EXPECT_EQ(r.code, c.exitCode) << r.err;
    ASSERT_EQ(r.errLines().size(), 1u) << r.err;
    EXPECT_EQ(r.err.rfind("flashwell-pack: " + c.args[1] + ": ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;
  }
  // A package of the right size that holds nothing usable: its account, then why it fails.
  const ProgramRun garbage = pack({"inspect", "broken.bin"});
  EXPECT_EQ(garbage.code, 1);
  EXPECT_NE(garbage.out.find("WRONG"), std::string::npos) << garbage.out;
  EXPECT_EQ(garbage.err, "flashwell-pack: broken.bin: is not a package this program can use\n");
  EXPECT_TRUE(fs::is_fifo(dir_ / "fifo"));
  EXPECT_TRUE(fs::is_character_file("/dev/full"));

  // A link is followed: its target gets the package, the link stays a link.
  writeFile(dir_ / "target.bin", "old");
  fs::create_symlink("target.bin", dir_ / "link.bin");
  EXPECT_EQ(pack({"export", "link.bin"}).code, 0);
  EXPECT_TRUE(fs::is_symlink(dir_ / "link.bin"));
  EXPECT_EQ(readFile(dir_ / "target.bin"), package);
}

TEST_F(PackEdges, UsageErrorsNameTheArgument) {
  struct Case {
    std::vector<std::string> args;
    const char* names;
  };
  const Case cases[] = {
      {{}, "subcommand"},
      {{"build", "data/manifest.json"}, "--output"},
      {{"build", "data/manifest.json", "-o", "out", "extra"}, "extra"},
      {{"inspect"}, "FILE"},
      {{"build", "data/manifest.json", "-o", "out", "--level", "9"}, "--level"},
  };
  for (const Case& c : cases) {
    const ProgramRun r = pack(c.args);
    EXPECT_EQ(r.code, 2) << c.names;
    ASSERT_FALSE(r.errLines().empty()) << c.names;
    EXPECT_NE(r.errLines()[0].find(c.names), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir_ / "out")) << c.names;
  }
}

}  // namespace
}  // namespace flashwell::edges
