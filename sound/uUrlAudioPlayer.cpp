#include "sound/uUrlAudioPlayer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <mpg123.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

#include "core/uDebugLog.h"
#include "platform/Audio.h"
#include "platform/Sync.h"

namespace {

constexpr int kRoundMs = 200;
constexpr int kHeaderBudgetMs = 15000;
constexpr int kConnectBudgetMs = 10000;

const int kBitrateMpeg1[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
const int kBitrateMpeg2[16] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0};
const int kRateMpeg1[3] = {44100, 48000, 32000};
const int kRateMpeg2[3] = {22050, 24000, 16000};
const int kRateMpeg25[3] = {11025, 12000, 8000};

std::string Lower(std::string s) {
  for (char& c : s) c = char(std::tolower(uint8_t(c)));
  return s;
}

std::string Trim(const std::string& s) {
  const size_t first = s.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

const char* TrueFalse(bool b) { return b ? "True" : "False"; }

}  // namespace

bool FindMp3Sync(const uint8_t* d, size_t length, TMp3Sync& sync) {
  if (length < 8) return false;
  for (size_t i = 0; i + 5 <= length; ++i) {
    if (d[i] != 0xFF || (d[i + 1] & 0xE0) != 0xE0) continue;
    const int version = (d[i + 1] >> 3) & 3;  // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
    const int layer = (d[i + 1] >> 1) & 3;
    if (version == 1 || layer != 1) continue;
    const int bitrateIndex = d[i + 2] >> 4, rateIndex = (d[i + 2] >> 2) & 3, padding = (d[i + 2] >> 1) & 1;
    if (bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3) continue;
    const bool mpeg1 = version == 3;
    const int bitrate = mpeg1 ? kBitrateMpeg1[bitrateIndex] : kBitrateMpeg2[bitrateIndex];
    const int rate = mpeg1 ? kRateMpeg1[rateIndex] : version == 2 ? kRateMpeg2[rateIndex] : kRateMpeg25[rateIndex];
    const int frameLength = (mpeg1 ? 144 : 72) * bitrate * 1000 / rate + padding;
    if (frameLength < 21) continue;
    const size_t next = i + size_t(frameLength);
    if (next + 1 < length && (d[next] != 0xFF || (d[next + 1] & 0xE0) != 0xE0)) continue;
    sync = TMp3Sync{i, rate, (d[i + 3] >> 6) == 3 ? 1 : 2, bitrate, frameLength};
    return true;
  }
  return false;
}

bool IsAudioContentType(const std::string& type) {
  if (type.find("mpegurl") != std::string::npos || type.find("scpls") != std::string::npos) return false;
  if (type.empty() || type.compare(0, 6, "audio/") == 0) return true;
  return type.find("mpeg") != std::string::npos || type.find("mp3") != std::string::npos;
}

bool SplitUrl(const std::string& url, std::string& host, uint16_t& port, std::string& path) {
  static const std::string scheme = "http://";
  if (url.compare(0, scheme.size(), scheme) != 0) return false;
  const std::string rest = url.substr(scheme.size());
  const size_t slash = rest.find('/');
  std::string hostPort = rest.substr(0, slash);
  path = slash == std::string::npos ? "/" : rest.substr(slash);
  port = 80;
  const size_t colon = hostPort.find(':');
  if (colon != std::string::npos) {
    const std::string digits = hostPort.substr(colon + 1);
    char* end = nullptr;
    const long value = std::strtol(digits.c_str(), &end, 10);
    if (!digits.empty() && *end == '\0' && value > 0 && value <= 65535 && std::isdigit(uint8_t(digits[0])))
      port = uint16_t(value);
    hostPort.resize(colon);
  }
  host = hostPort;
  return !host.empty();
}

std::string UrlAudioRequest(const std::string& host, uint16_t port, const std::string& path) {
  // RFC 7230 5.4: the Host header carries the port when it is not the default.
  const std::string hostHeader = port == 80 ? host : host + ":" + std::to_string(port);
  return "GET " + path + " HTTP/1.0\r\nHost: " + hostHeader +
         "\r\nUser-Agent: korvan\r\nIcy-MetaData: 0\r\nConnection: close\r\n\r\n";
}

TUrlAudioPlayer::TUrlAudioPlayer(const std::string& url) : FUrl(url) {
  SetFreeOnTerminate(true);
  FMp3Buffer.resize(UrlBufferSize);
}

TUrlAudioPlayer::~TUrlAudioPlayer() { Cleanup(); }

std::string TUrlAudioPlayer::Instance() const {
  char text[32];
  std::snprintf(text, sizeof text, "$%016llX", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(this)));
  return text;
}

void TUrlAudioPlayer::RequestStop() {
  LogLine("UrlAudio: RequestStop called (instance " + Instance() + ")");
  FWantStop.store(true);
}

void TUrlAudioPlayer::Status(const std::string& text, bool openInBrowser) {
  // Each event carries its own text, and keeps the player alive until it ran.
  std::shared_ptr<Thread> self = shared_from_this();
  platform::Queue([self, text, openInBrowser] {
    auto* player = static_cast<TUrlAudioPlayer*>(self.get());
    if (player->OnStatus) player->OnStatus(text, openInBrowser);
  });
}

void TUrlAudioPlayer::DoTerminate() {
  LogLine("UrlAudio: DoTerminate running (instance " + Instance() + ")");
  FStopConfirmed.store(1);
}

bool TUrlAudioPlayer::Connect() {
  in_addr address{};
  if (inet_pton(AF_INET, FHost.c_str(), &address) != 1) {
    addrinfo hints{}, *found = nullptr;
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    if (getaddrinfo(FHost.c_str(), nullptr, &hints, &found) != 0 || !found) {
      Status("Audio stream: could not resolve " + FHost, true);
      return false;
    }
    address = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
    freeaddrinfo(found);
  }
  FSocket = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (FSocket < 0) {
    Status("Audio stream: socket() error " + std::to_string(errno), true);
    return false;
  }
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(FPort);
  to.sin_addr = address;
  if (connect(FSocket, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0 && errno != EINPROGRESS) {
    Status("Audio stream: connect() error " + std::to_string(errno), true);
    return false;
  }
  for (int spent = 0; spent < kConnectBudgetMs; spent += kRoundMs) {
    if (Stopping()) return false;
    pollfd p{FSocket, POLLOUT, 0};
    if (poll(&p, 1, kRoundMs) <= 0) continue;
    int error = 0;
    socklen_t size = sizeof error;
    getsockopt(FSocket, SOL_SOCKET, SO_ERROR, &error, &size);
    if (error == 0 && (p.revents & POLLOUT)) return true;
    break;
  }
  if (!Stopping()) Status("Audio stream: could not connect to " + FHost, true);
  return false;
}

bool TUrlAudioPlayer::SendRequest() {
  const std::string request = UrlAudioRequest(FHost, FPort, FPath);
  size_t sent = 0;
  while (sent < request.size()) {
    if (Stopping()) return false;
    const ssize_t n = send(FSocket, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += size_t(n);
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd p{FSocket, POLLOUT, 0};
      poll(&p, 1, 10);
    } else {
      return false;
    }
  }
  return true;
}

bool TUrlAudioPlayer::ReadHeaders(std::string& contentType) {
  std::string text;
  size_t end = std::string::npos;
  // Every round counts in full against the budget, however short its wait.
  for (int spent = 0; end == std::string::npos; spent += kRoundMs) {
    if (Stopping() || spent >= kHeaderBudgetMs) return false;
    pollfd p{FSocket, POLLIN, 0};
    if (poll(&p, 1, kRoundMs) <= 0) continue;
    char chunk[4096];
    const ssize_t n = recv(FSocket, chunk, sizeof chunk, 0);
    if (n == 0) return false;
    if (n < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK) continue;
      return false;
    }
    text.append(chunk, size_t(n));
    end = text.find("\r\n\r\n");
  }
  size_t at = 0;
  while (at < end) {
    size_t lineEnd = text.find("\r\n", at);
    const std::string line = text.substr(at, lineEnd - at);
    if (Lower(line.substr(0, 13)) == "content-type:") contentType = Trim(line.substr(13));
    at = lineEnd + 2;
  }
  const size_t body = std::min(text.size() - (end + 4), UrlBufferSize);
  std::memcpy(FMp3Buffer.data(), text.data() + end + 4, body);
  FMp3Len = body;
  return true;
}

bool TUrlAudioPlayer::OpenDecoder() {
  TMp3Sync sync;
  if (!FindMp3Sync(FMp3Buffer.data(), FMp3Len, sync)) return false;
  std::memmove(FMp3Buffer.data(), FMp3Buffer.data() + sync.Offset, FMp3Len - sync.Offset);
  FMp3Len -= sync.Offset;

  static std::once_flag started;
  std::call_once(started, [] { mpg123_init(); });  // needed by older libmpg123, harmless later
  int error = MPG123_OK;
  FDecoder = mpg123_new(nullptr, &error);
  if (FDecoder) {
    mpg123_param(FDecoder, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    if (mpg123_open_feed(FDecoder) != MPG123_OK || mpg123_format_none(FDecoder) != MPG123_OK ||
        mpg123_format(FDecoder, sync.Rate, sync.Channels == 1 ? MPG123_MONO : MPG123_STEREO, MPG123_ENC_SIGNED_16) !=
            MPG123_OK)
      error = mpg123_errcode(FDecoder);
  }
  if (!FDecoder || error != MPG123_OK) {
    LogLine(std::string("UrlAudio: MP3 decoder open failed (") + mpg123_plain_strerror(error) +
            ") - no MP3 decoder available?");
    if (FDecoder) mpg123_delete(FDecoder);
    FDecoder = nullptr;
    return false;
  }
  std::string why;
  FStream = platform::OpenAudioStream({sync.Rate, sync.Channels, platform::SampleType::S16}, nullptr, &why);
  if (!FStream) {
    LogLine("UrlAudio: opening the audio output failed (" + why + ")");
    mpg123_delete(FDecoder);
    FDecoder = nullptr;
    return false;
  }
  return true;
}

// Feeds everything waiting to the decoder and queues the sound it gives, while
// more than 32 bytes wait and fewer than MaxInFlight buffers play. False on a
// decoder error.
bool TUrlAudioPlayer::ConvertAndQueue(size_t maxInFlight) {
  while (FMp3Len > 32 && FStream->Pending() < maxInFlight && !Stopping()) {
    if (mpg123_feed(FDecoder, FMp3Buffer.data(), FMp3Len) != MPG123_OK) return false;
    FMp3Len = 0;
    std::vector<uint8_t> pcm;
    uint8_t out[16384];
    for (;;) {
      size_t done = 0;
      const int rc = mpg123_read(FDecoder, out, sizeof out, &done);
      pcm.insert(pcm.end(), out, out + done);
      if (rc == MPG123_NEED_MORE || rc == MPG123_DONE) break;
      if (rc == MPG123_OK || rc == MPG123_NEW_FORMAT) continue;
      LogLine(std::string("UrlAudio: MP3 decoding failed (") + mpg123_strerror(FDecoder) + ")");
      return false;
    }
    if (!pcm.empty()) FStream->Queue(std::move(pcm));
  }
  return true;
}

// The connection ended: what is buffered is decoded and played to its end.
void TUrlAudioPlayer::PlayOut() {
  while (FMp3Len > 32 && !Stopping()) {
    if (!ConvertAndQueue(kMaxInFlight)) return;
    if (FMp3Len > 32) FStream->WaitPending(kMaxInFlight - 1, 100);
  }
  while (!Stopping() && !FStream->WaitPending(0, 100)) {
  }
}

void TUrlAudioPlayer::Cleanup() {
  FStream.reset();  // what is still queued stops now
  if (FDecoder) mpg123_delete(FDecoder);
  FDecoder = nullptr;
  if (FSocket >= 0) close(FSocket);
  FSocket = -1;
}

void TUrlAudioPlayer::Execute() {
  std::string contentType;
  const bool ok = [&] {
    if (!SplitUrl(FUrl, FHost, FPort, FPath)) {
      Status("Not a plain HTTP URL - opening in browser instead", true);
      return false;
    }
    if (!Connect()) return false;
    if (!SendRequest()) {
      if (!Stopping()) Status("Audio stream: request failed", true);
      return false;
    }
    if (!ReadHeaders(contentType)) {
      if (!Stopping()) Status("Audio stream: no response", true);
      return false;
    }
    if (!IsAudioContentType(Lower(contentType))) {
      Status("Not an audio stream (" + contentType + ") - opening in browser instead", true);
      return false;
    }
    return true;
  }();
  if (!ok) {
    Cleanup();
    DoTerminate();
    return;
  }

  LogLine("UrlAudio: Content-Type: \"" + contentType + "\"");
  if (FMp3Len > 0) {
    LogHex("UrlAudio first bytes (with headers)", FMp3Buffer.data(), FMp3Len);
    FBodyLogged = true;
  }
  Status("Playing audio stream: " + FUrl, false);
  bool noMp3 = false, ended = false;
  while (!Stopping()) {
    if (!FDecoderReady) FDecoderReady = OpenDecoder();
    const size_t room = UrlBufferSize - FMp3Len;
    if (room == 0 && FDecoderReady) {
      // A full buffer waits for a buffer to finish playing, not on the socket.
      FStream->WaitPending(kMaxInFlight - 1, 100);
    } else {
      pollfd p{FSocket, POLLIN, 0};
      if (room > 0 && poll(&p, 1, 100) > 0) {
        const ssize_t n = recv(FSocket, FMp3Buffer.data() + FMp3Len, std::min<size_t>(room, 8192), 0);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)) {
          ended = true;
          break;
        }
        if (n > 0) {
          if (!FBodyLogged) LogHex("UrlAudio first body bytes", FMp3Buffer.data() + FMp3Len, size_t(n));
          FBodyLogged = true;
          FMp3Len += size_t(n);
        }
      }
    }
    if (FDecoderReady && !ConvertAndQueue(kMaxInFlight)) break;
    if (!FDecoderReady && FMp3Len == UrlBufferSize) {
      LogLine("UrlAudio: filled " + std::to_string(UrlBufferSize) +
              "-byte buffer with no valid MP3 sync found - not MP3, or not Layer III");
      Status("Audio stream: no valid MP3 data found", false);
      noMp3 = true;
      break;
    }
  }
  if (ended && FDecoderReady) PlayOut();
  LogLine(std::string("UrlAudio: main pump loop exited (FWantStop=") + TrueFalse(FWantStop.load()) +
          ", Terminated=" + TrueFalse(Terminated()) + ")");
  if (!noMp3) Status("Audio stream ended", false);
  Cleanup();
  LogLine("UrlAudio: Cleanup done, Execute returning");
  DoTerminate();
}
