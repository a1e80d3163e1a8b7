// Popup boxes drawn over a finished screen straight into the renderer's
// cells (the popup layer): connection terminated, redial question, backup
// reminder, board-list update question and the toast box. They only show
// state; the key dispatcher answers the questions.
#include <algorithm>

#include "app/uApp.h"
#include "app/uScreenText.h"
#include "data/uPhonebook.h"
#include "platform/Tick.h"

namespace {

struct TBoxGeometry {
  int X = 0, Y = 0, W = 0, H = 0;  // W: inner width; the frame is W + 2 wide
};

TBoxGeometry CenteredBox(int cols, int rows, const std::vector<std::string>& lines, int height) {
  size_t longest = 0;
  for (const std::string& s : lines) longest = std::max(longest, s.size());
  TBoxGeometry g;
  g.W = std::min(int(longest) + 4, cols - 4);
  g.H = height;
  g.X = (cols - (g.W + 2)) / 2;
  g.Y = (rows - height) / 2;
  return g;
}

}  // namespace

void TApplication::DrawPopupFrame(int x, int y, int w, int h, TColorRGB face, TColorRGB bevel, bool uiFont,
                                  bool asciiFrame) {
  const uint8_t tl = asciiFrame ? '+' : cp::SingleTL, tr = asciiFrame ? '+' : cp::SingleTR;
  const uint8_t bl = asciiFrame ? '+' : cp::SingleBL, br = asciiFrame ? '+' : cp::SingleBR;
  const uint8_t hz = asciiFrame ? '-' : cp::SingleH, vt = asciiFrame ? '|' : cp::SingleV;
  const uint8_t sideL = asciiFrame ? ':' : cp::HalfLeft, sideR = asciiFrame ? ':' : cp::HalfRight;
  const int right = x + w + 1, bottom = y + h - 1;
  for (int row = y; row <= bottom; ++row) {
    PutPopupCell(x - 1, row, sideL, scr::Black, face, uiFont);
    PutPopupCell(right + 1, row, sideR, scr::Black, face, uiFont);
    for (int col = x; col <= right; ++col) {
      uint8_t ch = ' ';
      TColorRGB fg = scr::White;
      if (row == y) {
        ch = col == x ? tl : col == right ? tr : hz;
        fg = col == right ? bevel : scr::Black;
      } else if (row == bottom) {
        ch = col == x ? bl : col == right ? br : hz;
        fg = col == x ? scr::Black : bevel;
      } else if (col == x) {
        ch = vt;
        fg = scr::Black;
      } else if (col == right) {
        ch = vt;
        fg = bevel;
      }
      PutPopupCell(col, row, ch, fg, face, uiFont);
    }
  }
}

void TApplication::PutCenteredPopupText(int x, int w, int row, const std::string& text, TColorRGB fg, TColorRGB face,
                                        bool uiFont) {
  PutPopupText(x + 1 + (w - int(text.size())) / 2, row, text, fg, face, uiFont);
}

void TApplication::DrawTerminatedBox() {
  const std::string title = "CONNECTION TERMINATED";
  const std::string& reason = FTerminatedText;
  const std::string& summary = FSessionSummary;
  int h = reason.empty() ? 3 : 4;
  if (!summary.empty()) h += 2;
  TBoxGeometry g = CenteredBox(FPopupLayer.Cols, FPopupLayer.Rows, {title, reason, summary}, h);
  DrawPopupFrame(g.X, g.Y, g.W, g.H, scr::FaceBlue, scr::BevelBlue, true, false);
  PutCenteredPopupText(g.X, g.W, g.Y + 1, title, scr::TitleYellow, scr::FaceBlue, true);
  if (!reason.empty()) PutCenteredPopupText(g.X, g.W, g.Y + 2, reason, scr::AlertRed, scr::FaceBlue, true);
  if (!summary.empty())
    PutCenteredPopupText(g.X, g.W, g.Y + g.H - 2, summary.substr(0, size_t(std::max(0, g.W))), scr::White,
                         scr::FaceBlue, true);
}

std::string TApplication::RedialQuestion() const {
  if (!FRedialEntry) return "Redial?  Y/N";
  std::string name = FRedialEntry->Name.empty() ? FRedialEntry->Host : FRedialEntry->Name;
  if (name.size() > 24) name = name.substr(0, 21) + "...";
  return "Redial " + name + "?  Y/N";
}

void TApplication::DrawRedialBox() {
  const std::string title = "CONNECTION LOST", question = RedialQuestion();
  const std::string& reason = FRedialText;
  TBoxGeometry g = CenteredBox(FPopupLayer.Cols, FPopupLayer.Rows, {title, reason, question}, reason.empty() ? 4 : 5);
  DrawPopupFrame(g.X, g.Y, g.W, g.H, scr::FaceBlue, scr::BevelBlue, true, false);
  PutCenteredPopupText(g.X, g.W, g.Y + 1, title, scr::TitleYellow, scr::FaceBlue, true);
  int row = g.Y + 2;
  if (!reason.empty()) PutCenteredPopupText(g.X, g.W, row++, reason, scr::AlertRed, scr::FaceBlue, true);
  PutCenteredPopupText(g.X, g.W, row, question, scr::KeyLavender, scr::FaceBlue, true);
}

void TApplication::DrawBackupReminder() {
  const std::string l1 = "PHONEBOOK BACKUP", l2 = "It's been 90+ days since your last backup.",
                    l3 = "Back it up now?  Y/N";
  TBoxGeometry g = CenteredBox(FPopupLayer.Cols, FPopupLayer.Rows, {l1, l2, l3}, 5);
  DrawPopupFrame(g.X, g.Y, g.W, g.H, scr::FaceBlue, scr::BevelBlue, false, !FStdFontLoaded);
  PutCenteredPopupText(g.X, g.W, g.Y + 1, l1, scr::TitleYellow, scr::FaceBlue, false);
  PutCenteredPopupText(g.X, g.W, g.Y + 2, l2, scr::White, scr::FaceBlue, false);
  PutCenteredPopupText(g.X, g.W, g.Y + 3, l3, scr::KeyLavender, scr::FaceBlue, false);
}

void TApplication::DrawGuideUpdatePrompt() {
  const size_t n = FGuideEdited.size();
  const std::vector<std::pair<std::string, TColorRGB>> lines = {
      {"TELNET BBS GUIDE UPDATE", scr::TitleYellow},
      {std::to_string(n) + " entr" + (n == 1 ? "y" : "ies") + " you edited would be overwritten.", scr::White},
      {"", scr::White},
      {"K = Keep edited entries, update the rest", scr::KeyLavender},
      {"U = Update all (overwrite edits)", scr::KeyLavender}};
  std::vector<std::string> texts;
  for (const auto& l : lines) texts.push_back(l.first);
  TBoxGeometry g = CenteredBox(FPopupLayer.Cols, FPopupLayer.Rows, texts, int(lines.size()) + 2);
  DrawPopupFrame(g.X, g.Y, g.W, g.H, scr::FaceBlue, scr::BevelBlue, false, !FStdFontLoaded);
  PutCenteredPopupText(g.X, g.W, g.Y + 1, lines[0].first, lines[0].second, scr::FaceBlue, false);
  const int frameRight = g.X + g.W + 1;
  for (size_t i = 1; i < lines.size(); ++i) {
    const std::string& s = lines[i].first;
    for (size_t k = 0; k < s.size() && g.X + 3 + int(k) < frameRight; ++k)
      PutPopupCell(g.X + 3 + int(k), g.Y + 1 + int(i), uint8_t(s[k]), lines[i].second, scr::FaceBlue, false);
  }
}

void TApplication::DrawMessageBox() {
  TBoxGeometry g =
      CenteredBox(FPopupLayer.Cols, FPopupLayer.Rows, {FToastTitle, FToastText}, FToastText.empty() ? 3 : 4);
  DrawPopupFrame(g.X, g.Y, g.W, g.H, scr::DarkGreen, scr::Green, false, false);
  PutCenteredPopupText(g.X, g.W, g.Y + 1, FToastTitle, scr::White, scr::DarkGreen, false);
  if (!FToastText.empty()) PutCenteredPopupText(g.X, g.W, g.Y + 2, FToastText, scr::Green, scr::DarkGreen, false);
}
