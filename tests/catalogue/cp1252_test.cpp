#include "catalogue/cp1252.h"

#include <gtest/gtest.h>

namespace flashwell::catalogue {
namespace {

TEST(Cp1252, DecodesTheTextsOfEveryLanguage) {
  EXPECT_EQ(cp1252ToUtf8("Gl\xFC"
                         "ckwunsch! Viel Spa\xDF"),
            "Glückwunsch! Viel Spaß");
  EXPECT_EQ(cp1252ToUtf8("\x80 \x9F"), "€ Ÿ");
  EXPECT_EQ(cp1252ToUtf16("pi\xF9"), u"più");
}

TEST(Cp1252, EncodesRoundTripAndRefusesWhatItCannotHold) {
  EXPECT_EQ(utf8ToCp1252("Démarrage du BOOTER..."), "D\xE9marrage du BOOTER...");
  EXPECT_EQ(utf8ToCp1252("€"), "\x80");
  for (int b = 0; b < 256; ++b) {
    const std::string one(1, static_cast<char>(b));
    EXPECT_EQ(utf8ToCp1252(cp1252ToUtf8(one)), one) << b;
  }
  EXPECT_FALSE(utf8ToCp1252("日本"));
  EXPECT_FALSE(utf8ToCp1252("\xC3"));          // cut short
  EXPECT_FALSE(utf8ToCp1252("\xC0\xAF"));      // overlong
  EXPECT_FALSE(utf8ToCp1252("\xED\xA0\x80"));  // surrogate
}

}  // namespace
}  // namespace flashwell::catalogue
