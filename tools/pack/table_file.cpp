#include "tools/pack/table_file.h"

#include <fstream>
#include <sstream>

#include "tools/pack/build_refusal.h"
#include "tools/pack/manifest.h"

namespace flashwell::pack {

namespace {

class LineParser {
 public:
  LineParser(const std::string& line, std::string where) : s_(line), where_(std::move(where)) {}

  void skipBlanks() {
    while (p_ < s_.size() && (s_[p_] == ' ' || s_[p_] == '\t')) ++p_;
  }

  std::uint32_t number() {
    skipBlanks();
    if (p_ + 2 < s_.size() && s_[p_] == '\'' && s_[p_ + 2] == '\'') {
      const auto c = static_cast<unsigned char>(s_[p_ + 1]);
      if (c >= 0x80) fail("a quoted key must be one ASCII character");
      p_ += 3;
      return c;
    }
    const std::size_t start = p_;
    while (p_ < s_.size() && s_[p_] != ' ' && s_[p_] != '\t') ++p_;
    const std::string word = s_.substr(start, p_ - start);
    if (word.empty()) fail("a number is missing");
    std::size_t used = 0;
    unsigned long long v = 0;
    try {
      v = std::stoull(word, &used, 0);
    } catch (const std::exception&) {
      fail("'" + word + "' is not a number");
    }
    if (used != word.size() || v > 0xFFFFFFFFull) fail("'" + word + "' is not a number");
    return static_cast<std::uint32_t>(v);
  }

  std::string quoted() {
    skipBlanks();
    if (p_ >= s_.size() || s_[p_] != '"') fail("the text must start with a double quote");
    ++p_;
    std::string out;
    while (true) {
      if (p_ >= s_.size()) fail("the text has no closing double quote");
      const char c = s_[p_++];
      if (c == '"') break;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (p_ >= s_.size()) fail("the text ends in a lone backslash");
      const char e = s_[p_++];
      if (e == 'n') {
        out += '\n';
      } else if (e == '"' || e == '\\') {
        out += e;
      } else {
        fail(std::string("unknown escape \\") + e);
      }
    }
    skipBlanks();
    if (p_ != s_.size()) fail("characters after the closing double quote");
    return out;
  }

  [[noreturn]] void fail(const std::string& reason) const { throw BuildRefusal(where_, reason); }

 private:
  const std::string& s_;
  std::string where_;
  std::size_t p_ = 0;
};

}  // namespace

std::vector<TableLine> parseTableText(const std::string& text, const std::string& fileName,
                                      std::size_t numberCount) {
  std::vector<TableLine> lines;
  std::istringstream in(text);
  std::string line;
  int n = 0;
  while (std::getline(in, line)) {
    ++n;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const auto first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '#') continue;
    LineParser parser(line, fileName + ":" + std::to_string(n));
    TableLine record;
    record.lineNumber = n;
    for (std::size_t i = 0; i < numberCount; ++i) record.numbers.push_back(parser.number());
    record.text = parser.quoted();
    lines.push_back(std::move(record));
  }
  return lines;
}

std::vector<TableLine> readTableFile(const std::filesystem::path& path, std::size_t numberCount) {
  return parseTableText(readWholeFile(path), path.string(), numberCount);
}

}  // namespace flashwell::pack
