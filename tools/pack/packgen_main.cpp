// flashwell-packgen MANIFEST FOLDER: builds the firmware package and the built-in tables at
// build time. It is `flashwell-pack build` without the embedded package, so that the build can
// run it before any package exists.

#include <iostream>

#include "tools/pack/build_refusal.h"
#include "tools/pack/package_builder.h"

int main(int argc, char** argv) {
  using namespace flashwell::pack;
  if (argc != 3) {
    std::cerr << "usage: flashwell-packgen MANIFEST OUTPUT_FOLDER\n";
    return 2;
  }
  try {
    writeBuiltPackage(buildPackage(readManifest(argv[1])), argv[2]);
  } catch (const BuildRefusal& refusal) {
    std::cerr << "flashwell-packgen: " << refusal.what() << "\n";
    return 1;
  }
  return 0;
}
