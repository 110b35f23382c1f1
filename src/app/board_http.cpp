// A leaderboard request through libcurl, which owns the protocol, TLS and the system's certificates.
// The library is loaded on the first request, so that a game without a board maps none of it
// (nor the many libraries it brings).
#include "app/board_http.h"

#include <curl/curl.h>
#include <dlfcn.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

constexpr long kBoardRedirectsMax = 3;
constexpr const char* kCurlLibrary = "libcurl.so.4";

// The few entry points of libcurl the requests use, found in the library once it is loaded.
struct Curl {
  CURLcode (*globalInit)(long);
  CURL* (*easyInit)();
  CURLcode (*easySetopt)(CURL*, CURLoption, ...);
  CURLcode (*easyPerform)(CURL*);
  CURLcode (*easyGetinfo)(CURL*, CURLINFO, ...);
  const char* (*easyStrerror)(CURLcode);
  void (*easyCleanup)(CURL*);
  curl_slist* (*slistAppend)(curl_slist*, const char*);
  void (*slistFreeAll)(curl_slist*);
};

template <typename Function>
bool find(void* library, const char* name, Function& function, std::string& missing) {
  function = reinterpret_cast<Function>(dlsym(library, name));
  if (function == nullptr && missing.empty()) missing = name;
  return function != nullptr;
}

// libcurl, loaded and started on the first call from any thread; null when it cannot be, with the
// reason in `why`.
const Curl* loadCurl(std::string& why) {
  static std::string failure;
  static const Curl* const loaded = [] () -> const Curl* {
    static Curl curl{};
    void* library = dlopen(kCurlLibrary, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
      failure = std::string(kCurlLibrary) + " is not installed";
      return nullptr;
    }
    std::string missing;
    find(library, "curl_global_init", curl.globalInit, missing);
    find(library, "curl_easy_init", curl.easyInit, missing);
    find(library, "curl_easy_setopt", curl.easySetopt, missing);
    find(library, "curl_easy_perform", curl.easyPerform, missing);
    find(library, "curl_easy_getinfo", curl.easyGetinfo, missing);
    find(library, "curl_easy_strerror", curl.easyStrerror, missing);
    find(library, "curl_easy_cleanup", curl.easyCleanup, missing);
    find(library, "curl_slist_append", curl.slistAppend, missing);
    find(library, "curl_slist_free_all", curl.slistFreeAll, missing);
    if (!missing.empty()) {
      failure = std::string("the installed ") + kCurlLibrary + " lacks " + missing;
      return nullptr;
    }
    curl.globalInit(CURL_GLOBAL_DEFAULT);
    return &curl;
  }();
  why = failure;
  return loaded;
}

struct Reception {
  std::string* body;
  bool tooLarge;
};

// A longer answer ends the transfer: no board's answer comes near the cap.
std::size_t receive(char* data, std::size_t size, std::size_t count, void* context) {
  auto* reception = static_cast<Reception*>(context);
  const std::size_t bytes = size * count;
  if (reception->body->size() + bytes > kBoardAnswerMax) {
    reception->tooLarge = true;
    return 0;
  }
  reception->body->append(data, bytes);
  return bytes;
}

int checkAbandon(void* context, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  const auto* abandon = static_cast<const std::atomic<bool>*>(context);
  return abandon != nullptr && abandon->load() ? 1 : 0;
}

std::string describeFailure(const Curl& api, CURLcode code, CURL* curl, bool tooLarge) {
  long systemError = 0;
  api.easyGetinfo(curl, CURLINFO_OS_ERRNO, &systemError);
  if (tooLarge || code == CURLE_FILESIZE_EXCEEDED) {
    return "its answer is larger than " + std::to_string(kBoardAnswerMax) + " bytes";
  }
  switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
      return "the name does not resolve";
    case CURLE_COULDNT_CONNECT:
      if (systemError == ECONNREFUSED) return "the connection was refused";
      if (systemError == ENETUNREACH || systemError == EHOSTUNREACH) return "the address cannot be reached";
      return "no connection could be made";
    case CURLE_OPERATION_TIMEDOUT:
      return "it did not answer in time";
    case CURLE_PEER_FAILED_VERIFICATION:
      return "its certificate is not trusted";
    case CURLE_SSL_CACERT_BADFILE:
      return std::getenv("SSL_CERT_FILE") != nullptr ? "the certificates SSL_CERT_FILE names cannot be read"
                                                     : "the system's certificates cannot be read";
    case CURLE_SSL_CONNECT_ERROR:
      return "no secure connection could be made";
    case CURLE_UNSUPPORTED_PROTOCOL:
      return "it sent the request on to an address that is not https";
    case CURLE_TOO_MANY_REDIRECTS:
      return "it sent the request on too many times";
    case CURLE_GOT_NOTHING:
      return "it closed the connection without an answer";
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
      return "the connection broke off";
    case CURLE_ABORTED_BY_CALLBACK:
      return "the game ended first";
    default: {
      std::string cause = api.easyStrerror(code);
      if (!cause.empty()) cause[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(cause[0])));
      return cause;
    }
  }
}

// The code point that starts at text[index] and its length in bytes; -1 (one byte) where no
// valid UTF-8 sequence starts.
std::int32_t decodeUtf8(const std::string& text, std::size_t index, std::size_t& length) {
  const auto lead = static_cast<unsigned char>(text[index]);
  length = 1;
  if (lead < 0x80) return lead;
  const std::size_t size = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
  if (size == 0 || index + size > text.size()) return -1;
  std::int32_t code = lead & (0x7F >> size);
  for (std::size_t next = 1; next < size; ++next) {
    const auto byte = static_cast<unsigned char>(text[index + next]);
    if ((byte & 0xC0) != 0x80) return -1;
    code = code << 6 | (byte & 0x3F);
  }
  const std::int32_t smallest = size == 2 ? 0x80 : size == 3 ? 0x800 : 0x10000;
  if (code < smallest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return -1;
  length = size;
  return code;
}

bool isEscape(std::int32_t code) {
  // ESC, and the C1 introducers of control sequences (CSI) and strings (DCS, SOS, OSC, PM, APC).
  return code == 0x1B || code == 0x9B || code == 0x90 || code == 0x98 || code == 0x9D || code == 0x9E || code == 0x9F;
}

bool isInvisibleMark(std::int32_t code) {
  return code == 0x061C || code == 0x200E || code == 0x200F || (code >= 0x202A && code <= 0x202E) ||
         (code >= 0x2066 && code <= 0x2069);
}

// The index just past the escape sequence whose introducer ends before `index`.
std::size_t skipEscapeSequence(const std::string& text, std::size_t index, std::int32_t introducer) {
  const auto byteAt = [&text](std::size_t at) { return static_cast<unsigned char>(text[at]); };
  std::int32_t kind = introducer;
  if (introducer == 0x1B && index < text.size()) {
    if (text[index] == '[') {
      kind = 0x9B;
      ++index;
    } else if (text[index] != '\0' && std::strchr("]PX^_", text[index]) != nullptr) {
      kind = 0x9D;
      ++index;
    }
  }
  if (kind == 0x9B || kind == 0x1B) {  // parameters and intermediates, then one final byte
    const unsigned char lastInner = kind == 0x9B ? 0x3F : 0x2F;
    const unsigned char firstFinal = kind == 0x9B ? 0x40 : 0x30;
    while (index < text.size() && byteAt(index) >= 0x20 && byteAt(index) <= lastInner) ++index;
    if (index < text.size() && byteAt(index) >= firstFinal && byteAt(index) <= 0x7E) ++index;
    return index;
  }
  for (; index < text.size(); ++index) {  // a string, to BEL or ST (ESC \ or U+009C)
    if (byteAt(index) == 0x07) return index + 1;
    if (byteAt(index) == 0x1B) return index + 1 < text.size() && text[index + 1] == '\\' ? index + 2 : index;
    if (byteAt(index) == 0xC2 && index + 1 < text.size() && byteAt(index + 1) == 0x9C) return index + 2;
  }
  return index;
}

}  // namespace

void exchangeWithBoard(const char* boardUrl, const char* path, const std::string& body,
                       const std::atomic<bool>* abandon, BoardExchange& exchange) {
  exchange = BoardExchange{};
  const Curl* api = loadCurl(exchange.failure);
  if (api == nullptr) return;
  std::string url = boardUrl;
  while (!url.empty() && url.back() == '/') url.pop_back();
  url += path;

  CURL* curl = api->easyInit();
  if (curl == nullptr) {
    exchange.failure = "the HTTP library could not start";
    return;
  }
  curl_slist* headers = api->slistAppend(nullptr, "Content-Type: application/json");
  headers = api->slistAppend(headers, "Accept: application/json");
  headers = api->slistAppend(headers, "Expect:");
  Reception reception = {&exchange.body, false};
  api->easySetopt(curl, CURLOPT_URL, url.c_str());
  api->easySetopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  api->easySetopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  api->easySetopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "https");
  api->easySetopt(curl, CURLOPT_MAXREDIRS, kBoardRedirectsMax);
  api->easySetopt(curl, CURLOPT_POSTREDIR, static_cast<long>(CURL_REDIR_POST_ALL));
  api->easySetopt(curl, CURLOPT_HTTPHEADER, headers);
  api->easySetopt(curl, CURLOPT_POSTFIELDS, body.data());
  api->easySetopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
  api->easySetopt(curl, CURLOPT_USERAGENT, "zellworth/" ZELLWORTH_VERSION);
  api->easySetopt(curl, CURLOPT_CONNECTTIMEOUT_MS, kBoardConnectTimeout);
  api->easySetopt(curl, CURLOPT_TIMEOUT_MS, kBoardExchangeTimeout);
  api->easySetopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kBoardAnswerMax));
  api->easySetopt(curl, CURLOPT_WRITEFUNCTION, receive);
  api->easySetopt(curl, CURLOPT_WRITEDATA, &reception);
  api->easySetopt(curl, CURLOPT_NOPROGRESS, 0L);
  api->easySetopt(curl, CURLOPT_XFERINFOFUNCTION, checkAbandon);
  api->easySetopt(curl, CURLOPT_XFERINFODATA, abandon);
  api->easySetopt(curl, CURLOPT_NOSIGNAL, 1L);  // the board's thread runs beside the game's
  // A private board's certificate is trusted by naming it, in place of the system's.
  const char* certificates = std::getenv("SSL_CERT_FILE");
  if (certificates != nullptr && *certificates != '\0') {
    api->easySetopt(curl, CURLOPT_CAINFO, certificates);
    api->easySetopt(curl, CURLOPT_CAPATH, nullptr);
  }

  const CURLcode result = api->easyPerform(curl);
  if (result == CURLE_OK) {
    exchange.answered = true;
    api->easyGetinfo(curl, CURLINFO_RESPONSE_CODE, &exchange.status);
  } else {
    exchange.failure = describeFailure(*api, result, curl, reception.tooLarge);
    exchange.body.clear();
  }
  api->slistFreeAll(headers);
  api->easyCleanup(curl);
}

bool boardClientLoads(std::string& why) { return loadCurl(why) != nullptr; }

bool isUtf8(const std::string& text) {
  for (std::size_t index = 0, length = 1; index < text.size(); index += length) {
    if (decodeUtf8(text, index, length) < 0) return false;
  }
  return true;
}

std::string printableText(const std::string& text) {
  std::string printable;
  std::size_t characters = 0;
  for (std::size_t index = 0; index < text.size();) {
    std::size_t length = 1;
    const std::int32_t code = decodeUtf8(text, index, length);
    index += length;
    if (isEscape(code)) {
      index = skipEscapeSequence(text, index, code);
      continue;
    }
    if (code < 0) {
      printable += "\xEF\xBF\xBD";  // U+FFFD in place of a byte that is not UTF-8
    } else if (code == '\t' || code == '\n' || code == '\r') {
      printable += ' ';
    } else if (code < 0x20 || (code >= 0x7F && code <= 0x9F) || isInvisibleMark(code)) {
      continue;
    } else {
      printable.append(text, index - length, length);
    }
    if (++characters == kBoardTextMax && index < text.size()) {
      printable += "\xE2\x80\xA6";  // an ellipsis: the rest is cut
      break;
    }
  }
  return printable;
}
