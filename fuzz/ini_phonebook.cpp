// Phonebook and settings files come from users, other programs and imports:
// any bytes must parse without a fault, write back to text that parses to
// the same document, and yield entries, dates and macros without a fault.
// fuzz-sources: data/uIniFile.cpp data/uPhonebook.cpp data/uDateTime.cpp data/uConfig.cpp
// fuzz-sources: core/uFileReplace.cpp core/uDebugLog.cpp core/uUtf8Cp437.cpp platform/Tick.cpp platform/AppFolder.cpp
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
    // every setting survives a save and a load, and what was written is
    // understood wholly.
    TPhonebookEntry entry;
    TPhonebookLoadNotes notes;
    entry.ReadFrom(ini.SectionAt(i), &notes);
    TPhonebookEntry saved[2];
    for (TPhonebookEntry& back : saved) {
      TIniWriter out;
      out.WriteSection("Entry0");
      entry.WriteTo(out);
      TIniSectionReader reader(out.Text());
      TIniSection section("");
      if (!reader.Next(section)) std::abort();
      TPhonebookLoadNotes again;
      back.ReadFrom(section, &again);
      if (!again.Empty()) std::abort();
      entry = back;
    }
    if (!saved[1].SameAs(saved[0])) std::abort();
  }
  {
    // The phonebook's own reading: one section at a time, damaged headers read.
    std::string storage;
    bool utf16 = false;
    TIniSectionReader reader(IniText(text, storage, utf16));
    reader.LenientHeaders = true;
    TIniSection section("");
    while (reader.Next(section)) {
      TPhonebookEntry entry;
      TPhonebookLoadNotes notes;
      entry.ReadFrom(section, &notes);
    }
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
