#include <curl/curl.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/handles_posix.h"
#include "platform/http_client.h"

namespace platform {
namespace {

// The path goes out as WinINet sends it: blanks and other bytes a URL cannot hold are
// escaped, everything else (including "/./" and bytes above 127 once decoded) arrives as is.
std::string EscapedPath(const std::string& path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string escaped;
  if (path.empty() || path.front() != '/') escaped += '/';
  for (unsigned char c : path) {
    if (c <= ' ' || c >= 0x7f || c == '#' || c == '?') {
      escaped += '%';
      escaped += kHex[c >> 4];
      escaped += kHex[c & 15];
    } else {
      escaped += static_cast<char>(c);
    }
  }
  return escaped;
}

void InitializeCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

HttpFault FaultOf(CURLcode code) {
  switch (code) {
    case CURLE_OK:
      return HttpFault::None;
    case CURLE_COULDNT_RESOLVE_HOST:
      return HttpFault::UnknownHost;
    case CURLE_COULDNT_CONNECT:
      return HttpFault::Refused;
    case CURLE_OPERATION_TIMEDOUT:
      return HttpFault::Stalled;
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_GOT_NOTHING:
      return HttpFault::Broken;
    default:
      return HttpFault::Other;
  }
}

using HeaderList = Owned<curl_slist>;

HeaderList RangeHeaders(const HttpRange& range) {
  curl_slist* list =
      curl_slist_append(nullptr, ("Range: bytes=" + std::to_string(range.from) + "-").c_str());
  if (list != nullptr && !range.ifRange.empty()) {
    curl_slist* longer = curl_slist_append(list, ("If-Range: " + range.ifRange).c_str());
    if (longer == nullptr) {
      curl_slist_free_all(list);
      return nullptr;
    }
    list = longer;
  }
  return HeaderList(list);
}

}  // namespace

// Reads are pulled: the multi interface is driven only while the caller waits for bytes, and
// the write callback pauses the transfer once enough is buffered, so memory stays bounded.
struct HttpClient::Handles {
  static constexpr std::size_t kBufferLimit = 1 << 20;

  // Declared first, so it goes last: the easy handle leaves the multi before either is freed.
  CurlMulti multi;
  CurlEasy easy;
  std::string origin;  // "http://host:port"
  bool added = false;
  bool answersChallenges = false;
  bool paused = false;
  bool done = false;
  CURLcode result = CURLE_OK;
  char message[CURL_ERROR_SIZE] = {};  // libcurl's own words for `result`
  HeaderList headers;                  // the request's own, kept for its transfer
  std::vector<char> buffer;
  std::size_t consumed = 0;

  std::size_t Buffered() const { return buffer.size() - consumed; }

  static std::size_t Receive(char* data, std::size_t, std::size_t size, void* self) {
    auto* handles = static_cast<Handles*>(self);
    if (handles->Buffered() >= kBufferLimit) {
      handles->paused = true;
      return CURL_WRITEFUNC_PAUSE;
    }
    if (handles->consumed == handles->buffer.size()) {
      handles->buffer.clear();
      handles->consumed = 0;
    }
    handles->buffer.insert(handles->buffer.end(), data, data + size);
    return size;
  }

  // Drives the transfer until bytes are buffered or it has ended.
  void Pump() {
    if (paused && Buffered() == 0) {
      paused = false;
      curl_easy_pause(easy.get(), CURLPAUSE_CONT);
    }
    while (!done && Buffered() == 0) {
      int running = 0;
      if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
        done = true;
        result = CURLE_RECV_ERROR;
        break;
      }
      int left = 0;
      while (CURLMsg* message = curl_multi_info_read(multi.get(), &left)) {
        if (message->msg == CURLMSG_DONE) {
          done = true;
          result = message->data.result;
        }
      }
      if (done || Buffered() > 0) break;
      curl_multi_poll(multi.get(), nullptr, 0, 1000, nullptr);
    }
  }

  void Detach() {
    if (added) curl_multi_remove_handle(multi.get(), easy.get());
    added = false;
    paused = false;
    done = false;
    result = CURLE_OK;
    message[0] = '\0';
    curl_easy_setopt(easy.get(), CURLOPT_HTTPHEADER, nullptr);
    headers.reset();
    buffer.clear();
    consumed = 0;
  }

  HttpError ErrorOf() const {
    const char* text = message[0] != '\0' ? message : curl_easy_strerror(result);
    return HttpError{FaultOf(result),
                     "libcurl error " + std::to_string(static_cast<int>(result)) + ": " + text};
  }
};

HttpClient::HttpClient() : handles_(std::make_unique<Handles>()) {}

HttpClient::~HttpClient() { Close(); }

bool HttpClient::Open(const HttpServer& server) {
  Close();
  InitializeCurlOnce();
  handles_->multi.reset(curl_multi_init());
  CurlEasy owned(handles_->multi ? curl_easy_init() : nullptr);
  if (!owned) {
    Close();
    error_ = HttpError{HttpFault::Other, "libcurl could not be set up"};
    return false;
  }
  CURL* easy = owned.get();
  const long idleSeconds = std::max<long>(1, static_cast<long>(idleTimeout_.count() / 1000));
  curl_easy_setopt(easy, CURLOPT_USERAGENT, server.agent.c_str());  // libcurl copies strings
  curl_easy_setopt(easy, CURLOPT_USERNAME, server.user.c_str());
  curl_easy_setopt(easy, CURLOPT_PASSWORD, server.password.c_str());
  // Basic alone: libcurl then sends the credentials with the first request.
  curl_easy_setopt(easy, CURLOPT_HTTPAUTH, CURLAUTH_BASIC);
  curl_easy_setopt(easy, CURLOPT_PATH_AS_IS, 1L);
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http");
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, handles_->message);
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(idleTimeout_.count()));
  curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, idleSeconds);
  curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, 256L * 1024);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Handles::Receive);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, handles_.get());
  handles_->easy = std::move(owned);
  handles_->answersChallenges = false;
  handles_->origin = "http://" + server.host + ":" + std::to_string(server.port);
  return true;
}

bool HttpClient::Get(const std::string& path, const std::optional<HttpRange>& range) {
  EndRequest();
  Handles& h = *handles_;
  error_ = HttpError{HttpFault::Other, "libcurl could not send the request"};
  if (!IsOpen()) return false;
  std::string url = h.origin + EscapedPath(path);
  if (curl_easy_setopt(h.easy.get(), CURLOPT_URL, url.c_str()) != CURLE_OK) return false;
  if (range) {
    h.headers = RangeHeaders(*range);
    if (!h.headers) return false;
    curl_easy_setopt(h.easy.get(), CURLOPT_HTTPHEADER, h.headers.get());
  }
  if (curl_multi_add_handle(h.multi.get(), h.easy.get()) != CURLM_OK) return false;
  h.added = true;
  h.Pump();
  // A transfer that ended before any answer arrived is a transport failure.
  if (Status().has_value()) return true;
  error_ = h.ErrorOf();
  return false;
}

std::optional<std::uint32_t> HttpClient::Status() {
  if (!handles_->added) return std::nullopt;
  long status = 0;
  if (curl_easy_getinfo(handles_->easy.get(), CURLINFO_RESPONSE_CODE, &status) != CURLE_OK ||
      status == 0) {
    return std::nullopt;
  }
  return static_cast<std::uint32_t>(status);
}

std::optional<std::uint64_t> HttpClient::ContentLength() {
  curl_off_t length = -1;
  if (!handles_->added ||
      curl_easy_getinfo(handles_->easy.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) !=
          CURLE_OK ||
      length < 0) {
    return std::nullopt;
  }
  return static_cast<std::uint64_t>(length);
}

std::optional<std::string> HttpClient::Header(const std::string& name) {
  curl_header* header = nullptr;
  if (!handles_->added || curl_easy_header(handles_->easy.get(), name.c_str(), 0, CURLH_HEADER, -1,
                                           &header) != CURLHE_OK) {
    return std::nullopt;
  }
  return std::string(header->value);
}

bool HttpClient::BytesAvailable(std::uint32_t& available) {
  Handles& h = *handles_;
  if (!h.added) return false;
  h.Pump();
  if (h.Buffered() == 0 && h.result != CURLE_OK) {
    error_ = h.ErrorOf();
    return false;
  }
  available = static_cast<std::uint32_t>(std::min<std::size_t>(h.Buffered(), UINT32_MAX));
  return true;
}

bool HttpClient::Read(void* buffer, std::uint32_t size, std::uint32_t& read) {
  Handles& h = *handles_;
  read = 0;
  if (!h.added) return false;
  h.Pump();
  if (h.Buffered() == 0) {
    if (h.result == CURLE_OK) return true;
    error_ = h.ErrorOf();
    return false;
  }
  std::size_t count = std::min<std::size_t>(size, h.Buffered());
  std::memcpy(buffer, h.buffer.data() + h.consumed, count);
  h.consumed += count;
  read = static_cast<std::uint32_t>(count);
  return true;
}

bool HttpClient::IsOpen() const { return handles_->easy != nullptr; }

bool HttpClient::AnswerChallengesOnly() {
  Handles& h = *handles_;
  if (!h.easy || h.answersChallenges) return false;
  EndRequest();
  // A handle whose Basic credentials were refused answers no later challenge: a copy of its
  // options without its state does.
  CurlEasy fresh(curl_easy_duphandle(h.easy.get()));
  if (!fresh) return false;
  curl_easy_setopt(fresh.get(), CURLOPT_HTTPAUTH, CURLAUTH_ANY);
  h.easy = std::move(fresh);
  h.answersChallenges = true;
  return true;
}

void HttpClient::EndRequest() {
  if (handles_->easy) handles_->Detach();
}

void HttpClient::Close() {
  EndRequest();
  handles_->easy.reset();
  handles_->multi.reset();
}

}  // namespace platform
