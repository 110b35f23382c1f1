// Sending a game to a leaderboard, and reading its answer with a JSON parser that trusts nothing.
#include "app/submit.h"

#include <cstdio>

#include <nlohmann/json.hpp>

#include "app/options.h"

namespace {

using Json = nlohmann::json;

std::string base64(const std::vector<unsigned char>& bytes) {
  static const char* const kDigits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  for (std::size_t index = 0; index < bytes.size(); index += 3) {
    const std::size_t left = bytes.size() - index;
    const std::uint32_t bits = (bytes[index] << 16) | (left > 1 ? bytes[index + 1] << 8 : 0) | (left > 2 ? bytes[index + 2] : 0);
    text += kDigits[(bits >> 18) & 63];
    text += kDigits[(bits >> 12) & 63];
    text += left > 1 ? kDigits[(bits >> 6) & 63] : '=';
    text += left > 2 ? kDigits[bits & 63] : '=';
  }
  return text;
}

bool hasInteger(const Json& answer, const char* key) {
  const auto found = answer.find(key);
  return found != answer.end() && found->is_number_integer();
}

}  // namespace

std::string scoreSubmission(const char* name, const std::vector<unsigned char>& replay) {
  return Json{{"name", name}, {"replay", base64(replay)}}.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::int32_t readScoreAnswer(const char* boardUrl, const BoardExchange& exchange, std::string& line,
                             std::string& screenLine) {
  const std::string board = printableText(boardUrl);
  if (!exchange.answered) {
    line = "No leaderboard answered at " + board + ": " + exchange.failure + ".";
    screenLine = "On the board: no answer";
    return kSubmitUnreachable;
  }
  const Json answer = Json::parse(exchange.body, nullptr, false);
  const bool entry = hasInteger(answer, "rank") && hasInteger(answer, "score") && hasInteger(answer, "id");
  const bool duplicate = answer.is_object() && answer.contains("duplicate") && answer["duplicate"] == true;
  if (entry && (exchange.status == 201 || (exchange.status == 200 && duplicate))) {
    const long long rank = answer["rank"];
    const long long score = answer["score"];
    const long long id = answer["id"];
    line = std::string(exchange.status == 201 ? "Submitted:" : "Already there:") + " rank " + std::to_string(rank) +
           " on the board with " + std::to_string(score) + " points (entry " + std::to_string(id) + ").";
    screenLine = "On the board: rank " + std::to_string(rank);
    return kSubmitStored;
  }
  const auto error = answer.is_object() ? answer.find("error") : answer.end();
  const bool refusal = error != answer.end() && error->is_string() && exchange.status >= 400;
  if (!refusal) {
    line = "The address " + board + " answered " + std::to_string(exchange.status) + ", not as a leaderboard does.";
    screenLine = "On the board: no answer";
    return kSubmitUnreachable;
  }
  const std::string reason = printableText(error->get<std::string>());
  // A front whose board is down answers for it: 502 or 504 with the front's reason.
  if (exchange.status >= 500 && exchange.status != 503) {
    line = "No leaderboard answered at " + board + ": " + reason + ".";
    screenLine = "On the board: no answer";
    return kSubmitUnreachable;
  }
  line = "The board refused it: " + reason + ".";
  if (exchange.status == 429 || exchange.status == 503) {
    screenLine = "On the board: busy, try later";
    return kSubmitTryLater;
  }
  screenLine = "On the board: refused";
  return kSubmitRefused;
}

std::int32_t submitReplay(const char* rank, const char* name, const char* boardUrl) {
  std::vector<unsigned char> replay;
  if (!readNamedReplay(rank, replay)) return 2;
  std::string why;
  if (!boardClientLoads(why)) {
    std::puts(("Not sent to the board: " + why + ".").c_str());
    return kSubmitUnreachable;
  }
  BoardExchange exchange;
  exchangeWithBoard(boardUrl, "/api/scores", scoreSubmission(name, replay), nullptr, exchange);
  std::string line;
  std::string screenLine;
  const std::int32_t status = readScoreAnswer(boardUrl, exchange, line, screenLine);
  std::puts(line.c_str());
  return status;
}
