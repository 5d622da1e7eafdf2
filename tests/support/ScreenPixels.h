// Pixels of a rectangle of the screen, read back as the user sees them.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace kq::test {

// Read with BitBlt from the screen's device context when made.
class ScreenPixels {
 public:
  explicit ScreenPixels(const RECT& screenRect);
  const RECT& Rect() const { return rect_; }
  int Width() const { return rect_.right - rect_.left; }
  int Height() const { return rect_.bottom - rect_.top; }
  bool Empty() const { return pixels_.empty(); }
  // The colour at a point in screen coordinates; CLR_INVALID outside the rectangle (or when the
  // screen could not be read).
  COLORREF At(int x, int y) const;
  // Pixels of screenRect of the given colour.
  int Count(const RECT& screenRect, COLORREF colour) const;
  // Pixels of screenRect whose colour differs from other's at the same place of the screen, leaving
  // out those inside any of skip.
  int Differences(const ScreenPixels& other, const RECT& screenRect, const std::vector<RECT>& skip = {}) const;
  // Pixels that differ from other's at the same place within the shot (the two shots may be of
  // different places of the screen) by more than tolerance in a channel; every pixel when the
  // sizes differ.
  int CountDifferent(const ScreenPixels& other, int tolerance = 0) const;
  // Writes the pixels as name.bmp into the artifacts folder, for a look after a failure.
  bool Save(const std::string& name) const;

 private:
  RECT rect_;
  std::vector<uint32_t> pixels_;  // 0x00RRGGBB, top-down
};

}  // namespace kq::test
