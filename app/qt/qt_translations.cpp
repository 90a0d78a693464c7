#include "app/qt/qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>

#include "catalogue/program_texts.h"
#include "catalogue/text_tables.h"

namespace flashwell::app::qt {

QtTranslations::QtTranslations(std::uint16_t languageNumber) {
  const std::string_view code = catalogue::languageCode(languageNumber);
  if (code == catalogue::languageCode(catalogue::kLanguageEnglish)) return;
  const QString name = QStringLiteral("qtbase_") + QString::fromLatin1(code.data(), code.size());
  if (translator_.load(name, QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    installed_ = QCoreApplication::installTranslator(&translator_);
  }
}

QtTranslations::~QtTranslations() {
  if (installed_) QCoreApplication::removeTranslator(&translator_);
}

}  // namespace flashwell::app::qt
