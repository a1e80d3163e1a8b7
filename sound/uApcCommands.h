// The SyncTERM APC audio command language, read without acting on it: a
// string "SyncTERM:A;" verb ";" items or "SyncTERM:C;S;" name ";" base64
// becomes one command, or the log line that says why it is dropped. The
// engine (uApcAudio) carries the commands out.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Gains in dB outside this range are brought to its ends.
inline constexpr double kApcMinDb = -96.0, kApcMaxDb = 24.0;

struct TApcCommand {
  enum TKind { acNone, acStore, acLoad, acQueue, acFlush, acUpdate };
  TKind Kind = acNone;
  std::string Name;     // Store, Load
  std::string Payload;  // Store: the base64 text
  int Slot = -1;        // Load, Queue
  int Channel = -1;     // Queue, Flush (Flush: -1 when missing)
  double Left = 1.0, Right = 1.0;  // Queue: linear gains
  std::string Error;    // acNone: the log line, empty when dropped silently
};

// Reads one queued string (which begins "SyncTERM:").
TApcCommand ParseApcCommand(const std::string& item);

// The items of an argument text, split at every ';'.
std::vector<std::string> SplitApcArgs(const std::string& text);
// The value of the first item "Key=value" (a "dB" suffix and what follows
// cut off), read as a decimal number with '.' as decimal point; Default when
// there is no such item or its value is not a finite number.
double ApcParam(const std::vector<std::string>& items, const std::string& key, double def);
// The nearest integer, halves to even; Default when out of range.
int ApcRound(double value, int def);
// 10 ^ (dB / 20), with dB brought into the sane range first.
double DbToGain(double db);
// Gained copy of 16-bit samples: odd samples of a stereo clip take the right
// gain, all others the left; limited to the 16-bit range, halves to even.
std::vector<uint8_t> ApplyGain(const std::vector<uint8_t>& samples, int channels, double left, double right);
