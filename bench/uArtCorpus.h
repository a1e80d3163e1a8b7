// A corpus of real ANSI art for the benchmarks: the art pieces shipped with
// ansilove (package ansilove), each from a cleared screen, repeated to the
// size asked for. The SAUCE record at a piece's end is not for the screen
// and is left out.
#pragma once
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

inline constexpr const char* kArtFolder = "/usr/share/doc/ansilove/examples";

// The pieces, each starting with a reset, a clear and a home.
inline std::vector<std::string> ArtPieces() {
  std::vector<std::string> pieces;
  std::error_code ec;
  std::vector<std::filesystem::path> files;
  for (const auto& d : std::filesystem::recursive_directory_iterator(kArtFolder, ec)) {
    std::string ext = d.path().extension().string();
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    if (ext == ".ans") files.push_back(d.path());
  }
  std::sort(files.begin(), files.end());  // the same order on every machine
  for (const auto& path : files) {
    std::ifstream in(path, std::ios::binary);
    std::string art((std::istreambuf_iterator<char>(in)), {});
    const size_t sauce = art.find('\x1a');
    if (sauce != std::string::npos) art.resize(sauce);
    pieces.push_back("\x1b[0m\x1b[2J\x1b[H" + art);
  }
  return pieces;
}

// The pieces one after another, round and round, to at least Size bytes;
// the program ends with a message when there is no art.
inline std::string ArtCorpus(size_t size) {
  const std::vector<std::string> pieces = ArtPieces();
  if (pieces.empty()) {
    std::fprintf(stderr, "no ANSI art found under %s (package ansilove)\n", kArtFolder);
    std::exit(1);
  }
  std::string out;
  out.reserve(size + 65536);
  for (size_t i = 0; out.size() < size; ++i) out += pieces[i % pieces.size()];
  return out;
}
