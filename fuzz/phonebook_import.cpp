// Foreign phonebooks come from other programs and from anywhere on disk: any
// bytes must go through the import driver and every reader without a fault,
// each reader appending exactly the entries it counts, and the text helpers
// must take any input.
// fuzz-sources: data/uPhonebookImport.cpp data/uSyncTermList.cpp data/uBinaryPhonebooks.cpp
// fuzz-sources: data/uIcyTermImport.cpp data/uTextPhonebooks.cpp
// fuzz-sources: data/uIniFile.cpp data/uPhonebook.cpp data/uDateTime.cpp data/uConfig.cpp
// fuzz-sources: core/uUtf8Cp437.cpp core/uFileReplace.cpp core/uDebugLog.cpp platform/Tick.cpp platform/AppFolder.cpp
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "data/uBinaryPhonebooks.h"
#include "core/uUtf8Cp437.h"
#include "data/uIcyTermImport.h"
#include "data/uPhonebookImport.h"
#include "data/uSyncTermList.h"
#include "data/uTextPhonebooks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  const std::string_view data(reinterpret_cast<const char*>(bytes), size);
  using TReaderFn = int32_t (*)(TPhonebook&, std::string_view);
  for (TReaderFn reader : {ImportNetRunnerData, ImportIcyTermData, ImportMagiTermData, ImportQodemData,
                           ImportSyncTermData, ImportPuTTYData, ImportMTelnetData}) {
    TPhonebook book("unused.ini");
    book.Add();
    if (reader(book, data) != book.Count() - 1) std::abort();
  }
  TPhonebook book("unused.ini");
  std::string source;
  const int32_t count = ImportFromData(book, data, source);
  if (count != book.Count() || (count > 0) == source.empty()) std::abort();

  std::string host;
  uint16_t port = 23;
  SplitHostPort(data, host, port);
  ParseIcyAddress(data, host, port);
  UnescapeTomlString(Utf8ToCp437(data));
  std::string storage;
  ImportText(data, storage);
  return 0;
}
