// SyncTERM APC audio: a board stores named clips (RIFF/WAVE or Ogg/Vorbis,
// base64), copies them into 64 numbered slots and queues slots on 16 output
// channels, each with its own left and right gain. Every command runs on the
// engine's decode thread, so a clip of megabytes never stalls the interface
// thread, which only hands strings over and answers whether a channel is
// busy and whether a format is supported. Each channel is one stream of the
// audio layer; the layer mixes them.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/Thread.h"
#include "sound/uApcClip.h"
#include "sound/uApcCommands.h"

namespace platform {
class AudioStream;
}

// Limits on what a board can make the engine hold (all names' clips and
// every slot together; the strings waiting for the decode thread).
inline constexpr size_t kApcCacheBytes = size_t(64) << 20;
inline constexpr size_t kApcMaxNames = 4096;
inline constexpr size_t kApcQueueBytes = size_t(64) << 20;
class TApcAudioEngine;

// The worker that carries out every queued command, in order.
class TApcDecodeThread : public platform::Thread {
 public:
  explicit TApcDecodeThread(TApcAudioEngine& engine) : FEngine(engine) {}
  ~TApcDecodeThread() override;
  // Appends a command; false when the queue already holds too many bytes.
  bool Enqueue(std::string s);
  // Queues a reset and waits for it at most TimeoutMs; true when it ran.
  bool FlushAndWait(uint32_t timeoutMs);
  void Stop();

 protected:
  void Execute() override;

 private:
  struct TItem {
    std::string Text;
    uint64_t Reset = 0;  // not 0: a reset marker, with its number
  };

  TApcAudioEngine& FEngine;
  std::mutex FLock;  // everything below
  std::condition_variable FWake;
  std::deque<TItem> FQueue;
  size_t FQueueBytes = 0;
  uint64_t FResetsQueued = 0, FResetsDone = 0;
  std::condition_variable FDone;
};

class TApcAudioEngine {
 public:
  TApcAudioEngine();
  ~TApcAudioEngine();
  TApcAudioEngine(const TApcAudioEngine&) = delete;
  TApcAudioEngine& operator=(const TApcAudioEngine&) = delete;

  // Interface thread: queues an "SyncTERM:A;" or "SyncTERM:C;" string for
  // the decode thread; every other string is ignored. Returns at once.
  void HandleApc(const std::string& s);
  // Interface thread: closes every channel and forgets every clip and slot,
  // waiting for that at most TimeoutMs; false when the time ran out first.
  bool Flush(uint32_t timeoutMs = 5000);
  // True while the channel (0..15) still has sound queued.
  bool ChannelBusy(int channel);
  // The libsndfile codes a board asks about: (1, 2) WAV 16-bit PCM, always;
  // (32, 96) Ogg/Vorbis when its library is there.
  static bool FormatSupported(int major, int subtype);

 private:
  friend class TApcDecodeThread;
  struct TApcChannel {
    bool Open = false;
    std::unique_ptr<platform::AudioStream> Stream;
    int Rate = 0;
    int Channels = 0;
  };

  // Decode thread.
  void Execute(const std::string& item);
  void StoreClip(const TApcCommand& command);
  void LoadSlot(const TApcCommand& command);
  void QueueSlot(const TApcCommand& command);
  void PlayOnChannel(int channel, const TApcClip& clip, double left, double right);
  void CloseChannel(int channel);
  void StopAll();
  // Under FLock: puts Clip in a cache entry or slot, keeping the count of
  // bytes held.
  void Place(TApcClip& place, const TApcClip& clip);

  std::mutex FLock;  // FNames, FCache, FSlots and the channels' streams
  std::unique_ptr<TApcDecodeThread> FDecoder;
  std::unordered_map<std::string, size_t> FNames;  // name -> index into FCache
  std::vector<TApcClip> FCache;
  std::vector<TApcClip> FSlots;  // grown to the highest loaded slot + 1
  TApcChannel FChannels[16];
  std::unordered_map<const void*, size_t> FHolders;  // sample array -> entries and slots holding it
  size_t FHeldBytes = 0;
};
