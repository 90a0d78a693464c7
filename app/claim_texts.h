#pragma once

// The words a backend that claims the key itself uses when it cannot, in the user's language:
// the program's own texts handed to the USB layer, which knows nothing of the catalogue.

#include <cstdint>
#include <string>

#include "catalogue/program_texts.h"
#include "usb/platform_driver.h"

namespace flashwell::app {

inline usb::ClaimTexts claimTexts(std::uint16_t languageNumber) {
  using catalogue::ProgramText;
  return {std::string(catalogue::programText(ProgramText::keyNotConfigured, languageNumber)),
          std::string(catalogue::programText(ProgramText::kernelDriverHoldsKey, languageNumber))};
}

}  // namespace flashwell::app
