// Strict base64 (RFC 4648 alphabet) for the payloads of in-band images and
// sounds: blanks and line breaks are skipped anywhere, nothing else foreign is
// accepted, and no data may follow padding.
#pragma once
#include <cstdint>
#include <string_view>
#include <vector>

// False (and Bytes empty) on a foreign character, data after "=", or a single
// leftover value at the end.
bool Base64Decode(std::string_view s, std::vector<uint8_t>& bytes);
