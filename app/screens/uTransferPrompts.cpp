#include "app/screens/uTransferPrompts.h"

#include <algorithm>

#include "app/uScreenText.h"
#include "net/uXYmodem.h"
#include "platform/Keys.h"

namespace vk = platform::vk;

namespace {

constexpr TColorRGB kMenuLine{170, 255, 170};

const std::vector<std::string> kDownloadLines = {"1) Auto-detect (recommended)", "2) Xmodem", "3) Xmodem-1K",
                                                 "4) Ymodem", "5) Ymodem-G"};
const std::vector<std::string> kUploadLines = {"1) Xmodem", "2) Xmodem-1K", "3) Ymodem", "4) Ymodem-G"};

// The engine protocol behind each digit, in menu order.
constexpr int kDownloadProtocols[] = {xpAuto, xpXmodem, xpXmodem1K, xpYmodem, xpYmodemG};
constexpr int kUploadProtocols[] = {xpXmodemCrc, xpXmodem1K, xpYmodem, xpYmodemG};

template <size_t N>
int ProtocolFor(uint16_t key, const int (&protocols)[N]) {
  if (key == vk::Return) return protocols[0];
  for (size_t i = 0; i < N; ++i)
    if (key == vk::Digit(int(i) + 1)) return protocols[i];
  return -1;
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Inner width for Lines: the longest + 4, at most the grid's width - 4.
int InnerWidth(const TPopupLayer& layer, const std::vector<std::string>& lines) {
  size_t longest = 0;
  for (const std::string& s : lines) longest = std::max(longest, s.size());
  return std::min(int(longest) + 4, layer.Cols() - 4);
}

void DrawBatchBox(TPopupLayer& layer, int32_t refused, const std::string& refusedName) {
  const std::string title = refused == 1   ? "BBS REFUSED " + UpperText(refusedName)
                            : refused > 1 ? "BBS REFUSED " + std::to_string(refused) + " FILES"
                                          : "UPLOAD BATCH COMPLETE";
  const std::string detail = refused > 0 ? "Already on the board, or over its upload size limit" : "";
  const std::string question = "Clear the upload queue?  Y/N";
  const int w = InnerWidth(layer, {title, detail, question}), h = detail.empty() ? 4 : 5;
  const int x = (layer.Cols() - (w + 2)) / 2, y = (layer.Rows() - h) / 2;
  layer.DrawFrame(x, y, w, h, scr::FaceBlue, scr::BevelBlue, false, false);
  layer.PutCentred(x, w, y + 1, title, scr::TitleYellow, scr::FaceBlue);
  if (!detail.empty()) layer.PutCentred(x, w, y + 2, detail, scr::White, scr::FaceBlue);
  layer.PutCentred(x, w, y + h - 2, question, scr::KeyLavender, scr::FaceBlue);
}

}  // namespace

void DrawMenuBox(TPopupLayer& layer, const std::string& title, const std::vector<std::string>& lines) {
  const std::string cancel = "Esc: Cancel";
  std::vector<std::string> all = lines;
  all.push_back(title);
  all.push_back(cancel);
  const int w = InnerWidth(layer, all), h = int(lines.size()) + 4;
  const int x = (layer.Cols() - (w + 2)) / 2, y = (layer.Rows() - h) / 2;
  layer.DrawFrame(x, y, w, h, scr::FaceBlue, scr::BevelBlue, false, false);
  layer.PutCentred(x, w, y + 1, title, scr::TitleYellow, scr::FaceBlue);
  for (size_t i = 0; i < lines.size(); ++i)
    layer.PutCentred(x, w, y + 2 + int(i), lines[i], kMenuLine, scr::FaceBlue);
  layer.PutCentred(x, w, y + 2 + int(lines.size()), cancel, scr::KeyLavender, scr::FaceBlue);
}

void TTransferPrompts::Draw(TPopupLayer& layer) const {
  if (Batch.Open) DrawBatchBox(layer, Batch.Refused, Batch.RefusedName);
  if (MessageUpload.Open) {
    const size_t n = MessageUpload.Files.size();
    DrawMenuBox(layer, "THIS LOOKS LIKE A MESSAGE UPLOAD",
                {n == 1 ? ShownFileName(BaseName(MessageUpload.Files[0])) + " is not a text file."
                        : "Not all " + std::to_string(n) + " files are text files.",
                 "The BBS is receiving your MESSAGE text -", "whatever you send becomes the message.", "",
                 "Y) Send it anyway    N) Pick another file"});
  }
  if (DownloadMenu) DrawMenuBox(layer, "DOWNLOAD PROTOCOL", kDownloadLines);
  if (UploadMenu.Open) DrawMenuBox(layer, "UPLOAD PROTOCOL", kUploadLines);
}

int TTransferPrompts::DownloadProtocolFor(uint16_t key) { return ProtocolFor(key, kDownloadProtocols); }

int TTransferPrompts::UploadProtocolFor(uint16_t key) { return ProtocolFor(key, kUploadProtocols); }
