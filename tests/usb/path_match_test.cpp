#include "usb/path_match.h"

#include <gtest/gtest.h>

#include <string>

namespace flashwell::usb {
namespace {

DevicePath bufferOf(const std::string& text) {
  DevicePath path{};
  std::copy_n(text.begin(), std::min(text.size(), path.size() - 1), path.begin());
  return path;
}

struct PathCase {
  const char* name;
  std::string path;
  bool matches;
};

// 31 characters before the pattern put its last character at position 44 (1-based).
const std::string kPad31(31, '#');

const PathCase kCases[] = {
    {"lower case first pattern, 1001",
     "\\\\?\\usb#vid_5f3a&pid_1001#6&2b1c&0&1#{6b2d9c41-0e7a-4f35-9a1c-52d7e08b3f64}", true},
    {"upper case first pattern", "\\\\?\\USB#VID_5F3A&PID_0001#x", true},
    {"second pattern", "\\\\?\\usb#vid_0471&pid_2222#x", true},
    {"second pattern, any product number", "\\\\?\\usb#vid_0471&pid_9999", true},
    {"another vendor", "\\\\?\\usb#vid_046d&pid_c52b#x", false},
    {"letter among the digits", "\\\\?\\usb#vid_5f3a&pid_10a1#x", false},
    {"letter as the last digit", "\\\\?\\usb#vid_5f3a&pid_100z#x", false},
    {"three digits then the end", "\\\\?\\usb#vid_5f3a&pid_100", false},
    {"pattern chars scattered in order", "V-I-D-_-5-F-3-A-&-P-I-D-_4321",
     true},  // the 13th pattern char is the 25th char
    {"scattered but out of order", "\\\\?\\usb#dvi_5f3a&pid_1001", false},
    {"completed at the 44th character", kPad31 + "VID_5F3A&PID_1234", true},
    {"completed at the 45th character", kPad31 + "#VID_5F3A&PID_1234", false},
    {"first pattern without digits does not try the second", "vid_5f3a&pid_xxxx vid_0471&pid_1234",
     false},
    {"0x7f folds to an underscore",
     "\\\\?\\usb#vid_5f3a&pid\x7f"
     "1001",
     true},
    {"0x7e folds to a caret, not an underscore", "\\\\?\\usb#vid_5f3a&pid~1001", false},
    {"empty path", "", false},
};

TEST(PathMatchTest, TellsTheKeyFromOtherDevices) {
  for (const PathCase& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(UsbMatchKeyPath(bufferOf(c.path)), c.matches);
  }
}

TEST(PathMatchTest, StopsAtTheZeroByte) {
  // What lies behind the end of the path takes no part, even within the 44 characters.
  DevicePath path = bufferOf("\\\\?\\usb#vid_5f3a");
  const std::string rest = "&pid_1001";
  std::copy(rest.begin(), rest.end(), path.begin() + 17);
  EXPECT_FALSE(UsbMatchKeyPath(path));
}

TEST(PathMatchTest, NeverReadsPastAShortBuffer) {
  // The digits would lie past the end of the span.
  const std::string text = "vid_5f3a&pid_10";
  EXPECT_FALSE(UsbMatchKeyPath(std::span<const char>(text.data(), text.size())));
  const std::string exact = "vid_5f3a&pid_1001";
  EXPECT_TRUE(UsbMatchKeyPath(std::span<const char>(exact.data(), exact.size())));
}

}  // namespace
}  // namespace flashwell::usb
