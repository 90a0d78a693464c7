// flashwell-pack: builds, inspects and exports firmware packages.
//   build MANIFEST -o FOLDER   the package and the built-in tables from a manifest
//   inspect FILE               model, regions, versions, dates, checksums, column, text ids,
//                              and the file's SHA-256
//   export FILE                the package that this program carries, byte for byte; says its
//                              SHA-256, the one flashwell-cli --version names

#include <CLI/CLI.hpp>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <vector>

#include "catalogue/embedded_package.h"
#include "tools/pack/build_refusal.h"
#include "tools/pack/package_builder.h"
#include "tools/pack/package_digest.h"
#include "tools/pack/package_inspect.h"

namespace {

using namespace flashwell;

int build(const std::string& manifest, const std::string& folder) {
  try {
    pack::writeBuiltPackage(pack::buildPackage(pack::readManifest(manifest)), folder);
  } catch (const pack::BuildRefusal& refusal) {
    std::cerr << "flashwell-pack: " << refusal.what() << "\n";
    return 1;
  }
  std::cout << "built " << (std::filesystem::path(folder) / pack::kPackageFile).string() << "\n";
  return 0;
}

int inspect(const std::string& file) {
  std::error_code ec;
  if (std::filesystem::is_directory(file, ec)) {
    std::cerr << "flashwell-pack: " << file << ": is a folder\n";
    return 1;
  }
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    std::cerr << "flashwell-pack: " << file << ": cannot be read\n";
    return 1;
  }
  const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                        std::istreambuf_iterator<char>());
  const auto inspection = pack::inspectPackage(bytes, catalogue::embeddedTables());
  std::cout << inspection.report << pack::kDigestLabel << pack::packageDigest(bytes) << "\n";
  return inspection.valid ? 0 : 1;
}

int exportPackage(const std::string& file) {
  const auto package = catalogue::embeddedPackage();
  const std::string part = file + ".part";
  {
    std::ofstream out(part, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(package.data()),
              static_cast<std::streamsize>(package.size()));
    out.close();
    if (!out) {
      std::error_code ec;
      std::filesystem::remove(part, ec);
      std::cerr << "flashwell-pack: " << file << ": cannot be written\n";
      return 1;
    }
  }
  std::error_code ec;
  std::filesystem::rename(part, file, ec);
  if (ec) {
    std::filesystem::remove(part, ec);
    std::cerr << "flashwell-pack: " << file << ": cannot be written\n";
    return 1;
  }
  std::cout << pack::kDigestLabel << pack::packageDigest(package) << "\n";
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Builds, inspects and exports Flashwell firmware packages", "flashwell-pack"};
  app.require_subcommand(1);

  std::string manifest, folder, file;
  auto* buildCommand =
      app.add_subcommand("build", "Build a package and the built-in tables from a manifest");
  buildCommand->add_option("MANIFEST", manifest, "The manifest (JSON)")->required();
  buildCommand->add_option("-o,--output", folder, "The folder to write them into")->required();
  auto* inspectCommand = app.add_subcommand("inspect", "Describe a package file");
  inspectCommand->add_option("FILE", file, "The package file")->required();
  auto* exportCommand = app.add_subcommand("export", "Write the package this program carries");
  exportCommand->add_option("FILE", file, "The file to write")->required();

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return 2;
  }
  if (*buildCommand) return build(manifest, folder);
  if (*inspectCommand) return inspect(file);
  return exportPackage(file);
}
