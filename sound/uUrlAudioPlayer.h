// Plays an MP3 stream (a radio station or an MP3 file) from a plain http://
// link on a worker thread of its own: an HTTP/1.0 GET, the Content-Type
// decides whether it is audio, the first Layer III frames are found, libmpg123
// decodes and one stream of the audio layer plays. What it cannot play it
// hands back through its status event with the flag that asks for the web
// browser instead. The thread holds a reference to itself until it ends, so
// the player lives as long as its thread; the owner only drops its own.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Thread.h"

namespace platform {
class AudioStream;
}
struct mpg123_handle_struct;

// The first MP3 Layer III frame header at or after the start of a buffer.
struct TMp3Sync {
  size_t Offset = 0;
  int Rate = 0;
  int Channels = 0;
  int Bitrate = 0;  // kbit/s
  int FrameLength = 0;
};
bool FindMp3Sync(const uint8_t* data, size_t length, TMp3Sync& sync);

// Whether a lower-cased Content-Type value names something to play:
// playlists do not, an empty type, audio/ types and MPEG types do.
bool IsAudioContentType(const std::string& type);

// "http://host[:port][/path]": false for any other scheme or an empty host.
bool SplitUrl(const std::string& url, std::string& host, uint16_t& port, std::string& path);

// The request sent for a URL: one HTTP/1.0 GET whose Host header names the
// port when it is not 80.
std::string UrlAudioRequest(const std::string& host, uint16_t port, const std::string& path);

class TUrlAudioPlayer : public platform::Thread {
 public:
  static constexpr size_t UrlBufferSize = 65536;
  static constexpr size_t kMaxInFlight = 6;

  // Shows a text on the status line; with OpenInBrowser the owner opens the
  // URL in the web browser instead. Always run on the interface thread.
  using TUrlAudioStatusEvent = std::function<void(const std::string& text, bool openInBrowser)>;

  // Made suspended and freeing itself when its thread ends: hold it in a
  // shared_ptr, set OnStatus and OnTerminate, then Start.
  explicit TUrlAudioPlayer(const std::string& url);
  ~TUrlAudioPlayer() override;

  const std::string FUrl;
  TUrlAudioStatusEvent OnStatus;

  // Any thread: asks the thread to end; it does so on its own.
  void RequestStop();
  // True once the thread's work is over and only its end notice remains.
  bool IsStopConfirmed() const { return FStopConfirmed.load() != 0; }

 protected:
  void Execute() override;

 private:
  bool Stopping() const { return FWantStop.load() || Terminated(); }
  void Status(const std::string& text, bool openInBrowser);
  bool Connect();
  bool SendRequest();
  bool ReadHeaders(std::string& contentType);
  bool OpenDecoder();
  bool ConvertAndQueue(size_t maxInFlight);
  void PlayOut();
  void Cleanup();
  void DoTerminate();
  std::string Instance() const;

  std::string FHost;
  uint16_t FPort = 80;
  std::string FPath = "/";
  int FSocket = -1;
  std::atomic<bool> FWantStop{false};
  std::unique_ptr<platform::AudioStream> FStream;
  mpg123_handle_struct* FDecoder = nullptr;
  std::vector<uint8_t> FMp3Buffer;
  size_t FMp3Len = 0;
  bool FDecoderReady = false;
  bool FBodyLogged = false;
  std::atomic<int> FStopConfirmed{0};
};
