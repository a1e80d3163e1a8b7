#include "app/screens/uScreenStack.h"

void TScreenStack::Register(std::shared_ptr<TScreen> screen) {
  if (screen) FRegistered.push_back(std::move(screen));
}

TScreen* TScreenStack::Registered(TScreenMode mode) const {
  for (const auto& s : FRegistered)
    if (s->Mode() == mode) return s.get();
  return nullptr;
}

bool TScreenStack::Show(TScreenMode mode) {
  std::shared_ptr<TScreen> target;
  for (const auto& s : FRegistered)
    if (s->Mode() == mode) target = s;
  if (!target) return false;
  std::shared_ptr<TScreen> current = Current();
  if (current == target) return true;
  if (current) current->Leave();
  FOpened.clear();
  FBase = target;
  FBase->Enter();
  return true;
}

void TScreenStack::Open(std::shared_ptr<TScreen> screen) {
  if (!screen) return;
  if (std::shared_ptr<TScreen> current = Current()) current->Leave();
  FOpened.push_back(screen);
  screen->Enter();
}

bool TScreenStack::Close() {
  if (FOpened.empty()) return false;
  std::shared_ptr<TScreen> top = FOpened.back();
  top->Leave();
  FOpened.pop_back();
  if (std::shared_ptr<TScreen> current = Current()) current->Enter();
  return true;
}

std::shared_ptr<TScreen> TScreenStack::Current() const { return FOpened.empty() ? FBase : FOpened.back(); }

TScreenMode TScreenStack::Mode() const {
  std::shared_ptr<TScreen> current = Current();
  return current ? current->Mode() : smDirectory;
}
