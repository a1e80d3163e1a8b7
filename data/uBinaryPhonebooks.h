// The fixed-layout binary phonebooks of NetRunner (a signed header, then
// records of eight length-prefixed texts) and mTelnet (headerless records of
// 197 bytes). Every text is taken byte for byte and never read past its slot;
// one entry is appended per record that has a name.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "data/uPhonebook.h"

// Data is the file's bytes; the result is the number of entries appended.
int32_t ImportNetRunnerData(TPhonebook& book, std::string_view data);
int32_t ImportMTelnetData(TPhonebook& book, std::string_view data);

// Host := Text; but when Text ends in a colon followed by nothing but decimal
// digits worth 1 to 65535, Host is the part before that (last) colon and Port
// that value. Otherwise Port keeps its value.
void SplitHostPort(std::string_view text, std::string& host, uint16_t& port);
