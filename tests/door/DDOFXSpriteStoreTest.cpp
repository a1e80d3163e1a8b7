// The door's sprite store through the engine's commands: sprites written to
// a .DAT/.RAW pair in the asset folder and read back, the pair deleted on
// request, and .DAT files that claim more than is there or more than a
// sprite may hold.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "door/uDDOFXSpriteStore.h"
#include "tests/door/DDOFXGfxHarness.h"

namespace {

using ddofxgfxtest::TGfxHarness;
using testsupport::ReadWholeFile;

class SpriteStoreTest : public ::testing::Test {
 protected:
  SpriteStoreTest() { H.Run("LIGMODE"); }
  void Add(const std::string& name, int w, int h, const std::string& pixels) {
    auto s = std::make_unique<TGfxSprite>();
    s->Name = name;
    s->Width = w;
    s->Height = h;
    s->Pixels.assign(pixels.begin(), pixels.end());
    H.Gfx->SpriteNames.emplace(name, int(H.Gfx->Sprites.size()));
    H.Gfx->Sprites.push_back(std::move(s));
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& s : H.Gfx->Sprites) names.push_back(s->Name);
    return names;
  }
  bool Exists(const std::string& name) const { return std::filesystem::exists(H.Assets.File(name)); }

  TGfxHarness H;
};

TEST_F(SpriteStoreTest, SpritesGoToAFilePairAndComeBack) {
  Add("DOOR", 2, 2, "abcd");
  Add("EMPTY", 0, 0, "");
  Add("BAR", 3, 1, "xyz");
  H.Run("2STORES, ../elsewhere/Store ");
  EXPECT_EQ(ReadWholeFile(H.Assets.File("Store.DAT")), "DOOR,2,2\r\nEMPTY,0,0\r\nBAR,3,1\r\n")
      << "only the file-name part: the pair lands in the asset folder";
  EXPECT_EQ(ReadWholeFile(H.Assets.File("Store.RAW")), "abcdxyz");
  EXPECT_FALSE(std::filesystem::exists(H.Assets.Path() + "../elsewhere"));
  EXPECT_TRUE(H.Logged("stored 3 sprites as ../elsewhere/Store.DAT/.RAW"));

  H.Gfx->FreeSprites();
  Add("OTHER", 1, 1, "o");
  H.Run("2LOADS,0,STORE");
  EXPECT_EQ(Names(), (std::vector<std::string>{"DOOR", "EMPTY", "BAR"})) << "the whole set is replaced";
  EXPECT_EQ(H.Gfx->FindSprite("bar"), 2);
  const auto& bar = *H.Gfx->Sprites[2];
  EXPECT_EQ(std::string(bar.Pixels.begin(), bar.Pixels.end()), "xyz");
  EXPECT_EQ(bar.Width, 3);
  EXPECT_EQ(H.Gfx->SpriteBytes, 7u) << "the engine's count of sprite bytes follows the load";
  EXPECT_TRUE(Exists("Store.DAT") && Exists("Store.RAW")) << "kept without the delete flag";
  H.Run("2LOADS,1,Store");
  EXPECT_EQ(H.Gfx->Sprites.size(), 3u);
  EXPECT_FALSE(Exists("Store.DAT") || Exists("Store.RAW")) << "deleted with flag 1";
  EXPECT_TRUE(H.Logged("loaded 3 sprites from Store"));

  // A store of no sprites makes an empty pair; loading it removes them all.
  H.Gfx->FreeSprites();
  H.Run("2STORES,none");
  EXPECT_EQ(ReadWholeFile(H.Assets.File("none.DAT")), "");
  Add("GONE", 1, 1, "g");
  H.Run("2LOADS,0,none");
  EXPECT_TRUE(H.Gfx->Sprites.empty());
  H.Run("2LOADS,0,missing");
  EXPECT_TRUE(H.Gfx->Sprites.empty()) << "a missing pair changes nothing";
}

TEST_F(SpriteStoreTest, WhatTheDatClaimsIsBoundedByTheLimitsAndTheRawBytes) {
  const struct Row {
    const char* Name;
    std::string Dat, Raw;
    std::vector<std::string> Loaded;
    const char* Log;  // "" when loading succeeds
  } rows[] = {
      {"a width of 0 takes no bytes", "Z,0,5\r\nA,1,1\r\n", "q", {"Z", "A"}, ""},
      {"names that differ in case", "aa,1,1\r\nAA,1,1\r\n", "12", {"AA", "AA"}, ""},
      {"short lines are skipped", "junk\r\nA,1,1\r\n", "q", {"A"}, ""},
      {"a quoted name may hold commas", "\"Q,X\",1,1\r\n", "q", {"Q,X"}, ""},
      {"not a number reads as 0", "N,wide,3\r\nA,1,1\r\n", "q", {"N", "A"}, ""},
      {"huge", "OK,1,1\r\nBIG,100000,100000\r\n", std::string(100, 'p'), {"OK"},
       "2LOADS failed: sprite \"BIG\" claims 100000 x 100000 pixels"},
      {"over the pixel cap", "BIG,320,201\r\n", std::string(320 * 201, 'p'), {}, "claims 320 x 201 pixels"},
      {"wider than a page", "BIG,641,1\r\n", std::string(641, 'p'), {}, "claims 641 x 1 pixels"},
      {"negative", "NEG,-5,-5\r\n", std::string(25, 'p'), {}, "claims -5 x -5 pixels"},
      {"raw ends early", "A,2,2\r\nB,2,2\r\n", "123456", {"A"}, "ends before sprite \"B\""},
  };
  for (const Row& r : rows) {
    H.LogLines.clear();
    testsupport::WriteWholeFile(H.Assets.File("T.DAT"), r.Dat);
    testsupport::WriteWholeFile(H.Assets.File("T.RAW"), r.Raw);
    H.Run("2LOADS,1,t");
    EXPECT_EQ(Names(), r.Loaded) << r.Name;
    if (*r.Log) {
      EXPECT_TRUE(H.Logged(r.Log)) << r.Name;
      EXPECT_TRUE(Exists("T.DAT") && Exists("T.RAW")) << r.Name << ": a failed load deletes nothing";
    } else {
      EXPECT_FALSE(Exists("T.DAT")) << r.Name;
    }
  }

  // A .DAT larger than the store reads is refused whole; the sprites stay.
  testsupport::WriteWholeFile(H.Assets.File("T.DAT"), "A,1,1\r\nB,1,1\r\n");
  testsupport::WriteWholeFile(H.Assets.File("T.RAW"), "ab");
  H.Run("2LOADS,0,T");
  testsupport::WriteWholeFile(H.Assets.File("T.DAT"), std::string(ddofxspritestore::kMaxDatBytes + 1, '\n'));
  H.Run("2LOADS,0,T");
  EXPECT_EQ(Names(), (std::vector<std::string>{"A", "B"}));
  EXPECT_TRUE(H.Logged("is larger than"));

  // Too many sprites: the count is bounded before they are made.
  std::string many;
  for (size_t i = 0; i <= ddofxgfx::kMaxSprites; ++i) many += "S,0,0\r\n";
  testsupport::WriteWholeFile(H.Assets.File("T.DAT"), many);
  H.Run("2LOADS,0,T");
  EXPECT_EQ(H.Gfx->Sprites.size(), ddofxgfx::kMaxSprites);
  EXPECT_TRUE(H.Logged("more than 65536 sprites"));
}

TEST_F(SpriteStoreTest, NamesThatAreNoFileNamesAreRefused) {
  Add("A", 1, 1, "a");
  for (const char* name : {"2STORES,..", "2STORES,a\x01z", "2STORES,C:x"}) {
    H.LogLines.clear();
    H.Run(name);
    EXPECT_TRUE(H.Logged("2STORES failed: refused name")) << name;
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(H.Assets.Path()), {}), 0);
}

}  // namespace
