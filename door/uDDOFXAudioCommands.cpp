// The door's audio commands: tracker music, themes and sound-bite libraries
// (resource packs of SAMn.SAM entries), multi-part samples, raw sound files,
// the music controls and the phoneme speech file. Every file is named by
// the door and found, read or written only through the door file helper,
// inside the asset folder. The audio engine does the playing.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "core/uDebugLog.h"
#include "door/uDDOFXPack.h"
#include "door/uDDOFXParser.h"
#include "door/uDDOFXText.h"

using namespace ddofxtext;

namespace {

constexpr uint64_t kMusicAfterExitMs = 5000;
constexpr int kThemeSamples = 100, kLibraryBites = 1000;
constexpr int kDefaultBiteRate = 8500, kDefaultSampleRate = 8000;

bool MeansNone(const std::string& x) { return x.empty() || Upper(x) == "NONE" || x == "0"; }

std::vector<std::string> SplitAll(const std::string& text, char at) {
  std::vector<std::string> pieces(1);
  for (char c : text)
    if (c == at)
      pieces.emplace_back();
    else
      pieces.back().push_back(c);
  return pieces;
}

// Text before and after the first comma, each trimmed; After is empty
// (and Has false) without a comma.
void SplitFirstComma(const std::string& text, std::string& before, std::string& after) {
  const size_t comma = text.find(',');
  before = Trim(text.substr(0, comma));
  after = comma == std::string::npos ? std::string() : Trim(text.substr(comma + 1));
}

size_t TableBytes(const std::vector<TSfxChunk>& table) {
  size_t n = 0;
  for (const TSfxChunk& c : table) n += c ? c->size() : 0;
  return n;
}

}  // namespace

const TDDOFXBigSample& TDDOFXParser::BigSample(int n) const {
  static const TDDOFXBigSample kNone;
  return n >= 1 && n <= kBigSamples ? FBigSamples[size_t(n - 1)] : kNone;
}

void TDDOFXParser::SoundWake() {
  if (OnSoundWake) OnSoundWake();
}

bool TDDOFXParser::LoadAssetFile(const std::string& name, std::string& data) {
  std::string why;
  const bool ok = ddofxpack::ReadAssetFile(FAssetDir, name, data, &why);
  if (!ok && !why.empty()) LogLine("DDOFX: refused sound file \"" + Trim(name) + "\": " + why);
  return ok;
}

bool TDDOFXParser::AppendPackSound(const std::string& pack, const std::string& name, std::vector<TSfxChunk>& table,
                                   size_t& tableBytes, const std::string& command) {
  std::string data;
  if (!ddofxpack::ExtractPackEntry(pack, name, data)) return false;
  if (data.size() > kSoundTableBytes - std::min(tableBytes, kSoundTableBytes)) {
    LogLine("DDOFX: {" + command + "} - " + name + " and later sounds not loaded, more than 64 MiB of samples");
    return false;
  }
  tableBytes += data.size();
  table.push_back(std::make_shared<const std::string>(std::move(data)));
  return true;
}

void TDDOFXParser::LoadMusic(const std::string& name) {
  const std::string x = Trim(name);
  if (MeansNone(x)) {
    Audio.StopMusic();
    FMusicName.clear();
    return;
  }
  if (Upper(x) == FMusicName && Audio.Playing()) return;
  if (!FGfx->GraphicsMode() && FGfxExitTick != 0 && Clock() - FGfxExitTick < kMusicAfterExitMs) {
    LogLine("DDOFX: LOAD MUSIC {m" + x + "} right after the door left graphics mode - not played");
    return;
  }
  std::string bytes;
  if (!LoadAssetFile(x, bytes)) {
    LogLine("DDOFX: LOAD MUSIC {m" + x + "} - file not found in \"" + FAssetDir + "\"");
    return;
  }
  if (!Audio.LoadMusic(bytes, x)) {
    LogLine("DDOFX: LOAD MUSIC {m" + x + "} - not a MOD/S3M (CMF is not supported)");
    return;
  }
  FMusicName = Upper(x);
  FMusicInGfx = FGfx->GraphicsMode();
  char text[320];
  std::snprintf(text, sizeof text, "DDOFX: music %s (%zu bytes)", x.c_str(), bytes.size());
  LogLine(text);
  SoundWake();
}

void TDDOFXParser::LoadTheme(const std::string& name) {
  const std::string x = Trim(name);
  if (MeansNone(x)) {
    FThemeName.clear();
    FThemeData.clear();
    FThemeSamples.clear();
    return;
  }
  if (Upper(x) == FThemeName && !FThemeData.empty()) return;
  std::string bytes;
  if (!LoadAssetFile(x, bytes)) {
    LogLine("DDOFX: LOAD BBS THEME {t" + x + "} - file not found in \"" + FAssetDir + "\"");
    return;
  }
  FThemeData = std::move(bytes);
  FThemeName = Upper(x);
  FThemeSamples.clear();
  size_t total = 0;
  for (int i = 1; i <= kThemeSamples; ++i)
    if (!AppendPackSound(FThemeData, "SAM" + std::to_string(i) + ".SAM", FThemeSamples, total, "t" + x)) break;
  LogLine("DDOFX: theme " + x + " - " + std::to_string(FThemeSamples.size()) + " samples");
}

void TDDOFXParser::SoundBites(const std::string& argument) {
  const std::string a = Trim(argument);
  if (!a.empty() && a[0] == ',') {
    FBiteLibrary = Trim(a.substr(1));
    return;
  }
  const std::string upper = Upper(a);
  if (upper == "NONE" || upper == "UNLOAD" || a == "0") {
    FBites.clear();
    FBiteBytes = 0;
    return;
  }
  std::string library;
  if (FBiteLibrary.empty() && !FThemeData.empty()) {
    library = FThemeData;
  } else if (FBiteLibrary.empty() || !LoadAssetFile(FBiteLibrary, library)) {
    LogLine("DDOFX: sound bites {tb" + a + "} - no library file \"" + FBiteLibrary + "\"");
    return;
  }
  if (upper == "LOAD") {
    FBites.clear();
    FBiteBytes = 0;
    for (int i = 1; i <= kLibraryBites; ++i)
      if (!AppendPackSound(library, "SAM" + std::to_string(i) + ".SAM", FBites, FBiteBytes, "tb" + a)) break;
    return;
  }
  const int n = IntDef(a, 0);
  if (n > 0) AppendPackSound(library, "SAM" + std::to_string(n) + ".SAM", FBites, FBiteBytes, "tb" + a);
}

void TDDOFXParser::PlayBite(const TSfxChunk& bytes, int rate) {
  if (!bytes || bytes->empty() || !Audio.FEnabled.load()) return;
  if (rate < TDDOFXAudio::kMinRate) rate = kDefaultBiteRate;
  if (rate > TDDOFXAudio::kMaxRate) rate = TDDOFXAudio::kMaxRate;
  Audio.PlaySample({bytes}, 0, rate);
  SoundWake();
}

void TDDOFXParser::PlayTableEntry(const std::vector<TSfxChunk>& table, const std::string& rest, bool withRate) {
  std::string number = Trim(rest), rateText;
  if (withRate) SplitFirstComma(rest, number, rateText);
  const int n = IntDef(number, 0);
  const int rate = withRate ? IntDef(rateText, kDefaultBiteRate) : kDefaultBiteRate;
  if (n >= 1 && n <= int(table.size())) PlayBite(table[size_t(n - 1)], rate);
}

void TDDOFXParser::OnPlayBite(int n, int rate) {
  if (n >= 1 && n <= int(FBites.size())) PlayBite(FBites[size_t(n - 1)], rate);
}

int TDDOFXParser::OnMusicLevel(int channel) {
  return channel < Audio.ChannelCount() ? Audio.ChannelLevel(channel) : -1;
}

void TDDOFXParser::ClearBigSample(int n) {
  if (n == 0) {
    for (TDDOFXBigSample& s : FBigSamples) s = {};
  } else if (n >= 1 && n <= kBigSamples) {
    FBigSamples[size_t(n - 1)] = {};
  }
}

void TDDOFXParser::SoundBiteCommand(const std::string& c) {
  const std::vector<std::string> pieces = SplitAll(c, ',');
  const std::string name = Upper(Trim(pieces[0]));
  const int n = pieces.size() > 1 ? IntDef(Trim(pieces[1]), -1) : -1;
  const std::string arg = pieces.size() > 2 ? Trim(pieces[2]) : std::string();

  if (name == "6CHECKBS") {
    const bool known = n >= 1 && n <= kBigSamples && !FBigSamples[size_t(n - 1)].Parts.empty();
    SendReply(known ? Audio.SampleStatus(n) : "N/A");
    return;
  }
  if (n < 0 || n > kBigSamples) return;
  size_t total = 0;
  for (const TDDOFXBigSample& s : FBigSamples) total += TableBytes(s.Parts);

  if (name == "6UNLOADBS") return ClearBigSample(n);
  if (name == "6LBSOUND") {
    ClearBigSample(n);
    if (n == 0 || arg.empty()) return;
    TDDOFXBigSample& slot = FBigSamples[size_t(n - 1)];
    for (int m = 1; m <= kBigSampleParts; ++m)
      if (!AppendPackSound(FThemeData, arg + std::to_string(m) + ".SAM", slot.Parts, total, c)) break;
    slot.Count = int(slot.Parts.size());
    if (slot.Count == 0) LogLine("DDOFX: {" + c + "} - no parts in theme \"" + FThemeName + "\"");
    return;
  }
  if (name == "6DEFBSND") {
    ClearBigSample(n);
    if (n > 0 && !arg.empty()) FBigSamples[size_t(n - 1)].Count = std::clamp(IntDef(arg, 0), 0, kBigSampleParts);
    return;
  }
  if (name == "6ADDBSND") {
    if (n == 0) return ClearBigSample(0);
    TDDOFXBigSample& slot = FBigSamples[size_t(n - 1)];
    if (!arg.empty() && int(slot.Parts.size()) < slot.Count) AppendPackSound(FThemeData, arg, slot.Parts, total, c);
    return;
  }
  if (name == "6PLAYBS") {
    if (n == 0) return;
    const TDDOFXBigSample& slot = FBigSamples[size_t(n - 1)];
    if (slot.Parts.empty() || int(slot.Parts.size()) < slot.Count || !Audio.FEnabled.load()) return;
    int rate = IntDef(arg, kDefaultSampleRate);
    if (rate < TDDOFXAudio::kMinRate) rate = kDefaultSampleRate;
    // A door's rate is held at both ends, as for every other sound.
    if (rate > TDDOFXAudio::kMaxRate) rate = TDDOFXAudio::kMaxRate;
    Audio.PlaySample(slot.Parts, n, rate);
    SoundWake();
    return;
  }
  LogUnimplemented("6:bigsample", c);
}

void TDDOFXParser::PlayRealSound(const std::string& text) {
  std::string name, rateText;
  SplitFirstComma(text, name, rateText);
  const int rate = IntDef(rateText, kDefaultSampleRate);
  if (!Audio.FEnabled.load()) return;
  std::string bytes;
  if (!LoadAssetFile(name, bytes)) {
    LogLine("DDOFX: MPREAL " + name + " - file not found");
    return;
  }
  PlayBite(std::make_shared<const std::string>(std::move(bytes)), rate);
}

void TDDOFXParser::Talk(const std::string& text) {
  const std::vector<std::string> params = SplitAll(text, ',');
  if (params.size() < 2 || FAssetDir.empty()) return;
  const int mode = params.size() > 3 ? IntDef(Trim(params[3]), 1) : 1;
  std::string why;
  const std::string out = ddofxpack::AssetWritePath(FAssetDir, params[1], &why);
  if (out.empty()) {
    LogLine("DDOFX: MTALK - refused file name \"" + Trim(params[1]) + "\": " + why);
    return;
  }
  if (mode == 3) {
    std::error_code ec;
    if (std::filesystem::is_regular_file(out, ec)) std::remove(out.c_str());
    return;
  }
  if (params.size() < 3) return;
  std::string library;
  if (!LoadAssetFile(params[0], library)) {
    LogLine("DDOFX: MTALK - phoneme file \"" + Trim(params[0]) + "\" not found");
    return;
  }
  std::string speech, piece;
  for (const std::string& raw : SplitAll(params[2], '-')) {
    const std::string p = Lower(Trim(raw));
    if (p.empty()) continue;
    if (p.size() == 2 && p[0] == 'p' && p[1] >= '1' && p[1] <= '4') {
      if (ddofxpack::ExtractPackEntry(library, "PAUSE.SND", piece)) piece.resize(piece.size() / size_t(p[1] - '0'));
      else piece.clear();
    } else if (!ddofxpack::ExtractPackEntry(library, p + ".SND", piece)) {
      continue;
    }
    if (speech.size() + piece.size() > kSoundTableBytes) {
      LogLine("DDOFX: MTALK - speech longer than 64 MiB, cut at \"" + p + "\"");
      break;
    }
    speech += piece;
  }

  std::error_code ec;
  std::filesystem::create_directories(FAssetDir, ec);
  std::string error;
  if (mode == 0 && std::filesystem::is_regular_file(out, ec)) {
    std::ofstream f(out, std::ios::binary | std::ios::app);
    if (!f || !f.write(speech.data(), std::streamsize(speech.size())) || !(f.flush()))
      error = std::strerror(errno);
  } else {
    // A new speech file replaces the old one whole or not at all.
    const std::string temp = out + ".tmp";
    {
      std::ofstream f(temp, std::ios::binary | std::ios::trunc);
      if (!f || !f.write(speech.data(), std::streamsize(speech.size())) || !(f.flush())) error = std::strerror(errno);
    }
    if (error.empty() && std::rename(temp.c_str(), out.c_str()) != 0) error = std::strerror(errno);
    if (!error.empty()) std::remove(temp.c_str());
  }
  if (!error.empty()) LogLine("DDOFX: MTALK write failed: " + error);
}
