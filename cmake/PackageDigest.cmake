# Writes a header with the SHA-256 of the firmware package that the programs carry, so that a
# program can name it without reading its own bytes. Run by the build once the package is made:
#   cmake -DPACKAGE=<package.bin> -DOUTPUT=<header> -P PackageDigest.cmake
file(SHA256 ${PACKAGE} _digest)
file(WRITE ${OUTPUT} "#pragma once

// Written by cmake/PackageDigest.cmake: the SHA-256 of the firmware package this program carries.

namespace flashwell {

inline constexpr const char* kPackageDigest = \"${_digest}\";

}  // namespace flashwell
")
