// Everything a run prints is in the language of its locale: the package's texts and the labels,
// answers, `info` line and replay lines that the program adds. English runs keep the English
// words; no other language shows any of them.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/cli/run_logs.h"
#include "tests/support/flasher_run.h"
#include "tools/cli/cli_options.h"

namespace flashwell::cli {
namespace {

using namespace testing;
using namespace support;

// The English words the program adds around the package's texts.
const std::vector<std::string> kEnglishWords = {
    "question",         "answer",       "status", "message",   "Yes",   "No",    "key:",
    "firmware running", "large-packet", "mark",   "recorded:", "sent:", "replay"};

bool letter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c & 0x80) != 0;
}

// Whether `word` stands in `text` as a word of its own (case matters: "KEY" is the package's).
bool holdsWord(const std::string& text, const std::string& word) {
  for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
    const bool before = at > 0 && letter(text[at - 1]);
    const std::size_t end = at + word.size();
    const bool after = end < text.size() && letter(word.back()) && letter(text[end]);
    if (!before && !after) return true;
  }
  return false;
}

struct LanguageCase {
  const char* lcid;
  bool english;
  const char* declined;  // the answer line of a declined erase question
};

class RunLanguage : public ::testing::TestWithParam<LanguageCase> {};

TEST_P(RunLanguage, EveryLineIsInTheLocalesLanguage) {
  const LanguageCase& c = GetParam();
  // The upgrade, the key's `info`, and a declined question on a replay that then leaves its log.
  const ProgramRun upgrade =
      runFlasher({"--lcid", c.lcid, "--emulated", "fresh", "--mode", "only", "--yes"});
  ASSERT_EQ(upgrade.code, kExitDone) << upgrade.out << upgrade.err;
  const ProgramRun info = runFlasher({"info", "--lcid", c.lcid, "--emulated", "fresh"});
  ASSERT_EQ(info.code, kExitDone) << info.out << info.err;
  const ProgramRun declined =
      runFlasher({"--lcid", c.lcid, "--replay", fixture("only").string(), "--mode", "only"});
  ASSERT_EQ(declined.code, kExitReplayDiffers) << declined.out << declined.err;
  EXPECT_NE(declined.out.find(std::string("\n") + c.declined + "\n"), std::string::npos)
      << declined.out;

  const std::string printed = upgrade.out + upgrade.err + info.out + info.err + declined.err;
  for (const std::string& word : kEnglishWords) {
    if (c.english) {
      // "No" is only in the declined run's answer, checked above.
      if (word != "No") {
        EXPECT_TRUE(holdsWord(printed, word)) << word << "\n" << printed;
      }
    } else {
      EXPECT_FALSE(holdsWord(printed, word)) << word << "\n" << printed;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Lcids, RunLanguage,
                         ::testing::Values(LanguageCase{"0409", true, "answer: No"},
                                           LanguageCase{"0407", false, "Antwort: Nein"},
                                           LanguageCase{"0410", false, "risposta: No"},
                                           LanguageCase{"040C", false, "r\u00e9ponse : Non"},
                                           LanguageCase{"0C0A", false, "respuesta: No"},
                                           LanguageCase{"0413", false, "antwoord: Nee"}),
                         [](const auto& info) { return std::string(info.param.lcid); });

}  // namespace
}  // namespace flashwell::cli
