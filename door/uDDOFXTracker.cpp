// Row and tick playback of the door tracker: the mixer calls TickDriver once
// per tick (under the engine's lock); tick 0 of a row starts its notes and
// row effects, the other ticks run the slides, vibratos and retriggers of
// both formats, and the position steps through rows and orders, looping
// the song for ever.
#include <algorithm>
#include <cmath>

#include "door/uDDOFXAudio.h"

namespace {

constexpr int kS3mOctave[12] = {1712, 1616, 1524, 1440, 1356, 1280, 1208, 1140, 1076, 1016, 960, 907};
// Half a period of the vibrato and tremolo sine.
constexpr int kSine[32] = {0,   24,  49,  74,  97,  120, 141, 161, 180, 197, 212, 224, 235, 244, 250, 253,
                           255, 253, 250, 244, 235, 224, 212, 197, 180, 161, 141, 120, 97,  74,  49,  24};
constexpr int kRows = 64;
constexpr double kModMinPeriod = 113, kModMaxPeriod = 1712;

// S3M effect letters as stored (A = 1).
enum : uint8_t {
  sA = 1, sB, sC, sD, sE, sF, sG, sH, sI, sJ, sK, sL, sM, sN, sO, sP, sQ, sR, sS, sT, sU, sV, sW, sX, sY, sZ
};

int Waveform(int type, int pos) {
  pos &= 63;
  switch (type & 3) {
    case 0: return pos < 32 ? kSine[pos & 31] : -kSine[pos & 31];
    case 1: {
      const int v = 255 - pos * 8;
      return pos < 32 ? v : -v;
    }
    case 2: return pos < 32 ? 255 : -255;
    default: return kSine[pos & 31];
  }
}

bool S3mKeepsMemory(uint8_t effect) {
  switch (effect) {
    case sD: case sE: case sF: case sI: case sJ: case sK: case sL: case sQ: case sR: case sS: return true;
    default: return false;
  }
}

void SlideVolume(TModChannel& ch, int param) {
  const int x = param >> 4, y = param & 15;
  if (x > 0)
    ch.Volume = std::min(ch.Volume + x, 64);
  else
    ch.Volume = std::max(ch.Volume - y, 0);
  ch.BaseVolume = ch.Volume;
}

}  // namespace

double TDDOFXAudio::PeriodFor(int note, int sample) const {
  if (!FIsS3m) {
    const int finetune = sample >= 1 && sample < int(FSamples.size()) ? FSamples[size_t(sample)].Finetune : 0;
    return 856.0 * std::pow(2.0, (25 - note) / 12.0) * std::pow(2.0, -finetune / 96.0);
  }
  const int c2 = sample >= 1 && sample < int(FSamples.size()) ? FSamples[size_t(sample)].C2Spd : 0;
  const double period = 133808.0 * kS3mOctave[(note - 1) % 12] / std::pow(2.0, (note - 1) / 12);
  return period / (c2 > 0 ? c2 : 8363);
}

void TDDOFXAudio::SetPatternDelay(int y) {
  if (FPatternDelay == 0) FPatternDelay = y;
}

void TDDOFXAudio::PatternLoop(TModChannel& ch, int y) {
  if (y == 0) {
    ch.LoopRow = FRow;
    return;
  }
  if (ch.LoopCount != 0)
    --ch.LoopCount;
  else
    ch.LoopCount = y;
  if (ch.LoopCount > 0) {
    FJumpOrder = FOrderPos;
    FBreakRow = ch.LoopRow;
  }
}

void TDDOFXAudio::RowNote(TModChannel& ch, const TModNote& cell, bool porta) {
  const int samples = int(FSamples.size()) - 1;
  if (cell.Sample >= 1 && cell.Sample <= samples) {
    if (!(porta && ch.Sample != 0)) ch.Sample = cell.Sample;
    ch.Volume = ch.BaseVolume = FSamples[cell.Sample].Volume;
  }
  if (cell.Note == 254) {
    CutToTails(ch);
    ch.Active = false;
    return;
  }
  if (cell.Note >= 1 && cell.Note <= 120 && ch.Sample >= 1 && ch.Sample <= samples) {
    ch.Peak = 1.0;
    ch.LastNote = cell.Note;
    if (porta && ch.Active) {
      ch.TargetPeriod = PeriodFor(cell.Note, ch.Sample);
    } else {
      ch.Period = ch.BasePeriod = ch.TargetPeriod = PeriodFor(cell.Note, ch.Sample);
      CutToTails(ch);
      ch.Position = 0;
      ch.Ramp = 32;
      ch.Active = FSamples[size_t(ch.Sample)].Length > 0;
      if (!(ch.VibWave & 4)) ch.VibPos = 0;
      ch.TremPos = 0;
    }
  }
  if (cell.Volume <= 64) ch.Volume = ch.BaseVolume = cell.Volume;
}

void TDDOFXAudio::RowEffectsMod(TModChannel& ch) {
  const int p = ch.Param, x = p >> 4, y = p & 15;
  switch (ch.Effect) {
    case 0x0: ch.ArpFirst = x; ch.ArpSecond = y; break;
    case 0x1: case 0x2: if (p) ch.PortaMemory = uint8_t(p); break;
    case 0x3: if (p) ch.PortaSpeed = p; break;
    case 0x4:
      if (x > 0) ch.VibSpeed = x;
      if (y > 0) ch.VibDepth = y;
      break;
    case 0x5: case 0x6: case 0xA: if (p) ch.VolSlideMemory = uint8_t(p); break;
    case 0x7:
      if (x > 0) ch.TremSpeed = x;
      if (y > 0) ch.TremDepth = y;
      break;
    case 0x8: ch.Pan = p; break;
    case 0x9: if (ch.Sample) ch.Position = p * 256.0; break;
    case 0xB:
      FJumpOrder = p;
      if (FBreakRow < 0) FBreakRow = 0;
      break;
    case 0xC: ch.Volume = ch.BaseVolume = std::min(p, 64); break;
    case 0xD:
      if (FJumpOrder < 0) FJumpOrder = FOrderPos + 1;
      FBreakRow = x * 10 + y;
      break;
    case 0xF:
      if (p >= 1 && p <= 31) FSpeed = p;
      else if (p >= 32) FTempo = p;
      break;
    case 0xE1:
      ch.Period = std::max(ch.Period - y, kModMinPeriod);
      ch.BasePeriod = ch.Period;
      break;
    case 0xE2:
      ch.Period = std::min(ch.Period + y, kModMaxPeriod);
      ch.BasePeriod = ch.Period;
      break;
    case 0xE4: ch.VibWave = y; break;
    case 0xE6: PatternLoop(ch, y); break;
    case 0xE8: ch.Pan = y * 17; break;
    case 0xEA: ch.Volume = ch.BaseVolume = std::min(ch.Volume + y, 64); break;
    case 0xEB: ch.Volume = ch.BaseVolume = std::max(ch.Volume - y, 0); break;
    case 0xEC: ch.NoteCutTick = y; break;
    case 0xEE: SetPatternDelay(y); break;
    default: break;
  }
}

void TDDOFXAudio::RowEffectsS3m(TModChannel& ch) {
  const int p = ch.Param, x = p >> 4, y = p & 15;
  switch (ch.Effect) {
    case sA: if (p) FSpeed = p; break;
    case sB:
      FJumpOrder = p;
      if (FBreakRow < 0) FBreakRow = 0;
      break;
    case sC:
      if (FJumpOrder < 0) FJumpOrder = FOrderPos + 1;
      FBreakRow = x * 10 + y;
      break;
    case sD:
      if (y == 15 && x > 0) {
        ch.Volume = ch.BaseVolume = std::min(ch.Volume + x, 64);
      } else if (x == 15 && y > 0) {
        ch.Volume = ch.BaseVolume = std::max(ch.Volume - y, 0);
      }
      break;
    case sE:
      if (x == 15) ch.Period += y * 4;
      else if (x == 14) ch.Period += y;
      ch.BasePeriod = ch.Period;
      break;
    case sF:
      if (x == 15) ch.Period -= y * 4;
      else if (x == 14) ch.Period -= y;
      ch.Period = std::max(ch.Period, 1.0);
      ch.BasePeriod = ch.Period;
      break;
    case sG: if (p) ch.PortaSpeed = p; break;
    case sH: case sU:
      if (x > 0) ch.VibSpeed = x;
      if (y > 0) ch.VibDepth = y;
      break;
    case sJ: ch.ArpFirst = x; ch.ArpSecond = y; break;
    case sO: if (ch.Sample) ch.Position = p * 256.0; break;
    case sR:
      if (x > 0) ch.TremSpeed = x;
      if (y > 0) ch.TremDepth = y;
      break;
    case sS:
      switch (x) {
        case 0x3: ch.VibWave = y; break;
        case 0x8: ch.Pan = y * 17; break;
        case 0xB: PatternLoop(ch, y); break;
        case 0xC: ch.NoteCutTick = y; break;
        case 0xE: SetPatternDelay(y); break;
        default: break;
      }
      break;
    case sT: if (p >= 32) FTempo = p; break;
    case sV: FGlobalVolume = std::min(p, 64); break;
    case sX: ch.Pan = p >= 128 ? 255 : p * 2; break;
    default: break;
  }
}

void TDDOFXAudio::AdvanceRow() {
  if (FOrders.empty()) return;
  // An order naming a pattern the module does not have is passed over.
  for (size_t tries = 0;; ++tries) {
    if (FOrderPos < 0 || FOrderPos >= int(FOrders.size())) FOrderPos = 0;
    if (FOrders[size_t(FOrderPos)] < FPatterns.size()) break;
    if (tries >= FOrders.size()) return;
    ++FOrderPos;
    FRow = 0;
  }
  const std::vector<TModNote>& pattern = FPatterns[FOrders[size_t(FOrderPos)]];
  const int row = std::clamp(FRow, 0, kRows - 1);
  for (int c = 0; c < FChannelCount; ++c) {
    TModChannel& ch = FChannels[size_t(c)];
    const TModNote& cell = pattern[size_t(row) * size_t(FChannelCount) + size_t(c)];
    ch.Period = ch.BasePeriod;
    ch.Volume = ch.BaseVolume;
    ch.Effect = cell.Effect;
    ch.Param = cell.Param;
    if (FIsS3m) {
      if (ch.Param == 0 && S3mKeepsMemory(ch.Effect)) ch.Param = ch.LastParam;
      if (cell.Param != 0) ch.LastParam = cell.Param;
    }
    ch.NoteCutTick = ch.NoteDelayTick = 0;
    const bool delayed = FIsS3m ? ch.Effect == sS && (ch.Param >> 4) == 0xD && (ch.Param & 15) != 0
                                : ch.Effect == 0xED && ch.Param != 0;
    if (delayed) {
      ch.DelayedNote = cell;
      ch.NoteDelayTick = ch.Param & 15;
    } else {
      const bool porta = FIsS3m ? ch.Effect == sG || ch.Effect == sL : ch.Effect == 0x3 || ch.Effect == 0x5;
      RowNote(ch, cell, porta);
    }
    if (FIsS3m)
      RowEffectsS3m(ch);
    else
      RowEffectsMod(ch);
  }
}

void TDDOFXAudio::TickEffects(TModChannel& ch) {
  if (ch.NoteCutTick > 0 && ch.NoteCutTick == FTick) {
    CutToTails(ch);
    ch.Volume = ch.BaseVolume = 0;
  }
  const int p = ch.Param, x = p >> 4, y = p & 15;
  const uint8_t e = ch.Effect;
  const bool s3m = FIsS3m;

  if ((!s3m && e == 0x0 && p != 0) || (s3m && e == sJ)) {
    const int offset = FTick % 3 == 0 ? 0 : FTick % 3 == 1 ? ch.ArpFirst : ch.ArpSecond;
    ch.Period = ch.BasePeriod / std::pow(2.0, offset / 12.0);
  }

  if (!s3m && e == 0x1) {
    ch.Period = std::max(ch.Period - ch.PortaMemory, kModMinPeriod);
    ch.BasePeriod = ch.Period;
  } else if (!s3m && e == 0x2) {
    ch.Period = std::min(ch.Period + ch.PortaMemory, kModMaxPeriod);
    ch.BasePeriod = ch.Period;
  } else if (s3m && e == sE && p < 0xE0) {
    ch.Period += p * 4;
    ch.BasePeriod = ch.Period;
  } else if (s3m && e == sF && p < 0xE0) {
    ch.Period = std::max(ch.Period - p * 4, 1.0);
    ch.BasePeriod = ch.Period;
  }

  if (((!s3m && (e == 0x3 || e == 0x5)) || (s3m && (e == sG || e == sL))) && ch.TargetPeriod > 0 && ch.Period > 0) {
    const double speed = ch.PortaSpeed * (s3m ? 4.0 : 1.0);
    if (ch.Period < ch.TargetPeriod)
      ch.Period = std::min(ch.Period + speed, ch.TargetPeriod);
    else if (ch.Period > ch.TargetPeriod)
      ch.Period = std::max(ch.Period - speed, ch.TargetPeriod);
    ch.BasePeriod = ch.Period;
  }

  if ((!s3m && (e == 0x4 || e == 0x6)) || (s3m && (e == sH || e == sK || e == sU))) {
    double delta = double(Waveform(ch.VibWave, ch.VibPos)) * ch.VibDepth / 128.0;
    if (s3m && (e == sH || e == sK)) delta *= 4;
    ch.Period = ch.BasePeriod + delta;
    ch.VibPos = (ch.VibPos + ch.VibSpeed) & 63;
  }

  if (!s3m && (e == 0x5 || e == 0x6 || e == 0xA))
    SlideVolume(ch, ch.VolSlideMemory);
  else if (s3m && (e == sK || e == sL))
    SlideVolume(ch, p);
  else if (s3m && e == sD && !((y == 15 && x > 0) || (x == 15 && y > 0)))
    SlideVolume(ch, p);

  if ((!s3m && e == 0x7) || (s3m && e == sR)) {
    ch.Volume = std::clamp(ch.BaseVolume + Waveform(0, ch.TremPos) * ch.TremDepth / 64, 0, 64);
    ch.TremPos = (ch.TremPos + ch.TremSpeed) & 63;
  }

  if (!s3m && e == 0xE9 && y > 0 && FTick % y == 0) ch.Position = 0;
  if (s3m && e == sQ && y > 0 && FTick % y == 0) {
    ch.Position = 0;
    int v = ch.Volume;
    switch (x) {
      case 1: case 2: case 3: case 4: case 5: v = std::max(v - (1 << (x - 1)), 0); break;
      case 6: v = v * 2 / 3; break;
      case 7: v = v / 2; break;
      case 9: case 10: case 11: case 12: case 13: v = std::min(v + (1 << (x - 9)), 64); break;
      case 14: v = std::min(v * 3 / 2, 64); break;
      case 15: v = std::min(v * 2, 64); break;
      default: break;
    }
    ch.Volume = ch.BaseVolume = v;
  }

  if (ch.NoteDelayTick > 0 && ch.NoteDelayTick == FTick) {
    ch.NoteDelayTick = 0;
    RowNote(ch, ch.DelayedNote, false);
  }
}

void TDDOFXAudio::NextRow() {
  if (FJumpOrder >= 0) {
    FOrderPos = FJumpOrder;
    FRow = std::clamp(FBreakRow, 0, kRows - 1);
    FJumpOrder = FBreakRow = -1;
  } else if (++FRow >= kRows) {
    FRow = 0;
    ++FOrderPos;
  }
  if (FOrderPos >= int(FOrders.size()) || FOrderPos < 0) FOrderPos = 0;
}

void TDDOFXAudio::TickDriver() {
  // A pattern delay of n holds the row for n more rows' worth of ticks, as
  // the formats define it (and as trackers play it): the repeats start no
  // notes and run no row effects again, only the effects of the later ticks.
  if (FTick == 0) {
    if (!FRepeatingRow) AdvanceRow();
  } else {
    for (TModChannel& ch : FChannels) TickEffects(ch);
  }
  ++FTick;
  if (FTick >= FSpeed) {
    FTick = 0;
    if (FPatternDelay > 0) {
      --FPatternDelay;
      FRepeatingRow = true;
      return;
    }
    FRepeatingRow = false;
    NextRow();
  }
}
