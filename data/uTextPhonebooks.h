// Three line-oriented text phonebooks: Qodem's phonebook ([entry] blocks of
// key=value lines), MagiTerm's dialing directory (an ini-like list) and a
// PuTTY sessions export in Windows registry-file form. Each recognises its
// format by a marker and appends one entry per complete board.
#pragma once
#include <cstdint>
#include <string_view>

#include "data/uPhonebook.h"

// Data is the file's bytes; the result is the number of entries appended.
int32_t ImportQodemData(TPhonebook& book, std::string_view data);
int32_t ImportMagiTermData(TPhonebook& book, std::string_view data);
int32_t ImportPuTTYData(TPhonebook& book, std::string_view data);
