// Names, base64, the body of a submission, the replay's hash and the reasons for refusing it.
#include "submission.h"

#include <openssl/evp.h>

#include <cstdint>
#include <nlohmann/json.hpp>

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

// Control characters, and the invisible ones that reorder or hide the text around them.
bool isControl(std::uint32_t codePoint) {
  return codePoint < 0x20 || (codePoint >= 0x7F && codePoint <= 0x9F) || codePoint == 0x2028 ||
         codePoint == 0x2029 || (codePoint >= 0x200B && codePoint <= 0x200F) ||
         (codePoint >= 0x202A && codePoint <= 0x202E) || (codePoint >= 0x2060 && codePoint <= 0x206F) ||
         codePoint == 0xFEFF;
}

}  // namespace

std::string checkName(const std::string& name, std::string& trimmed) {
  const std::size_t first = name.find_first_not_of(' ');
  const std::size_t last = name.find_last_not_of(' ');
  trimmed = first == std::string::npos ? std::string() : name.substr(first, last - first + 1);
  if (trimmed.empty()) return "the name is not allowed: it is empty";
  std::int32_t characters = 0;
  for (std::size_t index = 0; index < trimmed.size();) {
    std::uint32_t codePoint = 0;
    if (!nextCodePoint(trimmed, index, codePoint)) return "the name is not allowed: it is not valid UTF-8";
    if (isControl(codePoint)) return "the name is not allowed: it holds a control character";
    if (++characters > kNameMaxCharacters) {
      return "the name is not allowed: it is longer than " + std::to_string(kNameMaxCharacters) + " characters";
    }
  }
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
  if (length % 4 == 1) return false;
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
