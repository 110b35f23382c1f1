// A submission's name, replay text and ticket, each rule at its limit and one past.
#include "board/submission.h"

#include <gtest/gtest.h>

#include <string>

#include "board/ticket.h"
#include "game/replay.h"

namespace {

std::string refusal(const std::string& name) {
  std::string trimmed;
  return checkName(name, trimmed);
}

const std::string kRefused = "the name is not allowed: ";

TEST(Names, BlanksAreTrimmedFromBothEndsAndSpacesKeptInside) {
  // Tab, NEL, no-break space, the Hangul fillers, en quad, line separator, narrow no-break space,
  // ideographic space, blank Braille.
  for (const std::string blank : {"\t", "\xC2\x85", "\xC2\xA0", "\xE1\x85\x9F", "\xE1\x85\xA0", "\xE3\x85\xA4", "\xEF\xBE\xA0",
                                  "\xE2\x80\x80", "\xE2\x80\xA8", "\xE2\x80\xAF", "\xE3\x80\x80", "\xE2\xA0\x80"}) {
    std::string trimmed;
    EXPECT_EQ("", checkName(blank + "Ada" + blank + blank, trimmed));
    EXPECT_EQ("Ada", trimmed);
    EXPECT_EQ(kRefused + "it is empty", refusal(blank + blank + blank));
  }
  for (const std::string space : {" ", "\xC2\xA0", "\xE3\x80\x80"}) EXPECT_EQ("", refusal("Ada" + space + "Lo"));
  for (const std::string line : {"\t", "\n", "\xC2\x85", "\xE2\x80\xA8"}) {
    EXPECT_EQ(kRefused + "it holds a control character", refusal("Ada" + line + "Lo"));
  }
}

TEST(Names, FormatCharactersAndVariationSelectorsAreRefused) {
  // Soft hyphen, Arabic letter mark, zero width space and joiner, right-to-left override, first
  // strong isolate, word joiner, byte order mark, the first and last variation selectors of both
  // blocks, the tag characters' first, A and last, the language tag.
  for (const std::string format : {"\xC2\xAD", "\xD8\x9C", "\xE2\x80\x8B", "\xE2\x80\x8D", "\xE2\x80\xAE", "\xE2\x81\xA8",
                                   "\xE2\x81\xA0", "\xEF\xBB\xBF", "\xEF\xB8\x80", "\xEF\xB8\x8F", "\xF3\xA0\x84\x80",
                                   "\xF3\xA0\x87\xAF", "\xF3\xA0\x80\xA0", "\xF3\xA0\x81\x81", "\xF3\xA0\x81\xBF", "\xF3\xA0\x80\x81"}) {
    EXPECT_EQ(kRefused + "it holds an invisible formatting character", refusal("A" + format)) << format;
  }
  // Their visible neighbours: the hyphen, the form after the selectors, an Arabic letter, U+2010.
  for (const std::string visible : {"-", "\xEF\xB8\x90", "\xD8\xA8", "\xE2\x80\x90"}) EXPECT_EQ("", refusal("A" + visible));
}

TEST(Names, AtMostTwoCombiningMarksOnOneLetter) {
  const std::string acute = "\xCC\x81", stacked = kRefused + "it stacks more than two marks on one letter";
  EXPECT_EQ("", refusal("e" + acute + "\xCD\xAF" + "e" + acute + acute));  // U+036F ends its block
  EXPECT_EQ(stacked, refusal("e" + acute + acute + acute));
  EXPECT_EQ(stacked, refusal("a\xE1\xB7\xBF\xE2\x83\xBF\xEF\xB8\xAF"));  // U+1DFF, U+20FF, U+FE2F
  EXPECT_EQ(stacked, refusal("\xE0\xB8\x81\xE0\xB9\x88\xE0\xB9\x88\xE0\xB9\x88"));  // a Thai tone mark x3
}

TEST(Names, SixteenCharactersAfterTrimmingInValidUtf8) {
  std::string sixteen;
  for (int i = 0; i < 16; ++i) sixteen += "\xC3\xA9";
  std::string trimmed;
  EXPECT_EQ("", checkName("  " + sixteen + "\xC2\xA0", trimmed));
  EXPECT_EQ(sixteen, trimmed);
  EXPECT_EQ(kRefused + "it is longer than 16 characters", refusal(sixteen + "e"));
  for (const std::string broken : {"\xC0\xAF", "\xED\xA0\x80", "\xE2\x82", "\xF4\x90\x80\x80"}) {
    EXPECT_EQ(kRefused + "it is not valid UTF-8", refusal("A" + broken));
  }
}

TEST(Base64, PaddingIsWholeGroupsOrNone) {
  std::string decoded;
  for (const auto& [text, bytes] : {std::pair<const char*, const char*>{"QUJD", "ABC"}, {"QUI=", "AB"}, {"QUI", "AB"},
                                    {"QQ==", "A"}, {"QQ", "A"}}) {
    EXPECT_TRUE(decodeBase64(text, decoded)) << text;
    EXPECT_EQ(bytes, decoded) << text;
  }
  for (const char* text : {"Q", "Q===", "QQ=", "QUI==", "QQ===", "QQ==QQ==", "QQ=A", "QU\nJD", "QUJD-"}) {
    EXPECT_FALSE(decodeBase64(text, decoded)) << text;
  }
}

// A game of `frames` frames played on a ticket issued at `issued`, as the board reads it.
Replay gameOnTicket(const std::string& ticket, std::size_t frames) {
  Replay replay{};
  replay.ticket.assign(ticket.begin(), ticket.end());
  replay.seed = ticketSeedOf(ticket);
  replay.actions.resize(frames);
  return replay;
}

TEST(Tickets, AreTheBoardsGoodForTheirLifetimeAndNoSoonerThanTheGameCanBePlayed) {
  const std::string key(kTicketKeySize, 'k');
  const std::int64_t issued = 1765000000;
  const std::string ticket = issueTicket(key, issued);
  ASSERT_EQ(ticket.size(), kTicketSize);
  EXPECT_EQ(ticketIssuedAt(ticket), issued);
  EXPECT_NE(issueTicket(key, issued), ticket) << "each ticket deals a seed of its own";

  const Replay brief = gameOnTicket(ticket, 1);
  EXPECT_EQ("the ticket was not issued by this board", ticketRefusal(std::string(kTicketKeySize, 'K'), brief, issued, 60));
  EXPECT_EQ("", ticketRefusal(key, brief, issued + 60, 60));
  EXPECT_EQ("the ticket has expired: a ticket is good for 60 s after it is issued", ticketRefusal(key, brief, issued + 61, 60));
  EXPECT_EQ("the ticket is damaged", ticketRefusal(key, gameOnTicket(ticket.substr(1), 1), issued, 60));

  // 60 s of frames arrive 55 s after the ticket at the soonest: 2 s and a twentieth less.
  const Replay minute = gameOnTicket(ticket, 2400);
  EXPECT_EQ("", ticketRefusal(key, minute, issued + 55, kDefaultTicketLifetime));
  EXPECT_EQ("the game arrived 54 s after its ticket, sooner than its 2400 frames can be played (60 s)",
            ticketRefusal(key, minute, issued + 54, kDefaultTicketLifetime));
}

}  // namespace
