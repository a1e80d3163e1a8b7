// The command line of a local door program and the bridge its setting asks
// for. A command line is split into words first and the placeholders are
// filled in afterwards, inside their word: a host, user name or password
// holding blanks, quotes or shell characters stays one argument and is never
// read as a command.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

class TPhonebookEntry;

// The argument vector of Template: its words (blanks separate them, double
// quotes group blanks into one), in each of them every "%HOST%", "%PORT%",
// "%USER%" and "%PASSWORD%" (in any letter case, in this order) replaced by
// the entry's host, port, user name and password. Without an entry the words
// keep their placeholders.
std::vector<std::string> ExpandDoorCommand(const std::string& templ, const TPhonebookEntry* entry);

// The loopback TCP port a ComPort setting names ("TCP:7000", "tcp:7000" or a
// bare "7000"), or 0 when it names none (a serial device then).
uint16_t ParseTcpBridgePort(const std::string& setting);
