// The board's texts as they reach a terminal: escape sequences of each kind removed whole, controls
// and invisible marks dropped, bytes that are not UTF-8 replaced, and the cut at kBoardTextMax.
#include "app/board_http.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(PrintableText, RemovesEscapeSequencesControlsAndMarks) {
  struct Case {
    const char* text;
    const char* printed;
  };
  for (const Case& text : {
           Case{"\x1b[1;31mred\x1b[0m", "red"},
           Case{"\x1b[?25lhidden cursor", "hidden cursor"},
           Case{"\xc2\x9b" "2Jcleared", "cleared"},                  // the one-character CSI
           Case{"\x1b]0;title\x07kept", "kept"},                      // OSC to BEL
           Case{"\x1b]8;;http://x\x1b\\link\x1b]8;;\x1b\\", "link"},  // OSC to ESC backslash
           Case{"\xc2\x9d" "0;title\xc2\x9ckept", "kept"},            // OSC to the one-character ST
           Case{"\x1bPq#0;2;0;0;0\x1b\\sixel", "sixel"},              // DCS
           Case{"\x1b(Bcharset", "charset"},
           Case{"end\x1b", "end"},
           Case{"a\tb\r\nc", "a b  c"},
           Case{"bell\x07 del\x7f nel\xc2\x85", "bell del nel"},
           Case{"\xe2\x80\xaereversed\xe2\x81\xa6", "reversed"},      // U+202E, U+2066
       }) {
    EXPECT_EQ(printableText(text.text), text.printed) << text.printed;
  }
}

TEST(PrintableText, KeepsUtf8AndReplacesWhatIsNot) {
  EXPECT_EQ(printableText("Zo\xc3\xab \xe6\xbc\xa2 \xf0\x9f\x90\xa6"), "Zo\xc3\xab \xe6\xbc\xa2 \xf0\x9f\x90\xa6");
  const std::string replacement = "\xef\xbf\xbd";
  EXPECT_EQ(printableText("a\xff" "b"), "a" + replacement + "b");
  EXPECT_EQ(printableText("\xc0\xaf"), replacement + replacement);   // an overlong '/'
  EXPECT_EQ(printableText("\xed\xa0\x80"), replacement + replacement + replacement);  // a surrogate
  EXPECT_EQ(printableText("cut \xe6\xbc"), "cut " + replacement + replacement);
  EXPECT_TRUE(isUtf8("Zo\xc3\xab"));
  EXPECT_FALSE(isUtf8("Zo\xeb"));
}

TEST(PrintableText, IsCutAfterItsLimitOfCharacters) {
  const std::string atLimit(kBoardTextMax - 1, 'a');
  EXPECT_EQ(printableText(atLimit + "\xc3\xab"), atLimit + "\xc3\xab");
  EXPECT_EQ(printableText(atLimit + "\xc3\xab" + "b"), atLimit + "\xc3\xab" + "\xe2\x80\xa6");
  // Removed characters do not count.
  EXPECT_EQ(printableText("\x1b[0m" + atLimit + "b"), atLimit + "b");
}

}  // namespace
