#include "app/screens/uInputBox.h"

#include "app/uScreenText.h"

const TInputBoxLook kJumpToFolderBox = {58, 5, "JUMP TO FOLDER", "", 2, 54, 52, "Enter: Go   Esc: Cancel", 3};
const TInputBoxLook kQuickDialBox = {46, 6, "QUICK DIAL", "Host[:Port], e.g. bbs.example.org:23", 3, 42, 40,
                                     "Enter: Connect   Esc: Cancel", 4};

void DrawInputBox(TPopupLayer& layer, const TInputBoxLook& look, const TEditLine& line) {
  const int x0 = (layer.Cols() - look.Width) / 2, y0 = (layer.Rows() - look.Height) / 2;
  const int inner = look.Width - 2;
  auto centred = [&](int row, const std::string& text, TColorRGB fg) {
    layer.PutText(x0 + 1 + (inner - int(text.size())) / 2, y0 + row, text, fg, scr::FaceBlue);
  };
  layer.DrawFrame(x0, y0, inner, look.Height, scr::FaceBlue, scr::BevelBlue, false, false);
  centred(1, look.Title, scr::TitleYellow);
  if (!look.Hint.empty()) layer.PutText(x0 + 2, y0 + 2, look.Hint, scr::KeyLavender, scr::FaceBlue);
  // The field: a window of the text that keeps the caret in view.
  const int row = y0 + look.InputRow, left = x0 + 2;
  const int start = line.Caret >= look.Window ? line.Caret - look.Window + 1 : 0;
  for (int i = 0; i < look.FieldCells; ++i) layer.PutCell(left + i, row, ' ', scr::White, scr::Black);
  for (int i = 0; i < look.Window && start + i < int(line.Text.size()); ++i)
    layer.PutCell(left + i, row, uint8_t(line.Text[size_t(start + i)]), scr::White, scr::Black);
  const int at = line.Caret - start;
  if (at >= 0 && at < look.Window) {
    const uint8_t under = line.Caret < int(line.Text.size()) ? uint8_t(line.Text[size_t(line.Caret)]) : ' ';
    layer.PutCell(left + at, row, under, scr::Black, scr::White);
  }
  centred(look.KeysRow, look.Keys, scr::KeyLavender);
}
