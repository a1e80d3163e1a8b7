#include "app/uDoorViewer.h"

#include <exception>

#include "core/uAnsiParser.h"
#include "core/uDebugLog.h"
#include "core/uFontRenderer.h"
#include "core/uTerminalBuffer.h"
#include "platform/AppFolder.h"

std::unique_ptr<TDoorViewer> TDoorViewer::Create(const std::string& title, int cols, int rows, std::string& error) {
  std::unique_ptr<TDoorViewer> viewer(new TDoorViewer());
  viewer->FFont = std::make_unique<TBitmapFont>(8, 16);
  if (!viewer->FFont->LoadFromFile(platform::AppFolder() + "fonts/IBM_VGA_8x16.F16")) viewer->FFont->LoadBuiltinFont();
  platform::EventLoop::Options options;
  options.Title = title;
  options.Width = cols * 8;
  options.Height = rows * 16;
  viewer->FWindow = std::make_unique<platform::EventLoop>(options);
  if (!viewer->FWindow->Ok()) {
    error = viewer->FWindow->Error();
    return nullptr;
  }
  viewer->FBuffer = std::make_unique<TTerminalBuffer>(cols, rows);
  viewer->FParser = std::make_unique<TAnsiParser>(viewer->FBuffer.get());
  viewer->FRenderer = std::make_unique<TFontRenderer>(viewer->FFont.get());
  viewer->FRenderer->SetGridSize(cols, rows);
  viewer->FRenderer->SetScale(1);
  TDoorViewer* self = viewer.get();
  viewer->FWindow->SetHandler([self](const platform::Event& e) { self->Handle(e); });
  viewer->FWindow->Show();
  viewer->FWindow->SetMinimized(true);
  return viewer;
}

TDoorViewer::~TDoorViewer() {
  if (FWindow) FWindow->SetHandler(nullptr);
}

void TDoorViewer::Feed(const uint8_t* data, int count) {
  if (FClosed || count <= 0) return;
  try {
    FParser->Feed(data, size_t(count));
  } catch (const std::exception& e) {
    LogLine(std::string("DOOR: viewer parser error on Feed (") + e.what() +
            ") - dropping this chunk, relay and viewer both continue");
  }
  FWindow->Invalidate();
}

bool TDoorViewer::Pump() {
  if (FClosed) return false;
  FWindow->PumpMessages(false);
  return !FClosed;
}

void TDoorViewer::Handle(const platform::Event& e) {
  switch (e.Kind) {
    case platform::EventKind::Close:
    case platform::EventKind::Quit:
      FClosed = true;
      break;
    case platform::EventKind::Paint:
      Paint();
      break;
    case platform::EventKind::Size:
      FWindow->FreeBackBuffer();
      FRenderer->ForgetTarget();
      FWindow->Invalidate();
      break;
    default:
      break;
  }
}

void TDoorViewer::Paint() {
  platform::Surface& back = FWindow->BackBuffer();
  FRenderer->ForgetTarget();
  FRenderer->Invalidate();
  FRenderer->BeginFrame();
  FRenderer->RenderBuffer(*FBuffer, back, 0, 0, back.Width(), back.Height(), true, false, true);
  FRenderer->EndFrame();
  FWindow->Present(back);
}
