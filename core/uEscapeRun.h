// The plain run of a byte filter that acts only on escape sequences with
// certain introducers (ESC P for Sixel, ESC ] for OSC strings) and hands
// every other byte, and every other ESC with the byte after it, on
// unchanged.
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "core/uControlChars.h"

// How many leading bytes of Data such a filter in its ground state hands on
// unchanged without noting them: text, and ESC pairs whose second byte is
// not one of Introducers. It stops before an ESC followed by an introducer
// and before an ESC that ends Data, whose second byte is still to come.
// The ESCs pair up from the first of each row of them, so an introducer
// opens a sequence when an odd row of ESCs stands before it. The
// introducers are looked for, not every ESC: art has an ESC every few bytes.
inline size_t PassedEscapeRun(const uint8_t* data, size_t count, std::initializer_list<uint8_t> introducers) {
  // Whether the row of ESCs ending just before At is odd.
  auto oddEscapesBefore = [data](size_t at) {
    size_t n = 0;
    while (n < at && data[at - 1 - n] == cc::ESC) ++n;
    return n % 2 == 1;
  };
  size_t stop = count > 0 && oddEscapesBefore(count) ? count - 1 : count;
  for (uint8_t introducer : introducers) {
    // An introducer at I opens at I - 1, so only I <= Stop can end the run earlier.
    for (size_t from = 1; from <= stop && from < count;) {
      const void* hit = std::memchr(data + from, introducer, std::min(stop + 1, count) - from);
      if (!hit) break;
      const size_t at = size_t(static_cast<const uint8_t*>(hit) - data);
      if (data[at - 1] == cc::ESC && oddEscapesBefore(at)) {
        stop = at - 1;
        break;
      }
      from = at + 1;
    }
  }
  return stop;
}
