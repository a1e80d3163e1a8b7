// Feeds arbitrary bytes to each text emulation on a buffer of arbitrary size,
// resizing it half way, and checks that the cursor stays on the grid.
// fuzz-sources: core/uTerminalBuffer.cpp core/uDebugLog.cpp core/uUtf8Cp437.cpp platform/Tick.cpp
// fuzz-sources: core/uAvatarParser.cpp core/uVT52Parser.cpp core/uAsciiParser.cpp
// fuzz-sources: core/uViewdataParser.cpp core/uPetsciiParser.cpp
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "core/uAsciiParser.h"
#include "core/uAvatarParser.h"
#include "core/uPetsciiParser.h"
#include "core/uTerminalBuffer.h"
#include "core/uVT52Parser.h"
#include "core/uViewdataParser.h"

namespace {

std::unique_ptr<TTextEmulation> Make(uint8_t Kind, TTerminalBuffer& B) {
  switch (Kind % 6) {
    case 0: return std::make_unique<TAvatarParser>(B);
    case 1: return std::make_unique<TVT52Parser>(B);
    case 2: return std::make_unique<TAsciiParser>(B);
    case 3: return std::make_unique<TViewdataParser>(B);
    case 4: {
      auto p = std::make_unique<TPetsciiParser>(B, TPetsciiParser::pmPetscii);
      p->LenientLetters = (Kind & 0x40) != 0;
      p->OnCharsetChange = [](bool) {};
      return p;
    }
    default: {
      auto p = std::make_unique<TPetsciiParser>(B, TPetsciiParser::pmAtascii);
      p->LenientCRLF = (Kind & 0x40) != 0;
      return p;
    }
  }
}

void CheckGrid(const TTerminalBuffer& B) {
  if (B.CursorX < 0 || B.CursorX >= B.FWidth || B.CursorY < 0 || B.CursorY >= B.FHeight) abort();
  if (int(B.Rows.size()) != B.FHeight) abort();
  for (const TCellRow& r : B.Rows)
    if (int(r.size()) != B.FWidth) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size < 6) return 0;
  TTerminalBuffer buffer(1 + Data[1] % 100, 1 + Data[2] % 40);
  if (Data[0] & 0x80) buffer.SetReservedRows(1);
  std::unique_ptr<TTextEmulation> emulation = Make(Data[0], buffer);
  const size_t half = 6 + (Size - 6) / 2;
  for (size_t i = 6; i < Size; ++i) {
    if (i == half) {
      buffer.Resize(1 + Data[3] % 100, 1 + Data[4] % 40);
      if (Data[5] & 1) emulation->Reset();
    }
    emulation->Feed(Data[i]);
    CheckGrid(buffer);
  }
  return 0;
}
