// A small HTTP/1.1 client for one request: the game needs no HTTP library for it.
#include "app/submit.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/options.h"

namespace {

constexpr int kTimeoutMilliseconds = 15000;   // for the whole exchange
constexpr std::size_t kAnswerMax = 64 * 1024; // bytes of the board's answer that are read

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

// A JSON string: the name is the only text the player writes into the request.
std::string jsonString(const std::string& text) {
  std::string quoted = "\"";
  for (const unsigned char c : text) {
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += static_cast<char>(c);
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      quoted += escaped;
    } else {
      quoted += static_cast<char>(c);
    }
  }
  return quoted + "\"";
}

// The value of a top-level field of the board's answer: a number as written, or a string unescaped
// (the board writes names and reasons as UTF-8, escaping only quotes, backslashes and controls).
std::string jsonField(const std::string& json, const std::string& key) {
  const std::size_t at = json.find("\"" + key + "\":");
  if (at == std::string::npos) return "";
  std::size_t index = at + key.size() + 3;
  if (index >= json.size() || json[index] != '"') {
    const std::size_t end = json.find_first_of(",}", index);
    return json.substr(index, end == std::string::npos ? std::string::npos : end - index);
  }
  std::string value;
  for (++index; index < json.size() && json[index] != '"'; ++index) {
    if (json[index] == '\\' && index + 1 < json.size()) ++index;
    value += json[index];
  }
  return value;
}

bool waitFor(int socket, short events, std::chrono::steady_clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
  pollfd wait = {socket, events, 0};
  return left > 0 && poll(&wait, 1, static_cast<int>(left)) == 1;
}

// POSTs `body` and fills `status` and `answer`. False when no board answered.
bool post(const std::string& url, const std::string& body, int& status, std::string& answer) {
  if (url.compare(0, 7, "http://") != 0) return false;
  const std::size_t pathAt = url.find('/', 7);
  const std::string authority = url.substr(7, pathAt == std::string::npos ? std::string::npos : pathAt - 7);
  std::string path = pathAt == std::string::npos ? "" : url.substr(pathAt);
  while (!path.empty() && path.back() == '/') path.pop_back();
  const std::size_t colon = authority.rfind(':');
  const bool hasPort = colon != std::string::npos && authority.find(']', colon) == std::string::npos;
  std::string host = hasPort ? authority.substr(0, colon) : authority;
  const std::string port = hasPort ? authority.substr(colon + 1) : "80";
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);

  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* addresses = nullptr;
  if (host.empty() || getaddrinfo(host.c_str(), port.c_str(), &hints, &addresses) != 0) return false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kTimeoutMilliseconds);
  int connection = -1;
  for (addrinfo* address = addresses; address != nullptr && connection < 0; address = address->ai_next) {
    connection = socket(address->ai_family, address->ai_socktype, address->ai_protocol);
    if (connection >= 0 && connect(connection, address->ai_addr, address->ai_addrlen) != 0) {
      close(connection);
      connection = -1;
    }
  }
  freeaddrinfo(addresses);
  if (connection < 0) return false;

  const std::string request = "POST " + path + "/api/scores HTTP/1.1\r\nHost: " + authority +
                              "\r\nContent-Type: application/json\r\nConnection: close\r\nContent-Length: " +
                              std::to_string(body.size()) + "\r\n\r\n" + body;
  bool sent = true;
  for (std::size_t offset = 0; sent && offset < request.size();) {
    const ssize_t written = waitFor(connection, POLLOUT, deadline)
                                ? send(connection, request.data() + offset, request.size() - offset, MSG_NOSIGNAL)
                                : -1;
    sent = written > 0;
    offset += sent ? static_cast<std::size_t>(written) : 0;
  }
  std::string reply;
  char buffer[4096];
  while (sent && reply.size() < kAnswerMax && waitFor(connection, POLLIN, deadline)) {
    const ssize_t got = recv(connection, buffer, sizeof buffer, 0);
    if (got <= 0) break;
    reply.append(buffer, static_cast<std::size_t>(got));
  }
  close(connection);
  const std::size_t bodyAt = reply.find("\r\n\r\n");
  if (reply.compare(0, 9, "HTTP/1.1 ") != 0 || bodyAt == std::string::npos) return false;
  status = std::atoi(reply.c_str() + 9);
  answer = reply.substr(bodyAt + 4);
  return true;
}

}  // namespace

std::int32_t submitReplay(const char* rank, const char* name, const char* boardUrl) {
  std::vector<unsigned char> replay;
  if (!readNamedReplay(rank, replay)) return 2;
  const std::string body = "{\"name\":" + jsonString(name) + ",\"replay\":\"" + base64(replay) + "\"}";
  int status = 0;
  std::string answer;
  if (!post(boardUrl, body, status, answer)) {
    std::printf("No leaderboard answered at %s.\n", boardUrl);
    return kSubmitUnreachable;
  }
  if (status == 200 || status == 201) {
    std::printf("%s rank %s on the board with %s points (entry %s).\n", status == 201 ? "Submitted:" : "Already there:",
                jsonField(answer, "rank").c_str(), jsonField(answer, "score").c_str(), jsonField(answer, "id").c_str());
    return kSubmitStored;
  }
  const std::string reason = jsonField(answer, "error");
  if (reason.empty()) {
    std::printf("The address %s answered %d, not as a leaderboard does.\n", boardUrl, status);
    return kSubmitUnreachable;
  }
  std::printf("The board refused it: %s.\n", reason.c_str());
  return status == 429 || status == 503 ? kSubmitTryLater : kSubmitRefused;
}
