#pragma once

// Qt's own words (the standard buttons' Yes and No, the window menu) in the language that the
// program's texts were chosen in, not in the one Qt would guess from the system.

#include <QString>
#include <QTranslator>

#include <cstdint>

namespace flashwell::app::qt {

class QtTranslations {
 public:
  // Loads Qt's translations of that language number and installs them into the application;
  // English needs none.
  explicit QtTranslations(std::uint16_t languageNumber);
  ~QtTranslations();
  QtTranslations(const QtTranslations&) = delete;
  QtTranslations& operator=(const QtTranslations&) = delete;

  bool installed() const { return installed_; }

 private:
  QTranslator translator_;
  bool installed_ = false;
};

}  // namespace flashwell::app::qt
