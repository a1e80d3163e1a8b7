#include "sound/uApcAudio.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <cxxabi.h>
#include <typeinfo>

#include "core/uBase64.h"
#include "core/uDebugLog.h"
#include "platform/Audio.h"
#include "sound/uVorbisFile.h"

namespace {

const std::string kAudioPrefix = "SyncTERM:A;";
const std::string kClipPrefix = "SyncTERM:C;";

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

}  // namespace

// ---------------------------------------------------------------- thread

TApcDecodeThread::~TApcDecodeThread() { Stop(); }

void TApcDecodeThread::Stop() {
  Terminate();
  {
    std::lock_guard<std::mutex> hold(FLock);
    FWake.notify_all();
  }
  WaitFor();
}

bool TApcDecodeThread::Enqueue(std::string s) {
  std::lock_guard<std::mutex> hold(FLock);
  if (FQueueBytes + s.size() > kApcQueueBytes) return false;
  FQueueBytes += s.size();
  FQueue.push_back(TItem{std::move(s), 0});
  FWake.notify_all();
  return true;
}

bool TApcDecodeThread::FlushAndWait(uint32_t timeoutMs) {
  std::unique_lock<std::mutex> hold(FLock);
  const uint64_t mine = ++FResetsQueued;
  FQueue.push_back(TItem{std::string(), mine});
  FWake.notify_all();
  // Each reset has its own number, so one that timed out and ran later
  // cannot make a later flush return before its own reset ran.
  return FDone.wait_for(hold, std::chrono::milliseconds(timeoutMs), [&] { return FResetsDone >= mine; });
}

void TApcDecodeThread::Execute() {
  while (!Terminated()) {
    TItem item;
    {
      std::unique_lock<std::mutex> hold(FLock);
      if (FQueue.empty()) {
        // Nothing to decode: asleep until a command comes or the thread
        // stops (both notify under the lock).
        FWake.wait(hold, [&] { return !FQueue.empty() || Terminated(); });
        continue;
      }
      item = std::move(FQueue.front());
      FQueue.pop_front();
      FQueueBytes -= item.Text.size();
    }
    if (item.Reset != 0) {
      FEngine.StopAll();
      std::lock_guard<std::mutex> hold(FLock);
      FResetsDone = item.Reset;
      FDone.notify_all();
      continue;
    }
    try {
      FEngine.Execute(item.Text);
    } catch (const std::exception& e) {
      int status = 0;
      char* name = abi::__cxa_demangle(typeid(e).name(), nullptr, nullptr, &status);
      LogLine(std::string("ApcAudio: command raised ") + (name ? name : typeid(e).name()) + ": " + e.what() +
              " - dropped, continuing");
      std::free(name);
    }
  }
}

// ---------------------------------------------------------------- engine

TApcAudioEngine::TApcAudioEngine() {
  FDecoder = std::make_unique<TApcDecodeThread>(*this);
  FDecoder->Start();
}

TApcAudioEngine::~TApcAudioEngine() {
  FDecoder->Stop();
  for (int c = 0; c < 16; ++c) CloseChannel(c);
}

void TApcAudioEngine::HandleApc(const std::string& s) {
  if (s.compare(0, kAudioPrefix.size(), kAudioPrefix) != 0 && s.compare(0, kClipPrefix.size(), kClipPrefix) != 0)
    return;
  if (!FDecoder->Enqueue(s))
    LogLine("ApcAudio: " + std::to_string(kApcQueueBytes) + " bytes of commands already wait - command dropped");
}

bool TApcAudioEngine::Flush(uint32_t timeoutMs) { return FDecoder->FlushAndWait(timeoutMs); }

bool TApcAudioEngine::ChannelBusy(int channel) {
  if (channel < 0 || channel > 15) return false;
  std::lock_guard<std::mutex> hold(FLock);
  const TApcChannel& c = FChannels[channel];
  return c.Open && c.Stream->Pending() > 0;
}

bool TApcAudioEngine::FormatSupported(int major, int subtype) {
  if (major == 1 && subtype == 2) return true;
  if (major == 32 && subtype == 96) return LoadVorbisFile();
  return false;
}

void TApcAudioEngine::Execute(const std::string& item) {
  const TApcCommand command = ParseApcCommand(item);
  switch (command.Kind) {
    case TApcCommand::acStore: StoreClip(command); break;
    case TApcCommand::acLoad: LoadSlot(command); break;
    case TApcCommand::acQueue: QueueSlot(command); break;
    case TApcCommand::acFlush:
      if (command.Channel >= 0 && command.Channel <= 15) CloseChannel(command.Channel);
      break;
    case TApcCommand::acUpdate:
      LogLine("ApcAudio: Update received - no live per-buffer gain control in this engine, next Queue on that channel "
              "will use its own VL/VR instead (see comment)");
      break;
    case TApcCommand::acNone:
      if (!command.Error.empty()) LogLine(command.Error);
      break;
  }
}

void TApcAudioEngine::Place(TApcClip& place, const TApcClip& clip) {
  // Slots share their samples with the cache: each array counts once, for as
  // long as a name or a slot holds it.
  if (clip.Valid && FHolders[clip.Samples.get()]++ == 0) FHeldBytes += clip.Bytes();
  if (place.Valid && --FHolders[place.Samples.get()] == 0) {
    FHolders.erase(place.Samples.get());
    FHeldBytes -= place.Bytes();
  }
  place = clip;
}

void TApcAudioEngine::StoreClip(const TApcCommand& command) {
  const std::string& name = command.Name;
  std::vector<uint8_t> raw;
  if (!Base64Decode(command.Payload, raw)) {
    LogLine("ApcAudio: Store " + Quoted(name) + " - base64 decode failed, ignored");
    return;
  }
  TApcClip clip;
  if (!DecodeClip(raw, clip)) {
    LogLine("ApcAudio: Store " + Quoted(name) + " - clip decode failed (" + std::to_string(raw.size()) +
            " raw bytes), ignored");
    return;
  }
  raw = {};
  std::lock_guard<std::mutex> hold(FLock);
  auto known = FNames.find(name);
  if (known == FNames.end() && FNames.size() >= kApcMaxNames) {
    LogLine("ApcAudio: Store " + Quoted(name) + " refused - " + std::to_string(kApcMaxNames) +
            " clip names are already stored");
    return;
  }
  // The clip a known name replaces no longer counts, unless a slot holds it.
  size_t freed = 0;
  if (known != FNames.end()) {
    const TApcClip& old = FCache[known->second];
    if (old.Valid && FHolders[old.Samples.get()] == 1) freed = old.Bytes();
  }
  if (FHeldBytes - freed + clip.Bytes() > kApcCacheBytes) {
    LogLine("ApcAudio: Store " + Quoted(name) + " refused - clips hold " + std::to_string(FHeldBytes - freed) +
            " of " + std::to_string(kApcCacheBytes) + " bytes");
    return;
  }
  size_t index;
  if (known != FNames.end()) {
    index = known->second;
  } else {
    index = FCache.size();
    FCache.emplace_back();
    FNames.emplace(name, index);
  }
  Place(FCache[index], clip);
  LogLine("ApcAudio: Store " + Quoted(name) + " ok - " + std::to_string(clip.Rate) + " Hz, " +
          std::to_string(clip.Channels) + " ch, " + std::to_string(clip.Bytes()) + " decoded bytes");
}

void TApcAudioEngine::LoadSlot(const TApcCommand& command) {
  const std::string& name = command.Name;
  const int slot = command.Slot;
  std::lock_guard<std::mutex> hold(FLock);
  auto known = FNames.find(name);
  if (known == FNames.end() || !FCache[known->second].Valid) {
    LogLine("ApcAudio: Load " + Quoted(name) + " into S=" + std::to_string(slot) +
            " - name not in cache (Store never arrived, or its decode failed)");
    return;
  }
  if (FSlots.size() < size_t(slot) + 1) FSlots.resize(size_t(slot) + 1);
  Place(FSlots[size_t(slot)], FCache[known->second]);
}

void TApcAudioEngine::QueueSlot(const TApcCommand& command) {
  const int channel = command.Channel, slot = command.Slot;
  TApcClip clip;
  {
    std::lock_guard<std::mutex> hold(FLock);
    if (slot >= 0 && size_t(slot) < FSlots.size() && FSlots[size_t(slot)].Valid) clip = FSlots[size_t(slot)];
  }
  if (!clip.Valid) {
    LogLine("ApcAudio: Queue C=" + std::to_string(channel) + " S=" + std::to_string(slot) +
            " - slot empty/never Loaded, ignored");
    return;
  }
  PlayOnChannel(channel, clip, command.Left, command.Right);
}

void TApcAudioEngine::PlayOnChannel(int channel, const TApcClip& clip, double left, double right) {
  TApcChannel& c = FChannels[channel];
  // A channel open in the clip's format plays it after what it holds; any
  // other gets a new stream, which replaces it (ending its sound) only once
  // the clip is queued, so the channel never looks idle in between.
  std::unique_ptr<platform::AudioStream> fresh;
  if (!c.Open || c.Rate != clip.Rate || c.Channels != clip.Channels) {
    std::string why;
    fresh = platform::OpenAudioStream({clip.Rate, clip.Channels, platform::SampleType::S16}, nullptr, &why);
    if (!fresh) {
      CloseChannel(channel);
      LogLine("ApcAudio: opening the audio output failed for channel " + std::to_string(channel) +
              " (rate=" + std::to_string(clip.Rate) + " channels=" + std::to_string(clip.Channels) + "): " + why);
      return;
    }
  }
  std::vector<uint8_t> samples =
      left == 1.0 && right == 1.0 ? *clip.Samples : ApplyGain(*clip.Samples, clip.Channels, left, right);
  if (!samples.empty()) (fresh ? *fresh : *c.Stream).Queue(std::move(samples));
  if (!fresh) return;
  std::lock_guard<std::mutex> hold(FLock);
  std::swap(c.Stream, fresh);
  c.Rate = clip.Rate;
  c.Channels = clip.Channels;
  c.Open = true;
  // The replaced stream closes as Fresh goes, after the lock.
}

void TApcAudioEngine::CloseChannel(int channel) {
  std::unique_ptr<platform::AudioStream> closing;
  {
    std::lock_guard<std::mutex> hold(FLock);
    TApcChannel& c = FChannels[channel];
    if (!c.Open) return;
    closing = std::move(c.Stream);
    c.Open = false;
  }
  // Closing the stream drops what it still holds, which ends its sound at once.
}

void TApcAudioEngine::StopAll() {
  for (int c = 0; c < 16; ++c) CloseChannel(c);
  std::lock_guard<std::mutex> hold(FLock);
  FNames.clear();
  FCache.clear();
  FSlots.clear();
  FHolders.clear();
  FHeldBytes = 0;
}
