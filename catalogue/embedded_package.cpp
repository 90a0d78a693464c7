#include "catalogue/embedded_package.h"

#include <cstddef>

// The four files that the package builder wrote at build time, included by the assembler so
// that a megabyte of data costs no compile time. FLASHWELL_PACKAGE_DIR names their folder.
#if defined(_WIN32)
#define FLASHWELL_RODATA ".section .rdata,\"dr\"\n"
#else
#define FLASHWELL_RODATA ".section .rodata\n"
#endif

#define FLASHWELL_INCBIN(label, file)                                                        \
  FLASHWELL_RODATA ".balign 16\n" label "_begin:\n.incbin \"" FLASHWELL_PACKAGE_DIR "/" file \
                   "\"\n" label "_end:\n.byte 0\n.text\n"

asm(FLASHWELL_INCBIN("flashwell_package", "package.bin"));
asm(FLASHWELL_INCBIN("flashwell_locales", "locales.bin"));
asm(FLASHWELL_INCBIN("flashwell_model_names", "model-names.bin"));
asm(FLASHWELL_INCBIN("flashwell_component_names", "component-names.bin"));

extern "C" {
extern const std::uint8_t packageBegin[] asm("flashwell_package_begin");
extern const std::uint8_t packageEnd[] asm("flashwell_package_end");
extern const std::uint8_t localesBegin[] asm("flashwell_locales_begin");
extern const std::uint8_t localesEnd[] asm("flashwell_locales_end");
extern const std::uint8_t modelNamesBegin[] asm("flashwell_model_names_begin");
extern const std::uint8_t modelNamesEnd[] asm("flashwell_model_names_end");
extern const std::uint8_t componentNamesBegin[] asm("flashwell_component_names_begin");
extern const std::uint8_t componentNamesEnd[] asm("flashwell_component_names_end");
}

namespace flashwell::catalogue {

namespace {

std::span<const std::uint8_t> between(const std::uint8_t* begin, const std::uint8_t* end) {
  return {begin, static_cast<std::size_t>(end - begin)};
}

}  // namespace

std::span<const std::uint8_t> embeddedPackage() {
  return between(packageBegin, packageEnd);
}

BuiltinTables embeddedTables() {
  return {between(localesBegin, localesEnd), between(modelNamesBegin, modelNamesEnd),
          between(componentNamesBegin, componentNamesEnd)};
}

}  // namespace flashwell::catalogue
