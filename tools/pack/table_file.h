#pragma once

// The line format of the builder's table files: one record per line, a key (decimal, 0x-hex or
// one character in single quotes), optionally a number, then a text in double quotes with the
// escapes \n, \" and \\. Lines that are empty or start with '#' are comments.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace flashwell::pack {

struct TableLine {
  int lineNumber = 0;
  std::vector<std::uint32_t> numbers;  // the key and any numbers after it
  std::string text;                    // UTF-8, escapes resolved
};

// Parses the text of a table file; each line must hold `numberCount` numbers and one text.
// Throws BuildRefusal naming the file and line.
std::vector<TableLine> parseTableText(const std::string& text, const std::string& fileName,
                                      std::size_t numberCount);

std::vector<TableLine> readTableFile(const std::filesystem::path& path, std::size_t numberCount);

}  // namespace flashwell::pack
