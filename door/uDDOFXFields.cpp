// The parser's side of the door's gadgets and text fields: what a gadget
// sends, the menu line kept for the log, the 250 fields with their editing
// rules, how a field sends its text, and the prompt shown while one is
// edited over the text screen. The engine draws them.
#include "core/uDebugLog.h"
#include "door/uDDOFXParser.h"
#include "door/uDDOFXText.h"

using namespace ddofxtext;

namespace {

// At most Limit pieces cut at plain commas; the last keeps the rest.
std::vector<std::string> CutCommas(const std::string& text, size_t limit) {
  std::vector<std::string> p;
  size_t start = 0;
  while (p.size() + 1 < limit) {
    const size_t comma = text.find(',', start);
    if (comma == std::string::npos) break;
    p.push_back(text.substr(start, comma - start));
    start = comma + 1;
  }
  p.push_back(text.substr(start));
  return p;
}

int IntAt(const std::vector<std::string>& p, size_t i, int def) {
  return i < p.size() ? IntDef(Trim(p[i]), def) : def;
}

// A send text as the menu line shows it: Q+Enter for q^M.
std::string DisplayForm(const std::string& send) {
  std::string out, run;
  auto add = [&out](const std::string& part) {
    if (!out.empty()) out += "+";
    out += part;
  };
  for (size_t i = 0; i < send.size(); ++i) {
    if (send[i] == '^' && i + 1 < send.size()) {
      if (!run.empty()) add(run);
      run.clear();
      const char k = Upper(std::string(1, send[++i]))[0];
      add(k == 'M' ? "Enter" : k == '[' ? "Esc" : k == 'H' ? "BkSp" : k == 'I' ? "Tab" : std::string("Ctrl-") + k);
      continue;
    }
    run += send[i] == '~' ? ',' : Upper(std::string(1, send[i]))[0];
  }
  if (!run.empty()) add(run);
  return out;
}

}  // namespace

const TDDOFXTextField& TDDOFXParser::Field(int n) const {
  static const TDDOFXTextField none;
  return n >= 1 && n <= kFields ? FFields[size_t(n - 1)] : none;
}

void TDDOFXParser::OnGadget(const std::string& send, const std::string& macro) {
  TTopLevel top(*this);
  LogLine("DDOFX: gadget -> send \"" + send + "\" macro \"" + macro + "\"");
  if (!macro.empty()) ReplayMacro(macro);
  Send(send);
}

void TDDOFXParser::OnFieldClick(int n) {
  TTopLevel top(*this);
  if (n >= 1 && n <= kFields && FFields[size_t(n - 1)].Defined) ActivateTextField(n);
}

void TDDOFXParser::DefineControl(const std::string& c) {
  const std::string name = c.substr(0, c.find(','));
  size_t k = 8, s = 6, f = std::string::npos;
  if (name == "5CPUSHB") k = 11, s = 9, f = 1;
  if (name == "5CRBUTTON") k = 18, s = 16, f = 5;
  if (name == "5CCHKBOX") k = 15, s = 13, f = 1;
  const size_t comma = c.find(',');
  const std::vector<std::string> p = CutCommas(comma == std::string::npos ? "" : c.substr(comma + 1), k);
  if (p.size() <= s || p[s].empty()) return;
  std::string face = f < p.size() ? p[f] : "";
  if (name == "5CPUSHB" && face.size() > 1 && (face.back() == 'U' || face.back() == 'u')) face.pop_back();
  face = Upper(face);
  const std::string item = "[" + DisplayForm(p[s]) + "]" + (face.empty() ? "" : " " + face);
  for (const std::string& known : FMenuItems)
    if (known == item) return;
  FMenuItems.push_back(item);
  FMenuSends.push_back(DecodeCarets(p[s]));
}

void TDDOFXParser::UpdateMenuLine() {
  if (FMenuItems.empty()) return;
  FMenuLine.clear();
  for (const std::string& item : FMenuItems) FMenuLine += (FMenuLine.empty() ? "" : "  ") + item;
  FMenuItems.clear();
  FMenuSends.clear();
  const std::string text = "ZUD-O/D menu:  " + FMenuLine;
  if (text != FMenuLogged) {
    FMenuLogged = text;
    LogLine("DDOFX: " + text);
  }
}

void TDDOFXParser::ClearMenuItems() {
  FMenuItems.clear();
  FMenuSends.clear();
  FMenuLine.clear();
  FMenuLogged.clear();
}

void TDDOFXParser::DefineTextField(const std::string& text) {
  const std::vector<std::string> p = CutCommas(text, 23);
  const int n = IntAt(p, 0, -1);
  if (n == 0) return ClearTextFields();
  if (n < 1 || n > kFields) return;
  TDDOFXTextField& f = FFields[size_t(n - 1)];
  auto piece = [&p](size_t i) { return i < p.size() ? p[i] : std::string(); };
  f = TDDOFXTextField();
  f.Defined = true;
  f.FontName = Trim(piece(1));
  f.Text = piece(2);
  f.SendPrefix = DecodeCarets(piece(3));
  f.SendSuffix = DecodeCarets(piece(4));
  f.X = IntAt(p, 5, 0);
  f.Y = IntAt(p, 6, 0);
  f.MaxLen = IntAt(p, 7, 30);
  if (f.MaxLen < 1 || f.MaxLen > 70) f.MaxLen = 70;
  f.Bg = uint8_t(((IntAt(p, 8, 1) % 8) + 8) % 8);
  f.FocusBg = uint8_t(((IntAt(p, 9, 4) % 8) + 8) % 8);
  f.Fg = uint8_t(IntAt(p, 10, 15));
  f.Masked = IntAt(p, 11, 0) == 1;
  const std::string mask = piece(12);
  f.MaskChar = mask.empty() ? '*' : mask[0];
  f.NextField = IntAt(p, 14, 0);
  f.EnterSends = IntAt(p, 15, 0) == 0;
  f.Group = IntAt(p, 16, 0);
  f.Filter = IntAt(p, 17, 0);
  f.Upper = IntAt(p, 18, 0) == 1;
  f.HotKey = IntAt(p, 20, 0);
  f.PassHotKey = IntAt(p, 21, 0) == 1;
  f.Macro = piece(22);
  HandFieldToEngine(n);
  if (FActiveField == n) FActiveField = 0;
}

void TDDOFXParser::HandFieldToEngine(int n) {
  if (n < 1 || n > kFields) return;
  const TDDOFXTextField& f = FFields[size_t(n - 1)];
  TDDOFXFieldView view;
  view.Defined = f.Defined;
  view.Focused = FActiveField == n;
  view.X = f.X;
  view.Y = f.Y;
  view.Width = f.MaxLen;
  view.Bg = f.Bg;
  view.FocusBg = f.FocusBg;
  view.Fg = f.Fg;
  view.FontName = f.FontName;
  view.Text = view.Focused ? FEditText : f.Text;
  if (f.Masked) view.Text.assign(view.Text.size(), f.MaskChar);
  if (f.Upper) view.Text = Upper(view.Text);
  FGfx->SetField(n, view);
}

void TDDOFXParser::ActivateTextField(int n) {
  if (n < 1 || n > kFields || !FFields[size_t(n - 1)].Defined) return;
  if (FActiveField > 0) {
    const int old = FActiveField;
    FActiveField = 0;
    HandFieldToEngine(old);
  }
  FActiveField = n;
  FEditText = FFields[size_t(n - 1)].Text;
  FEditFresh = true;
  HandFieldToEngine(n);
  LogLine("DDOFX: text field " + std::to_string(n) + " active (default \"" + FEditText + "\")");
}

bool TDDOFXParser::IsTextFieldActive() const { return FActiveField > 0 && FGfx->GraphicsMode(); }

void TDDOFXParser::TextFieldKey(uint8_t ch) {
  if (FActiveField <= 0 || ch <= 31) return;
  const TDDOFXTextField& f = FFields[size_t(FActiveField - 1)];
  const char u = Upper(std::string(1, char(ch)))[0];
  if (f.Filter == 1 && !(u >= 'A' && u <= 'Z')) return;
  if (f.Filter == 2 && !(ch >= '0' && ch <= '9')) return;
  if (FEditFresh) FEditText.clear();
  FEditFresh = false;
  if (int(FEditText.size()) < f.MaxLen) FEditText.push_back(char(ch));
  HandFieldToEngine(FActiveField);
}

void TDDOFXParser::TextFieldBackspace() {
  if (FActiveField <= 0) return;
  FEditFresh = false;
  if (!FEditText.empty()) FEditText.pop_back();
  HandFieldToEngine(FActiveField);
}

void TDDOFXParser::TextFieldEnter() {
  TTopLevel top(*this);
  const int n = FActiveField;
  if (n <= 0) return;
  TDDOFXTextField& f = FFields[size_t(n - 1)];
  f.Text = FEditText;
  FActiveField = 0;
  HandFieldToEngine(n);
  if (f.EnterSends)
    ExitTextField(n);
  else if (f.NextField > 0)
    ActivateTextField(f.NextField);
}

void TDDOFXParser::TextFieldEscape() {
  const int n = FActiveField;
  if (n <= 0) return;
  FFields[size_t(n - 1)].Text = FEditText;
  FActiveField = 0;
  HandFieldToEngine(n);
}

void TDDOFXParser::ExitTextField(int n) {
  if (n < 1 || n > kFields || !FFields[size_t(n - 1)].Defined) return;
  TDDOFXTextField& f = FFields[size_t(n - 1)];
  if (FActiveField == n) {
    f.Text = FEditText;
    FActiveField = 0;
    HandFieldToEngine(n);
  }
  if (f.Group == 0) return SendTextField(n);
  const int group = f.Group;
  for (int i = 1; i <= kFields; ++i)
    if (FFields[size_t(i - 1)].Defined && FFields[size_t(i - 1)].Group == group) SendTextField(i);
}

void TDDOFXParser::SendTextField(int i) {
  const TDDOFXTextField f = FFields[size_t(i - 1)];  // the macro may redefine it
  const std::string text = f.Upper ? Upper(f.Text) : f.Text;
  if (!f.Macro.empty()) ReplayMacro(f.Macro);
  LogLine("DDOFX: text field " + std::to_string(i) + " sends \"" + text + "\"");
  Send(f.SendPrefix + text + f.SendSuffix);
}

bool TDDOFXParser::TextFieldHotKey(uint8_t ch, bool& pass) {
  pass = true;
  if (FActiveField > 0) return false;
  for (int i = 1; i <= kFields; ++i) {
    const TDDOFXTextField& f = FFields[size_t(i - 1)];
    if (f.Defined && f.HotKey > 0 && f.HotKey == ch) {
      ActivateTextField(i);
      pass = f.PassHotKey;
      return true;
    }
  }
  return false;
}

void TDDOFXParser::ClearTextFields() {
  for (TDDOFXTextField& f : FFields) f.Defined = false;
  FActiveField = 0;
  FGfx->ClearFields();
}

std::string TDDOFXParser::DrawInputPrompt(int width) const {
  if (FActiveField <= 0) return {};
  const TDDOFXTextField& f = FFields[size_t(FActiveField - 1)];
  std::string shown = FEditText;
  if (f.Masked) shown.assign(shown.size(), f.MaskChar);
  if (f.Upper) shown = Upper(shown);
  const std::string line = " Door input (Enter sends, Esc cancels): " + shown + "_";
  if (width >= 0 && int(line.size()) > width) return line.substr(line.size() - size_t(width));
  return line;
}
