// flashwell-pack: builds, inspects and exports firmware packages.
//   build MANIFEST -o FOLDER   the package and the built-in tables from a manifest
//   inspect FILE               model, regions, versions, dates, checksums, column, text ids,
//                              and the file's SHA-256
//   export FILE                the package that this program carries, byte for byte; says its
//                              SHA-256, the one flashwell-cli --version names

#include <CLI/CLI.hpp>
#include <filesystem>
#include <iostream>
#include <vector>

#include "catalogue/embedded_package.h"
#include "catalogue/package_layout.h"
#include "files/file_checks.h"
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
  std::string why;
  const auto bytes = files::readInput(file, catalogue::kPackageSize, &why);
  if (!bytes) {
    std::cerr << "flashwell-pack: " << file << ": " << why << "\n";
    return 1;
  }
  const auto inspection = pack::inspectPackage(*bytes, catalogue::embeddedTables());
  if (!inspection.problem.empty()) {
    std::cerr << "flashwell-pack: " << file << ": " << inspection.problem << "\n";
    return 1;
  }
  std::cout << inspection.report << pack::kDigestLabel << pack::packageDigest(*bytes) << "\n";
  if (inspection.valid) return 0;
  std::cerr << "flashwell-pack: " << file << ": is not a package this program can use\n";
  return 1;
}

int exportPackage(const std::string& file) {
  // A special file is refused before anything is written; a write that fails is an error.
  if (const std::string why = files::outputProblem(file); !why.empty()) {
    std::cerr << "flashwell-pack: " << file << ": " << why << "\n";
    return 2;
  }
  const auto package = catalogue::embeddedPackage();
  std::string why;
  if (!files::writeOutput(file, package, &why)) {
    std::cerr << "flashwell-pack: " << file << ": " << why << "\n";
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
