// IcyTerm's phonebook: a TOML document with one [[addresses]] table per
// board. Reads the practical subset of TOML that phonebook uses, line by line
// (strings of every kind; arrays and inline tables skipped whole), turns its
// UTF-8 text into CP437 and maps IcyTerm's protocol, terminal and screen-mode
// names onto entry settings.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "data/uPhonebook.h"

// One board as read, every field at its value before any key is read.
struct TIcyRec {
  std::string system_name;
  std::string address;
  std::string protocol = "Telnet";
  std::string terminal_type = "Ansi";
  std::string screen_mode = "Vga(80, 25)";
  std::string user_name;
  std::string password;
  std::string comment;
  std::string auto_login;
  std::string ssh_private_key;
  std::string baud_emulation;
  bool ice_mode = false;
};

// Data is the file's bytes; the result is the number of entries appended.
int32_t ImportIcyTermData(TPhonebook& book, std::string_view data);

// The escapes of a TOML basic string on text already in CP437: \n and \t
// become a blank, \b \f \r nothing, \uXXXX and \UXXXXXXXX the character in
// CP437, any other escaped character itself.
std::string UnescapeTomlString(std::string_view text);
// "host", "host:port", "[v6]:port", "scheme://host:port/path"; Port is 0
// when the address gives none (or no number).
void ParseIcyAddress(std::string_view text, std::string& host, uint16_t& port);
