#include "app/screens/uPopups.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/uScreenText.h"
#include "data/uPhonebook.h"

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

void TPopups::DrawTerminatedBox(TPopupLayer& layer) const {
  const std::string title = "CONNECTION TERMINATED";
  const std::string& reason = Terminated.Reason;
  const std::string& summary = Terminated.Summary;
  int h = reason.empty() ? 3 : 4;
  if (!summary.empty()) h += 2;
  TBoxGeometry g = CenteredBox(layer.Cols(), layer.Rows(), {title, reason, summary}, h);
  layer.DrawFrame(g.X, g.Y, g.W, g.H, scr::FaceBlue, scr::BevelBlue, true, false);
  layer.PutCentred(g.X, g.W, g.Y + 1, title, scr::TitleYellow, scr::FaceBlue, true);
  if (!reason.empty()) layer.PutCentred(g.X, g.W, g.Y + 2, reason, scr::AlertRed, scr::FaceBlue, true);
  if (!summary.empty())
    layer.PutCentred(g.X, g.W, g.Y + g.H - 2, summary.substr(0, size_t(std::max(0, g.W))), scr::White, scr::FaceBlue,
                     true);
}

std::string TPopups::RedialQuestion() const {
  if (!Redial.Entry) return "Redial?  Y/N";
  std::string name = Redial.Entry->Name.empty() ? Redial.Entry->Host : Redial.Entry->Name;
  if (name.size() > 24) name = name.substr(0, 21) + "...";
  return "Redial " + name + "?  Y/N";
}

void TPopups::DrawRedialBox(TPopupLayer& layer) const {
  const std::string title = "CONNECTION LOST", question = RedialQuestion();
  const std::string& reason = Redial.Reason;
  TBoxGeometry g = CenteredBox(layer.Cols(), layer.Rows(), {title, reason, question}, reason.empty() ? 4 : 5);
  layer.DrawFrame(g.X, g.Y, g.W, g.H, scr::FaceBlue, scr::BevelBlue, true, false);
  layer.PutCentred(g.X, g.W, g.Y + 1, title, scr::TitleYellow, scr::FaceBlue, true);
  int row = g.Y + 2;
  if (!reason.empty()) layer.PutCentred(g.X, g.W, row++, reason, scr::AlertRed, scr::FaceBlue, true);
  layer.PutCentred(g.X, g.W, row, question, scr::KeyLavender, scr::FaceBlue, true);
}

void TPopups::DrawBackupReminder(TPopupLayer& layer, bool asciiFrame) const {
  const std::string l1 = "PHONEBOOK BACKUP", l2 = "It's been 90+ days since your last backup.",
                    l3 = "Back it up now?  Y/N";
  TBoxGeometry g = CenteredBox(layer.Cols(), layer.Rows(), {l1, l2, l3}, 5);
  layer.DrawFrame(g.X, g.Y, g.W, g.H, scr::FaceBlue, scr::BevelBlue, false, asciiFrame);
  layer.PutCentred(g.X, g.W, g.Y + 1, l1, scr::TitleYellow, scr::FaceBlue);
  layer.PutCentred(g.X, g.W, g.Y + 2, l2, scr::White, scr::FaceBlue);
  layer.PutCentred(g.X, g.W, g.Y + 3, l3, scr::KeyLavender, scr::FaceBlue);
}

void TPopups::DrawGuideUpdatePrompt(TPopupLayer& layer, bool asciiFrame) const {
  const size_t n = GuideEdited.size();
  const std::vector<std::pair<std::string, TColorRGB>> lines = {
      {"TELNET BBS GUIDE UPDATE", scr::TitleYellow},
      {std::to_string(n) + " entr" + (n == 1 ? "y" : "ies") + " you edited would be overwritten.", scr::White},
      {"", scr::White},
      {"K = Keep edited entries, update the rest", scr::KeyLavender},
      {"U = Update all (overwrite edits)", scr::KeyLavender}};
  std::vector<std::string> texts;
  for (const auto& l : lines) texts.push_back(l.first);
  TBoxGeometry g = CenteredBox(layer.Cols(), layer.Rows(), texts, int(lines.size()) + 2);
  layer.DrawFrame(g.X, g.Y, g.W, g.H, scr::FaceBlue, scr::BevelBlue, false, asciiFrame);
  layer.PutCentred(g.X, g.W, g.Y + 1, lines[0].first, lines[0].second, scr::FaceBlue);
  const int frameRight = g.X + g.W + 1;
  for (size_t i = 1; i < lines.size(); ++i) {
    const std::string& s = lines[i].first;
    for (size_t k = 0; k < s.size() && g.X + 3 + int(k) < frameRight; ++k)
      layer.PutCell(g.X + 3 + int(k), g.Y + 1 + int(i), uint8_t(s[k]), lines[i].second, scr::FaceBlue);
  }
}

void TPopups::DrawMessageBox(TPopupLayer& layer) const {
  TBoxGeometry g =
      CenteredBox(layer.Cols(), layer.Rows(), {Toast.Title, Toast.Text}, Toast.Text.empty() ? 3 : 4);
  layer.DrawFrame(g.X, g.Y, g.W, g.H, scr::DarkGreen, scr::Green, false, false);
  layer.PutCentred(g.X, g.W, g.Y + 1, Toast.Title, scr::White, scr::DarkGreen);
  if (!Toast.Text.empty()) layer.PutCentred(g.X, g.W, g.Y + 2, Toast.Text, scr::Green, scr::DarkGreen);
}

void DrawAboutBox(TPopupLayer& layer, bool asciiFrame) {
  const std::string name = "KORVAN", version = "v1.00 (Linux)", prompt = "Press any key to continue";
  TBoxGeometry g = CenteredBox(layer.Cols(), layer.Rows(), {name, version, prompt}, 5);
  layer.DrawFrame(g.X, g.Y, g.W, g.H, scr::FaceBlue, scr::BevelBlue, false, asciiFrame);
  layer.PutCentred(g.X, g.W, g.Y + 1, name, scr::TitleYellow, scr::FaceBlue);
  layer.PutCentred(g.X, g.W, g.Y + 2, version, scr::White, scr::FaceBlue);
  layer.PutCentred(g.X, g.W, g.Y + 3, prompt, scr::KeyLavender, scr::FaceBlue);
}

void DrawTransferWindow(TPopupLayer& layer, const TTransferView& view) {
  const int cols = layer.Cols(), rows = layer.Rows();
  const int inner = std::max(std::min(60, cols - 4), 30);
  const int x = (cols - (inner + 2)) / 2, y = (rows - 12) / 2;
  const TColorRGB face = scr::FaceBlue;
  layer.DrawFrame(x, y, inner, 12, face, scr::BevelBlue, false, false);
  layer.PutCentred(x, inner, y + 2, view.Title.substr(0, size_t(std::max(0, inner - 2))), scr::TitleYellow, face);
  auto labelRow = [&](int row, bool marker, TColorRGB markerFg, const std::string& label, const std::string& value) {
    if (marker) layer.PutCell(x + 3, row, cp::SmallSquare, markerFg, face);
    layer.PutText(x + 5, row, label + ": " + value, scr::White, face);
  };
  labelRow(y + 4, true, scr::White, "File", UpperText(KeepTailText(view.File, inner - 12)));
  labelRow(y + 5, true, scr::TitleYellow, "Size", GroupThousands(view.Total));
  labelRow(y + 6, false, scr::White, " Pos", GroupThousands(view.Done));
  labelRow(y + 7, true, TColorRGB{255, 85, 85}, "Rate",
           view.Rate.empty() ? std::string("(measuring...)") : view.Rate.substr(std::min<size_t>(3, view.Rate.size())));
  if (x + inner + 1 > x + 47) {
    layer.PutText(x + 35, y + 6, "Errors: " + std::to_string(view.Errors), scr::White, face);
    layer.PutText(x + 35, y + 7, "Block: " + std::to_string(view.Block), scr::White, face);
  }
  const int bar = std::clamp(inner - 12, 10, 40);
  int filled = 0;
  std::string percent = " --%";
  if (view.Total > 0) {
    const double part = double(view.Done) / double(view.Total);
    filled = std::clamp(int(std::lround(part * bar)), 0, bar);
    char text[32];
    std::snprintf(text, sizeof text, "%3.0f%%", part * 100.0);
    percent = text;
  }
  int col = x + 1 + (inner - (bar + 7)) / 2;
  layer.PutCell(col++, y + 9, '[', scr::White, face);
  for (int i = 0; i < bar; ++i)
    layer.PutCell(col++, y + 9, i < filled ? cp::FullBlock : cp::LightShade,
                  i < filled ? TColorRGB{85, 255, 85} : scr::DarkGreen, face);
  layer.PutCell(col++, y + 9, ']', scr::White, face);
  layer.PutText(col + 1, y + 9, percent, scr::White, face);
}
