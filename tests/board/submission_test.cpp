// What a submission's name and replay text must be: each refused class of character, the blanks
// trimmed, the name's length and base64's padding, each at its limit and one past it.
#include "board/submission.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string refusal(const std::string& name) {
  std::string trimmed;
  return checkName(name, trimmed);
}

const std::string kEmpty = "the name is not allowed: it is empty";
const std::string kControl = "the name is not allowed: it holds a control character";
const std::string kFormat = "the name is not allowed: it holds an invisible formatting character";
const std::string kStacked = "the name is not allowed: it stacks more than two marks on one letter";

std::string repeated(const std::string& text, int count) {
  std::string result;
  for (int i = 0; i < count; ++i) result += text;
  return result;
}

TEST(Names, EveryBlankIsTrimmedFromBothEndsAndKeptInside) {
  // Tab, NEL, no-break space, Hangul fillers, en quad, line separator, narrow no-break space,
  // ideographic space, blank Braille, halfwidth filler.
  for (const char* blank : {"\t", "\xC2\x85", "\xC2\xA0", "\xE1\x85\x9F", "\xE1\x85\xA0", "\xE2\x80\x80", "\xE2\x80\xA8",
                            "\xE2\x80\xAF", "\xE3\x80\x80", "\xE2\xA0\x80", "\xE3\x85\xA4", "\xEF\xBE\xA0"}) {
    std::string trimmed;
    EXPECT_EQ("", checkName(std::string(blank) + "Ada" + blank + blank, trimmed));
    EXPECT_EQ("Ada", trimmed);
    EXPECT_EQ(kEmpty, refusal(repeated(blank, 16)));
  }
  EXPECT_EQ(kEmpty, refusal(""));
  // Inside, a space is a space; a tab or a line break is still a control character.
  for (const char* space : {" ", "\xC2\xA0", "\xE3\x80\x80"}) EXPECT_EQ("", refusal(std::string("Ada") + space + "Lo"));
  for (const char* line : {"\t", "\n", "\xC2\x85", "\xE2\x80\xA8"}) EXPECT_EQ(kControl, refusal(std::string("Ada") + line + "Lo"));
}

TEST(Names, ControlAndFormatCharactersAreRefusedWherever) {
  for (const char* control : {"\x07", "\x1B", "\x7F", "\xC2\x9F", "\xE2\x80\xA9"}) {
    EXPECT_EQ(kControl, refusal(std::string("A") + control + "B")) << control;
  }
  // Soft hyphen, Arabic letter mark, zero width space and joiner, right-to-left override, first
  // strong isolate, word joiner, byte order mark, variation selectors at both ends of their
  // blocks, tag characters at both ends, the language tag.
  for (const char* format : {"\xC2\xAD", "\xD8\x9C", "\xE2\x80\x8B", "\xE2\x80\x8D", "\xE2\x80\xAE", "\xE2\x81\xA8",
                             "\xE2\x81\xA0", "\xEF\xBB\xBF", "\xEF\xB8\x80", "\xEF\xB8\x8F", "\xF3\xA0\x84\x80",
                             "\xF3\xA0\x87\xAF", "\xF3\xA0\x80\xA0", "\xF3\xA0\x81\x81", "\xF3\xA0\x81\xBF",
                             "\xF3\xA0\x80\x81"}) {
    EXPECT_EQ(kFormat, refusal(std::string("A") + format + "B")) << format;
    EXPECT_EQ(kFormat, refusal(std::string(format) + "B")) << format;
  }
  // Their visible neighbours stand: the hyphen, a presentation form after the selectors, an Arabic letter.
  for (const char* visible : {"-", "\xEF\xB8\x90", "\xD8\xA8", "\xE2\x80\x90"}) EXPECT_EQ("", refusal(std::string("A") + visible));
}

TEST(Names, AtMostTwoCombiningMarksOnOneLetter) {
  const std::string acute = "\xCC\x81";  // U+0301
  EXPECT_EQ("", refusal("e" + acute + "\xCD\xAF"));               // U+036F, the block's last
  EXPECT_EQ(kStacked, refusal("e" + acute + acute + acute));
  EXPECT_EQ(kStacked, refusal("a\xE1\xB7\xBF\xE2\x83\xBF\xEF\xB8\xAF"));  // U+1DFF, U+20FF, U+FE2F
  EXPECT_EQ(kStacked, refusal(repeated("\xE0\xB9\x88", 3)));        // Thai tone mark x3
  EXPECT_EQ("", refusal("e" + acute + acute + "e" + acute + acute));  // two on each letter
}

TEST(Names, SixteenCharactersAfterTrimming) {
  const std::string e = "\xC3\xA9";
  std::string trimmed;
  EXPECT_EQ("", checkName("  " + repeated(e, 16) + "\xC2\xA0", trimmed));
  EXPECT_EQ(repeated(e, 16), trimmed);
  EXPECT_EQ("the name is not allowed: it is longer than 16 characters", refusal(repeated(e, 17)));
  for (const char* broken : {"\xC0\xAF", "\xED\xA0\x80", "\xE2\x82", "\xF4\x90\x80\x80"}) {
    EXPECT_EQ("the name is not allowed: it is not valid UTF-8", refusal(std::string("A") + broken)) << broken;
  }
}

TEST(Base64, PaddingIsWholeGroupsOrNone) {
  for (const auto& [text, bytes] : {std::pair<const char*, const char*>{"QQ==", "A"}, {"QQ", "A"}, {"QUI=", "AB"},
                                    {"QUI", "AB"}, {"QUJD", "ABC"}, {"", ""}}) {
    std::string decoded;
    EXPECT_TRUE(decodeBase64(text, decoded)) << text;
    EXPECT_EQ(bytes, decoded) << text;
  }
  for (const char* text : {"Q", "Q===", "QQ=", "QUI==", "QQ===", "QQ==QQ==", "QQ=A", "QU\nJD", "QUJD-"}) {
    std::string decoded;
    EXPECT_FALSE(decodeBase64(text, decoded)) << text;
  }
}

}  // namespace
