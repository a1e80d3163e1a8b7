// The Telnet form against a scripted board on a loopback socket: the opening
// offers, every negotiation reply, subnegotiations, the receive machine's
// handling of IAC and CR NUL, and what the client puts on the wire.
#include <thread>

#include "TelnetFixture.h"

using namespace telnettest;
using testsupport::HexText;

namespace {

struct TStep {
  enum TKind { Board, Type, Resize, Reply, Quiet } Kind;
  Bytes Data;
  uint16_t Cols = 0, Rows = 0;
};
TStep Board(Bytes b) { return {TStep::Board, std::move(b)}; }
TStep Board(const std::string& s) { return {TStep::Board, ToBytes(s)}; }
TStep Type(const std::string& s) { return {TStep::Type, ToBytes(s)}; }
TStep Resize(uint16_t c, uint16_t r) { return {TStep::Resize, {}, c, r}; }
TStep Reply(Bytes b) { return {TStep::Reply, std::move(b)}; }
TStep Quiet() { return {TStep::Quiet, {}}; }

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

const Bytes kTtypeSend = {0xFF, 0xFA, 0x18, 0x01, 0xFF, 0xF0};
const Bytes kTtypeIs = Join({{0xFF, 0xFA, 0x18, 0x00}, ToBytes("ansi-bbs"), {0xFF, 0xF0}});
const Bytes kDoNaws = {0xFF, 0xFD, 0x1F};
const Bytes kSize80x25 = {0xFF, 0xFA, 0x1F, 0x00, 0x50, 0x00, 0x19, 0xFF, 0xF0};

struct TRow {
  const char* Name;
  std::vector<TStep> Steps;
  std::string Data;  // payload the application must receive
};

const TRow kRows[] = {
    {"DoNawsNeverOfferedGetsWillAndSizeThenOnlyTheSize",
     {Board(kDoNaws), Reply(Join({{0xFF, 0xFB, 0x1F}, kSize80x25})), Board(kDoNaws), Reply(kSize80x25)},
     ""},
    {"TerminalTypeGivenEveryTimeItIsAsked", {Board(kTtypeSend), Reply(kTtypeIs), Board(kTtypeSend), Reply(kTtypeIs)}, ""},
    {"AgreementToOurOwnOffersGetsNoReply",
     {Board(Bytes{0xFF, 0xFB, 0x03, 0xFF, 0xFD, 0x03, 0xFF, 0xFB, 0x00, 0xFF, 0xFD, 0x00, 0xFF, 0xFB, 0x01, 0xFF,
                  0xFD, 0x18}),
      Quiet()},
     ""},
    {"DontForAnOptionWeOfferedGetsNoReply", {Board(Bytes{0xFF, 0xFE, 0x03}), Quiet()}, ""},
    {"UnknownOptionsAreRefusedBothWays",
     {Board(Bytes{0xFF, 0xFD, 0x05, 0xFF, 0xFB, 0x05}), Reply({0xFF, 0xFC, 0x05, 0xFF, 0xFE, 0x05})},
     ""},
    {"ServerWithdrawingAnOptionIsAcknowledged",
     {Board(Bytes{0xFF, 0xFB, 0x01}), Quiet(), Board(Bytes{0xFF, 0xFC, 0x01}), Reply({0xFF, 0xFE, 0x01})},
     ""},
    {"ServerRevokingOurOptionIsAcknowledged",
     {Board(Bytes{0xFF, 0xFD, 0x03}), Quiet(), Board(Bytes{0xFF, 0xFE, 0x03}), Reply({0xFF, 0xFC, 0x03})},
     ""},
    {"CommandSplitAcrossReads",
     {Board(Bytes{0xFF}), Board(Bytes{0xFD}), Board(Bytes{0x1F}), Reply(Join({{0xFF, 0xFB, 0x1F}, kSize80x25}))},
     ""},
    {"ResizeWhileNawsIsOffWaitsForDoNawsThenGoesAtOnce",
     {Resize(100, 40), Quiet(), Board(kDoNaws),
      Reply({0xFF, 0xFB, 0x1F, 0xFF, 0xFA, 0x1F, 0x00, 0x64, 0x00, 0x28, 0xFF, 0xF0}),
      // 255 rows: the FF data byte is doubled inside the subnegotiation.
      Resize(132, 255), Reply({0xFF, 0xFA, 0x1F, 0x00, 0x84, 0x00, 0xFF, 0xFF, 0xFF, 0xF0})},
     ""},
    {"OverlongSubnegotiationKeepsItsStartAndEndsAtSE",
     {Board(Join({{0xFF, 0xFA, 0x18, 0x01}, Bytes(300, 'x'), {0xFF, 0xF0}, ToBytes("ok")})), Reply(kTtypeIs)},
     "ok"},
    {"DoubledIacIsOneFFInDataAndInsideSubnegotiation",
     {Board(Bytes{'a', 0xFF, 0xFF, 'b', 0xFF, 0xFA, 0x18, 0x01, 0xFF, 0xFF, 0xFF, 0xF0}), Reply(kTtypeIs)},
     "a\xFF"
     "b"},
    {"OtherCommandsAreSwallowedWithTheirByte", {Board(Bytes{'a', 0xFF, 0xF1, 'b', 0xFF, 0xF9, 'c'})}, "abc"},
    {"MalformedSubnegotiationIsAbandoned", {Board(Bytes{0xFF, 0xFA, 0x18, 0xFF, 'x', 'y'}), Quiet()}, "y"},
    {"CrNulFromTheServerIsABareCr", {Board(std::string("a\r\0b\r\n", 6))}, "a\rb\r\n"},
    {"CrNulSplitAcrossReads", {Board("a\r"), Board(std::string("\0b", 2))}, "a\rb"},
    {"NulAfterCrIsKeptWhenTheServerSendsBinary",
     {Board(Bytes{0xFF, 0xFB, 0x00}), Quiet(), Board(std::string("a\r\0b", 4))},
     std::string("a\r\0b", 4)},
    {"SentCrCarriesNulUntilDoBinaryAndAgainAfterDontBinary",
     {Type("x\r\n\xFF"), Reply({'x', '\r', 0, '\n', 0xFF, 0xFF}), Board(Bytes{0xFF, 0xFD, 0x00}), Quiet(),
      Type("\r"), Reply({'\r'}), Board(Bytes{0xFF, 0xFE, 0x00}), Reply({0xFF, 0xFC, 0x00}), Type("\r"),
      Reply({'\r', 0})},
     ""},
};

void PrintTo(const TRow& row, std::ostream* os) { *os << row.Name; }

class TelnetNegotiationTest : public TelnetFixture, public ::testing::WithParamInterface<TRow> {};

}  // namespace

TEST_P(TelnetNegotiationTest, BoardScript) {
  const TRow& row = GetParam();
  testsupport::LoopbackListener board;
  TCall call(DialTelnet(board.Port(), "ansi-bbs", 80, 25));
  auto peer = board.Accept();
  ASSERT_TRUE(peer);
  ASSERT_TRUE(call.WaitConnected());
  EXPECT_EQ(call.Log->Events.front().Text, "Connected to 127.0.0.1");
  Bytes offers = ReadServing(*peer, kOffers.size());
  ASSERT_EQ(HexText(offers), HexText(kOffers));

  for (size_t i = 0; i < row.Steps.size(); ++i) {
    const TStep& step = row.Steps[i];
    SCOPED_TRACE("step " + std::to_string(i));
    switch (step.Kind) {
      case TStep::Board:
        ASSERT_TRUE(peer->Write(step.Data));
        testsupport::ServeFor(30);  // separate reads for separate writes
        break;
      case TStep::Type:
        call.Client->SendBytes(step.Data.data(), int(step.Data.size()));
        break;
      case TStep::Resize:
        call.Client->SetWindowSize(step.Cols, step.Rows);
        break;
      case TStep::Reply:
        EXPECT_EQ(HexText(ReadServing(*peer, step.Data.size())), HexText(step.Data));
        break;
      case TStep::Quiet:
        EXPECT_EQ(HexText(ReadAllServing(*peer, 150)), "");
        break;
    }
  }
  testsupport::ServeUntil([&] { return call.Log->Data.size() >= row.Data.size(); }, 2000);
  testsupport::ServeFor(50);
  EXPECT_EQ(HexText(ToBytes(call.Log->Data)), HexText(ToBytes(row.Data)));
  EXPECT_EQ(call.Log->EmptyDataChunks, 0);

  call.Client->Disconnect();
  ASSERT_TRUE(call.WaitDisconnected());
  EXPECT_EQ(call.Log->Sequence().rfind("disconnected"), call.Log->Sequence().size() - 12) << call.Log->Sequence();
  EXPECT_EQ(call.Log->DisconnectText(), "Disconnected");
  EXPECT_FALSE(call.Client->RemoteClosed);
  EXPECT_TRUE(call.WaitFreed());
}

INSTANTIATE_TEST_SUITE_P(Rows, TelnetNegotiationTest, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<TRow>& info) { return std::string(info.param.Name); });

TEST_F(TelnetFixture, BytesSentCountsPayloadBeforeEscaping) {
  testsupport::LoopbackListener board;
  TCall call(DialTelnet(board.Port()));
  auto peer = board.Accept();
  ASSERT_TRUE(peer);
  ASSERT_TRUE(call.WaitConnected());
  ReadServing(*peer, kOffers.size());
  call.Client->SendString("\xFF\r\xFF");
  EXPECT_EQ(HexText(ReadServing(*peer, 6)), "FF FF 0D 00 FF FF");
  EXPECT_EQ(call.Client->BytesSent.load(), 3);
  call.Client->Disconnect();
  EXPECT_TRUE(call.WaitFreed());
}
