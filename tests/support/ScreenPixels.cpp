#include "tests/support/ScreenPixels.h"

#include <cstdio>
#include <cstdlib>

#include "common/KQScoped.h"
#include "tests/support/TestPaths.h"

namespace kq::test {
namespace {

constexpr WORD kBitmapFileType = 0x4D42;  // "BM"

COLORREF ColourOf(uint32_t pixel) { return RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF); }

}  // namespace

ScreenPixels::ScreenPixels(const RECT& screenRect) : rect_(screenRect) {
  const int width = Width(), height = Height();
  if (width <= 0 || height <= 0) return;
  ScopedWindowDC screen(nullptr, ::GetDC(nullptr));
  ScopedMemoryDC memory(::CreateCompatibleDC(screen.get()));
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  ScopedBitmap bitmap(::CreateDIBSection(memory.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!bitmap || !bits) return;
  {
    ScopedSelectObject select(memory.get(), bitmap.get());
    if (!::BitBlt(memory.get(), 0, 0, width, height, screen.get(), rect_.left, rect_.top, SRCCOPY)) return;
  }
  ::GdiFlush();
  const auto* source = static_cast<const uint32_t*>(bits);
  pixels_.assign(source, source + static_cast<size_t>(width) * height);
  for (uint32_t& p : pixels_) p &= 0xFFFFFF;
}

COLORREF ScreenPixels::At(int x, int y) const {
  if (Empty() || x < rect_.left || x >= rect_.right || y < rect_.top || y >= rect_.bottom) return CLR_INVALID;
  return ColourOf(pixels_[static_cast<size_t>(y - rect_.top) * Width() + (x - rect_.left)]);
}

int ScreenPixels::Count(const RECT& r, COLORREF colour) const {
  int n = 0;
  for (int y = r.top; y < r.bottom; ++y)
    for (int x = r.left; x < r.right; ++x)
      if (At(x, y) == colour) ++n;
  return n;
}

int ScreenPixels::Differences(const ScreenPixels& other, const RECT& r, const std::vector<RECT>& skip) const {
  int n = 0;
  for (int y = r.top; y < r.bottom; ++y)
    for (int x = r.left; x < r.right; ++x) {
      const POINT p = {x, y};
      bool skipped = false;
      for (const RECT& s : skip) skipped = skipped || ::PtInRect(&s, p);
      if (!skipped && At(x, y) != other.At(x, y)) ++n;
    }
  return n;
}

int ScreenPixels::CountDifferent(const ScreenPixels& other, int tolerance) const {
  if (other.Width() != Width() || other.Height() != Height() || other.pixels_.size() != pixels_.size())
    return Width() * Height();
  int count = 0;
  for (size_t i = 0; i < pixels_.size(); ++i) {
    const COLORREF a = ColourOf(pixels_[i]), b = ColourOf(other.pixels_[i]);
    if (std::abs(GetRValue(a) - GetRValue(b)) > tolerance || std::abs(GetGValue(a) - GetGValue(b)) > tolerance ||
        std::abs(GetBValue(a) - GetBValue(b)) > tolerance)
      ++count;
  }
  return count;
}

bool ScreenPixels::Save(const std::string& name) const {
  if (Empty()) return false;
  const std::string path = ArtifactsDirectory() + name + ".bmp";
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  BITMAPINFOHEADER header = {};
  header.biSize = sizeof(header);
  header.biWidth = Width();
  header.biHeight = -Height();  // top-down
  header.biPlanes = 1;
  header.biBitCount = 32;
  header.biCompression = BI_RGB;
  const DWORD pixelBytes = static_cast<DWORD>(pixels_.size() * sizeof(uint32_t));
  BITMAPFILEHEADER file = {};
  file.bfType = kBitmapFileType;
  file.bfOffBits = sizeof(file) + sizeof(header);
  file.bfSize = file.bfOffBits + pixelBytes;
  std::fwrite(&file, sizeof(file), 1, f);
  std::fwrite(&header, sizeof(header), 1, f);
  std::fwrite(pixels_.data(), 1, pixelBytes, f);
  return std::fclose(f) == 0;
}

}  // namespace kq::test
