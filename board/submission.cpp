// Names, base64, the body of a submission, the replay's hash and the reasons for refusing it.
#include "submission.h"

#include <openssl/evp.h>

#include <cstdint>
#include <nlohmann/json.hpp>
#include <vector>

#include "game/replay.h"
#include "board_limits.h"

namespace {

// Reads one UTF-8 sequence at `index`, advancing it. False for anything but the shortest form of
// a code point that is not a surrogate.
bool nextCodePoint(const std::string& text, std::size_t& index, std::uint32_t& codePoint) {
  const auto byteAt = [&](std::size_t at) { return static_cast<std::uint8_t>(text[at]); };
  const std::uint8_t lead = byteAt(index);
  std::size_t length = 0;
  std::uint32_t least = 0;
  if (lead < 0x80) {
    codePoint = lead;
    ++index;
    return true;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2, codePoint = lead & 0x1F, least = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, codePoint = lead & 0x0F, least = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, codePoint = lead & 0x07, least = 0x10000;
  } else {
    return false;
  }
  if (text.size() - index < length) return false;
  for (std::size_t at = index + 1; at < index + length; ++at) {
    if ((byteAt(at) & 0xC0) != 0x80) return false;
    codePoint = (codePoint << 6) | (byteAt(at) & 0x3F);
  }
  index += length;
  return codePoint >= least && codePoint <= 0x10FFFF && (codePoint < 0xD800 || codePoint > 0xDFFF);
}

struct Range {
  std::uint32_t first;
  std::uint32_t last;
};

template <std::size_t N>
bool inRanges(std::uint32_t codePoint, const Range (&ranges)[N]) {
  for (const Range& range : ranges) {
    if (codePoint >= range.first && codePoint <= range.last) return true;
  }
  return false;
}

// Trimmed from both ends: every Unicode space (the White_Space property) and the fillers that
// draw nothing (the Hangul fillers and the blank Braille pattern).
constexpr Range kBlanks[] = {{0x09, 0x0D},     {0x20, 0x20},     {0x85, 0x85},     {0xA0, 0xA0},
                             {0x115F, 0x1160}, {0x1680, 0x1680}, {0x2000, 0x200A}, {0x2028, 0x2029},
                             {0x202F, 0x202F}, {0x205F, 0x205F}, {0x2800, 0x2800}, {0x3000, 0x3000},
                             {0x3164, 0x3164}, {0xFFA0, 0xFFA0}};
// Control characters, and the line and paragraph separators, anywhere but at the ends.
constexpr Range kControls[] = {{0x00, 0x1F}, {0x7F, 0x9F}, {0x2028, 0x2029}};
// Format characters (general category Cf) and variation selectors: invisible, they reorder,
// hide, join or restyle the text around them.
constexpr Range kFormats[] = {{0xAD, 0xAD},       {0x600, 0x605},     {0x61C, 0x61C},     {0x6DD, 0x6DD},
                              {0x70F, 0x70F},     {0x890, 0x891},     {0x8E2, 0x8E2},     {0x180E, 0x180E},
                              {0x200B, 0x200F},   {0x202A, 0x202E},   {0x2060, 0x206F},   {0xFE00, 0xFE0F},
                              {0xFEFF, 0xFEFF},   {0xFFF9, 0xFFFB},   {0x110BD, 0x110BD}, {0x110CD, 0x110CD},
                              {0x13430, 0x1343F}, {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A}, {0xE0001, 0xE0001},
                              {0xE0020, 0xE007F}, {0xE0100, 0xE01EF}};
// Combining marks that stack above or below a letter: the general blocks and those of the
// Cyrillic, Hebrew, Arabic, Thai and Lao scripts. A letter takes at most two in a row.
constexpr Range kStackingMarks[] = {{0x300, 0x36F},   {0x483, 0x489},   {0x591, 0x5BD},   {0x5BF, 0x5BF},
                                    {0x5C1, 0x5C2},   {0x5C4, 0x5C5},   {0x5C7, 0x5C7},   {0x610, 0x61A},
                                    {0x64B, 0x65F},   {0x670, 0x670},   {0x6D6, 0x6DC},   {0x6DF, 0x6E4},
                                    {0x6E7, 0x6E8},   {0x6EA, 0x6ED},   {0xE31, 0xE31},   {0xE34, 0xE3A},
                                    {0xE47, 0xE4E},   {0xEB1, 0xEB1},   {0xEB4, 0xEBC},   {0xEC8, 0xECE},
                                    {0x1AB0, 0x1AFF}, {0x1DC0, 0x1DFF}, {0x20D0, 0x20FF}, {0xFE20, 0xFE2F}};
constexpr std::int32_t kMostStackedMarks = 2;

}  // namespace

std::string checkName(const std::string& name, std::string& trimmed) {
  trimmed.clear();
  std::vector<std::uint32_t> codePoints;
  std::vector<std::size_t> starts;  // each code point's first byte, then the name's end
  for (std::size_t index = 0; index < name.size();) {
    starts.push_back(index);
    std::uint32_t codePoint = 0;
    if (!nextCodePoint(name, index, codePoint)) return "the name is not allowed: it is not valid UTF-8";
    codePoints.push_back(codePoint);
  }
  starts.push_back(name.size());
  std::size_t first = 0;
  std::size_t end = codePoints.size();
  while (first < end && inRanges(codePoints[first], kBlanks)) ++first;
  while (end > first && inRanges(codePoints[end - 1], kBlanks)) --end;
  if (first == end) return "the name is not allowed: it is empty";
  std::int32_t marks = 0;
  for (std::size_t index = first; index < end; ++index) {
    const std::uint32_t codePoint = codePoints[index];
    if (inRanges(codePoint, kControls)) return "the name is not allowed: it holds a control character";
    if (inRanges(codePoint, kFormats)) return "the name is not allowed: it holds an invisible formatting character";
    marks = inRanges(codePoint, kStackingMarks) ? marks + 1 : 0;
    if (marks > kMostStackedMarks) return "the name is not allowed: it stacks more than two marks on one letter";
  }
  if (end - first > static_cast<std::size_t>(kNameMaxCharacters)) {
    return "the name is not allowed: it is longer than " + std::to_string(kNameMaxCharacters) + " characters";
  }
  trimmed = name.substr(starts[first], starts[end] - starts[first]);
  return "";
}

std::string encodeBase64(const std::string& bytes) {
  static const char* const kDigits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  for (std::size_t index = 0; index < bytes.size(); index += 3) {
    const std::size_t left = bytes.size() - index;
    const auto byteAt = [&](std::size_t at) { return static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at])); };
    const std::uint32_t bits = (byteAt(index) << 16) | (left > 1 ? byteAt(index + 1) << 8 : 0) | (left > 2 ? byteAt(index + 2) : 0);
    text += kDigits[(bits >> 18) & 63];
    text += kDigits[(bits >> 12) & 63];
    text += left > 1 ? kDigits[(bits >> 6) & 63] : '=';
    text += left > 2 ? kDigits[bits & 63] : '=';
  }
  return text;
}

bool decodeBase64(const std::string& text, std::string& bytes) {
  std::size_t length = text.size();
  while (length > 0 && text[length - 1] == '=' && text.size() - length < 2) --length;
  // Without padding any length but one of 4n+1 reads; with it, only whole groups of four.
  if (length % 4 == 1 || (length < text.size() && text.size() % 4 != 0)) return false;
  bytes.clear();
  bytes.reserve(length / 4 * 3 + 2);
  std::uint32_t bits = 0;
  std::int32_t bitCount = 0;
  for (std::size_t index = 0; index < length; ++index) {
    const char c = text[index];
    std::uint32_t value = 0;
    if (c >= 'A' && c <= 'Z') {
      value = static_cast<std::uint32_t>(c - 'A');
    } else if (c >= 'a' && c <= 'z') {
      value = static_cast<std::uint32_t>(c - 'a' + 26);
    } else if (c >= '0' && c <= '9') {
      value = static_cast<std::uint32_t>(c - '0' + 52);
    } else if (c == '+') {
      value = 62;
    } else if (c == '/') {
      value = 63;
    } else {
      return false;
    }
    bits = (bits << 6) | value;
    bitCount += 6;
    if (bitCount >= 8) {
      bitCount -= 8;
      bytes.push_back(static_cast<char>((bits >> bitCount) & 0xFF));
    }
  }
  return true;
}

std::string sha256(const std::string& bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_sha256(), nullptr);
  return std::string(reinterpret_cast<const char*>(digest), size);
}

std::string gameIdentity(const Replay& replay) {
  std::string fields = "zellworth game";
  const auto put = [&fields](std::uint32_t value) {
    for (std::int32_t shift = 0; shift < 32; shift += 8) fields += static_cast<char>(value >> shift);
  };
  put(replay.rulesVersion);
  put(replay.seed);
  put(replay.draws);
  put(static_cast<std::uint32_t>(replay.actions.size()));
  put(static_cast<std::uint32_t>(replay.score));
  for (const std::uint32_t check : replay.checks) put(check);
  return sha256(fields);
}

std::string readSubmission(const std::string& body, std::string& name, std::string& replay) {
  const nlohmann::json json = nlohmann::json::parse(body, nullptr, false);
  if (json.is_discarded() || !json.is_object()) return "the body is not a JSON object";
  const auto givenName = json.find("name");
  const auto replayText = json.find("replay");
  if (givenName == json.end() || !givenName->is_string()) return "the name is missing";
  if (replayText == json.end() || !replayText->is_string()) return "the replay is missing";
  const std::string nameRefusal = checkName(givenName->get<std::string>(), name);
  if (!nameRefusal.empty()) return nameRefusal;
  if (!decodeBase64(replayText->get<std::string>(), replay) || replay.empty()) return "the replay is not base64";
  return "";
}

// The reason a verified replay is refused, or "" when it stands.
std::string verdictRefusal(const ReplayVerdict& verdict) {
  if (verdict.status == 0) return "";
  if (verdict.status == 3 && verdict.frames < verdict.recordedFrames) {
    return "the replay's inputs go on past the game over: the game ends at frame " + std::to_string(verdict.frames) +
           ", the file records " + std::to_string(verdict.recordedFrames) + " frames";
  }
  if (verdict.status == 3) {
    return "the replay does not give the score it claims: it records " + std::to_string(verdict.recordedScore) +
           ", its inputs give " + std::to_string(verdict.score);
  }
  switch (verdict.problem) {
    case ReplayProblem::kUnknownRules:
      return "the rules version " + std::to_string(verdict.rulesVersion) + " is not one this board plays (it plays " +
             std::to_string(kRulesVersion) + ")";
    case ReplayProblem::kForeign:
      return "the file is not a Zellworth replay";
    case ReplayProblem::kUnknownFormat:
      return "the replay's format is not one this board reads";
    case ReplayProblem::kTooLong:
      return "the replay is longer than a game this board plays";
    case ReplayProblem::kTicketMismatch:
      return "the game was not played from its ticket's seed";
    default:
      return "the file is damaged";
  }
}
