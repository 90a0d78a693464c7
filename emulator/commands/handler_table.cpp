#include <array>

#include "emulator/commands/command.h"

namespace flashwell::emulator::commands {

namespace {
// A sub-command of -1 takes every sub-command of its code (the TransferSetup's first byte is
// part of the address).
struct Entry {
  std::uint8_t code;
  int sub;
  Handler handler;
};
constexpr std::array<Entry, 10> kHandlers{{
    {12, -1, &transferSetup},
    {13, 7, &dataEraseLong},
    {13, 15, &region},
    {14, 1, &memoryRead},
    {14, 7, &identify},
    {14, 8, &storeIdentity},
    {14, 18, &dataEraseShort},
    {15, 1, &eraseFirmware},
    {15, 2, &programBlock},
    {15, 4, &restart},
}};
}  // namespace

Handler findHandler(std::uint8_t code, std::uint8_t sub) {
  for (const Entry& e : kHandlers) {
    if (e.code == code && (e.sub < 0 || e.sub == sub)) return e.handler;
  }
  return nullptr;
}

}  // namespace flashwell::emulator::commands
