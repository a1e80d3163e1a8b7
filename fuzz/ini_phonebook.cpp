// Phonebook and settings files come from users, other programs and imports:
// any bytes must parse without a fault, write back to text that parses to
// the same document, and yield entries, dates and macros without a fault.
// fuzz-sources: data/uIniFile.cpp data/uPhonebook.cpp data/uDateTime.cpp data/uConfig.cpp
// fuzz-sources: core/uFileReplace.cpp core/uDebugLog.cpp platform/Tick.cpp platform/AppFolder.cpp
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "data/uConfig.h"
#include "data/uDateTime.h"
#include "data/uIniFile.h"
#include "data/uPhonebook.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  TIniFile ini;
  ini.Parse(text);
  std::string written = ini.Text();
  TIniFile again;
  again.Parse(written);
  if (again.Text() != written) std::abort();  // writing is stable after one round

  for (size_t i = 0; i < ini.SectionCount(); ++i) {
    // A first save turns line breaks inside values into blanks; from then on
    // every setting survives a save and a load.
    TPhonebookEntry entry;
    entry.ReadFrom(ini.SectionAt(i));
    TPhonebookEntry saved[2];
    for (TPhonebookEntry& back : saved) {
      TIniFile out;
      entry.WriteTo(out.AddSection("Entry0"));
      back.ReadFrom(*out.Section("Entry0"));
      entry = back;
    }
    if (!saved[1].SameAs(saved[0])) std::abort();
  }
  TDateTime when;
  if (TryParseDateTime(text, when)) {
    TDateTime back;
    if (!TryParseDateTime(FormatIsoDateTime(when), back)) std::abort();
  }
  DecodeKeyMacro(text);
  ResolvePath("/prog/", text);
  return 0;
}
