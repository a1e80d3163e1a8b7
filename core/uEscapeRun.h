// The plain run of a byte filter that acts only on escape sequences with
// certain introducers (ESC P for Sixel, ESC ] for OSC strings) and hands
// every other byte, and every other ESC with the byte after it, on
// unchanged.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/uControlChars.h"

// How many leading bytes of Data such a filter in its ground state hands on
// unchanged without noting them: text, and ESC pairs whose second byte
// Opens() does not take. It stops before an ESC that Opens() takes and
// before an ESC that ends Data, whose second byte is still to come.
template <class Opens>
size_t PassedEscapeRun(const uint8_t* data, size_t count, Opens opens) {
  size_t at = 0;
  while (at < count) {
    const void* esc = std::memchr(data + at, cc::ESC, count - at);
    if (!esc) return count;
    const size_t p = size_t(static_cast<const uint8_t*>(esc) - data);
    if (p + 1 >= count || opens(data[p + 1])) return p;
    at = p + 2;
  }
  return count;
}
