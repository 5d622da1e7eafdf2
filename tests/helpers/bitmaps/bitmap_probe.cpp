// Loads bitmaps of its own resources with the library's LoadResourceBitmap and writes what it got,
// one line per name given:
//
//   bitmap_probe.exe OUTFILE NAME...
//
// "NAME null", or "NAME WIDTH HEIGHT BITS TOPLEFT BOTTOMRIGHT" with the two corner pixels as
// RRGGBB in hexadecimal, read back through GetDIBits.
#include <windows.h>

#include <cstdio>
#include <vector>

#include "common/KQScoped.h"
#include "common/KQUtils.h"

int main(int argc, char** argv) {
  if (argc < 2) return 3;
  FILE* out = std::fopen(argv[1], "w");
  if (!out) return 2;
  for (int i = 2; i < argc; ++i) {
    kq::ScopedBitmap bitmap(kq::LoadResourceBitmap(argv[i]));
    if (!bitmap) {
      std::fprintf(out, "%s null\n", argv[i]);
      continue;
    }
    BITMAP info = {};
    GetObjectA(bitmap.get(), sizeof(info), &info);
    BITMAPINFO request = {};
    request.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    request.bmiHeader.biWidth = info.bmWidth;
    request.bmiHeader.biHeight = -info.bmHeight;  // top-down
    request.bmiHeader.biPlanes = 1;
    request.bmiHeader.biBitCount = 32;
    request.bmiHeader.biCompression = BI_RGB;
    std::vector<DWORD> pixels(static_cast<size_t>(info.bmWidth) * info.bmHeight);
    kq::ScopedMemoryDC dc(CreateCompatibleDC(nullptr));
    GetDIBits(dc.get(), bitmap.get(), 0, info.bmHeight, pixels.data(), &request, DIB_RGB_COLORS);
    std::fprintf(out, "%s %ld %ld %d %06lx %06lx\n", argv[i], info.bmWidth, info.bmHeight, info.bmBitsPixel,
                 pixels.front() & 0xFFFFFF, pixels.back() & 0xFFFFFF);
  }
  std::fclose(out);
  return 0;
}
