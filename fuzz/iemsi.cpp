// Feeds arbitrary bytes to the IEMSI detector. Text without "EMSI_" in it
// must come out exactly as it went in (once released by a final byte), and
// nothing may ever come out that did not go in.
// fuzz-sources: net/uIEMSI.cpp net/uCrc.cpp
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "net/uIEMSI.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TIEMSIResponder r;
  std::vector<uint8_t> out;
  for (size_t i = 0; i < size; ++i) r.ProcessByte(data[i], out);
  if (out.size() > size) std::abort();
  std::string in(reinterpret_cast<const char*>(data), size);
  if (in.find("EMSI_") == std::string::npos) {
    r.ProcessByte('!', out);  // releases whatever a lone "*" or "**EM.." held
    in += '!';
    if (std::string(out.begin(), out.end()) != in) std::abort();
  }
  return 0;
}
