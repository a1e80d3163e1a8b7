#include "platform/Keys.h"

namespace platform {

uint16_t ScanCodeForVirtualKey(uint16_t key) {
  // Letters and digits follow the rows of the PC keyboard.
  static const uint8_t letters[26] = {0x1E, 0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17,
                                      0x24, 0x25, 0x26, 0x32, 0x31, 0x18, 0x19, 0x10, 0x13,
                                      0x1F, 0x14, 0x16, 0x2F, 0x11, 0x2D, 0x15, 0x2C};
  if (key >= vk::KeyA && key < vk::KeyA + 26) return letters[key - vk::KeyA];
  if (key >= vk::Key0 + 1 && key <= vk::Key0 + 9) return uint16_t(0x02 + (key - vk::Key0 - 1));
  if (key == vk::Key0) return 0x0B;
  if (key >= vk::F1 && key <= vk::F1 + 9) return uint16_t(0x3B + (key - vk::F1));
  switch (key) {
    case vk::Escape: return 0x01;
    case vk::OemMinus: return 0x0C;
    case vk::OemPlus: return 0x0D;
    case vk::Back: return 0x0E;
    case vk::Tab: return 0x0F;
    case vk::Oem4: return 0x1A;
    case vk::Oem6: return 0x1B;
    case vk::Return: return 0x1C;
    case vk::Control: return 0x1D;
    case vk::Oem1: return 0x27;
    case vk::Oem7: return 0x28;
    case vk::Oem3: return 0x29;
    case vk::Shift: return 0x2A;
    case vk::Oem5: return 0x2B;
    case vk::OemComma: return 0x33;
    case vk::OemPeriod: return 0x34;
    case vk::Oem2: return 0x35;
    case vk::Multiply: return 0x37;
    case vk::Menu: return 0x38;
    case vk::Space: return 0x39;
    case vk::Capital: return 0x3A;
    case vk::NumLock: return 0x45;
    case vk::Scroll: return 0x46;
    case vk::Home: return 0x47;
    case vk::Up: return 0x48;
    case vk::Prior: return 0x49;
    case vk::Subtract: return 0x4A;
    case vk::Left: return 0x4B;
    case vk::Clear: return 0x4C;
    case vk::Right: return 0x4D;
    case vk::Add: return 0x4E;
    case vk::End: return 0x4F;
    case vk::Down: return 0x50;
    case vk::Next: return 0x51;
    case vk::Insert: return 0x52;
    case vk::Delete: return 0x53;
    case vk::F1 + 10: return 0x57;  // F11
    case vk::F1 + 11: return 0x58;  // F12
    default: break;
  }
  if (key >= vk::Numpad0 && key <= vk::Numpad0 + 9) {
    static const uint8_t pad[10] = {0x52, 0x4F, 0x50, 0x51, 0x4B, 0x4C, 0x4D, 0x47, 0x48, 0x49};
    return pad[key - vk::Numpad0];
  }
  return 0;
}

}  // namespace platform
