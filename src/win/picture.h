// The launcher's artwork on Windows: the pictures are built into the program as resources
// named by their file (PNG_146, PNG_146_2X, BMP_139) and decoded with the system's
// imaging component (WIC) into premultiplied 32-bit pixels, ready for layered windows and GDI.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tavrin::win {

struct Picture {
    int width = 0;
    int height = 0;
    // Premultiplied BGRA, top row first.
    std::vector<std::uint32_t> pixels;
    bool IsNull() const { return pixels.empty(); }
};

// Decodes PNG or BMP bytes; a null picture when they are none.
Picture DecodePicture(const void* bytes, std::size_t size);
// The picture of resource `id` with `extension` ("png", "bmp"), in its @2x variant when
// `scale` is above 1 and there is one; null when the program has neither.
Picture LoadResourcePicture(int id, const char* extension, double scale = 1.0);

// The picture resampled to width x height (the system's high-quality scaler); null when it
// cannot be.
Picture ScalePicture(const Picture& picture, int width, int height);
// The picture of resource `id` for a screen of `scale` (1 for 100 %): the @2x variant above
// 100 %, resampled to `scale` times the normal size where that is not exactly it.
Picture LoadScaledPicture(int id, const char* extension, double scale);
// `length` logical pixels at `scale`, in the screen's pixels.
int Scaled(int length, double scale);

// The description of a 32-bit top-down DIB of width x height.
BITMAPINFO TopDownBitmapInfo(int width, int height);
// A 32-bit top-down DIB section holding the picture, for UpdateLayeredWindow and BitBlt; the
// caller deletes it. Null for a null picture.
HBITMAP MakeBitmap(const Picture& picture);

}  // namespace tavrin::win
