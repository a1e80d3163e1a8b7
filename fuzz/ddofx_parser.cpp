// Feeds arbitrary bytes to the door command interpreter, as received, with
// a door pack in its asset folder (macros and a local script that call each
// other), while control bytes of the input press keys, type into text
// fields and move the clock of the timed events; its door folder also holds
// a module and a pack of sounds for the audio commands. Checks that nothing
// crashes or hangs and that variables keep their length cap.
// fuzz-sources: door/uDDOFXParser.cpp door/uDDOFXVariables.cpp door/uDDOFXQueries.cpp
// fuzz-sources: door/uDDOFXMacros.cpp door/uDDOFXFields.cpp door/uDDOFXEvents.cpp
// fuzz-sources: door/uDDOFXScripts.cpp door/uDDOFXPack.cpp core/uPlainFileName.cpp
// fuzz-sources: door/uDDOFXAudio.cpp door/uDDOFXTracker.cpp door/uDDOFXAudioCommands.cpp
// fuzz-sources: core/uAnsiParser.cpp core/uAnsiControls.cpp core/uTerminalBuffer.cpp
// fuzz-sources: core/uDebugLog.cpp core/uUtf8Cp437.cpp platform/Tick.cpp
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "core/uAnsiParser.h"
#include "core/uTerminalBuffer.h"
#include "door/uDDOFXParser.h"

namespace {

void Put32(std::string& s, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + size_t(i)] = char((v >> (8 * i)) & 0xFF);
}

// A pack of two entries after a directory of three slots.
std::string MakePack() {
  const std::string macro = "\x1d{4DEFM,3,1,(*SHOW)(~INCVAR,1)}\x1d{7DEFRET,2,hi~there}";
  const std::string script = "Line\r\n\x1d{4RUNM,3}\r\n{bare}\r\n\x1d{*SHOW}\x1a tail";
  std::string pack(72, '\0');
  pack.replace(0, 6, "MACROS");
  Put32(pack, 12, 72);
  Put32(pack, 16, uint32_t(macro.size()));
  pack.replace(24, 4, "SHOW");
  Put32(pack, 36, uint32_t(72 + macro.size()));
  Put32(pack, 40, uint32_t(script.size()));
  return pack + macro + script;
}

// A pack of sounds: theme samples, a part of a multi-part sample and the
// phonemes of the speech file.
std::string MakeSoundPack() {
  const char* names[] = {"SAM1.SAM", "SAM2.SAM", "PART1.SAM", "H.SND", "PAUSE.SND"};
  const size_t count = 5, dirSize = (count + 1) * 24;
  std::string dir(dirSize, '\0'), data;
  for (size_t i = 0; i < count; ++i) {
    const std::string body(64 + 32 * i, char(0x10 * (i + 1)));
    dir.replace(i * 24, std::string(names[i]).size(), names[i]);
    Put32(dir, i * 24 + 12, uint32_t(dirSize + data.size()));
    Put32(dir, i * 24 + 16, uint32_t(body.size()));
    data += body;
  }
  return dir + data;
}

// A 4-channel module with one note and a 64-byte looped sample.
std::string MakeModule() {
  std::string m(1084, '\0');
  m[20 + 23] = 32;  // sample 1: 64 bytes
  m[20 + 25] = 64;
  m[20 + 29] = 32;  // looped whole
  m[950] = 1;
  m.replace(1080, 4, "M.K.");
  std::string pattern(1024, '\0');
  pattern[0] = 0x01;  // period 428 (0x1AC), sample 1
  pattern[1] = char(0xAC);
  pattern[2] = 0x10;
  m += pattern;
  for (int i = 0; i < 64; ++i) m.push_back(char(i < 32 ? 60 : -60));
  return m;
}

void WriteFile(const std::string& path, const std::string& bytes) {
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
}

const std::string& AssetFolder() {
  static const std::string folder = [] {
    char pattern[] = "/tmp/ddofx_fuzz_XXXXXX";
    std::string dir = mkdtemp(pattern);
    dir += "/";
    return dir;
  }();
  // Laid out anew for every input: the speech command writes, replaces and
  // deletes files here.
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) std::filesystem::remove(entry.path(), ec);
  static const std::string pack = MakePack(), sounds = MakeSoundPack(), module = MakeModule();
  WriteFile(folder + "DOORM", pack);
  WriteFile(folder + "SOUNDS", sounds);
  WriteFile(folder + "SONG.MOD", module);
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  TTerminalBuffer buffer(80, 25);
  TAnsiParser ansi(&buffer);
  TDDOFXParser parser(&ansi);
  uint64_t now = 1000;
  std::string sent;
  parser.Sender = [&sent](const std::string& s) {
    if (sent.size() < (1u << 20)) sent += s;
  };
  parser.Clock = [&now] { return now; };
  parser.Sleep = [](uint32_t) {};
  parser.ProgramFolder = AssetFolder();
  parser.SetAssetDir(AssetFolder());
  parser.AddAssetFromZipEntry("ZIPPED.PCX", 0x5865, 0x70E4, 10);
  for (size_t i = 0; i < Size; ++i) {
    const uint8_t b = Data[i];
    bool pass = false;
    switch (b) {
      case 0x01: parser.KeyPress(i + 1 < Size ? Data[i + 1] : 0, i + 2 < Size ? Data[i + 2] : 0, pass); break;
      case 0x02: now += 250; parser.TickEvents(now); break;
      case 0x03: parser.TextFieldKey(i + 1 < Size ? Data[i + 1] : 'a'); break;
      case 0x04: parser.TextFieldEnter(); break;
      case 0x05: parser.TextFieldBackspace(); parser.TextFieldEscape(); break;
      case 0x06: parser.TextFieldHotKey(i + 1 < Size ? Data[i + 1] : 'a', pass); break;
      case 0x07: parser.Reset(); break;
      default: parser.FilterByte(b);
    }
  }
  for (int n = 1; n <= TDDOFXParser::kVars; ++n)
    if (parser.Variable(n).Value.size() > TDDOFXParser::kValueCap) abort();
  (void)parser.DrawInputPrompt(40);
  return 0;
}
