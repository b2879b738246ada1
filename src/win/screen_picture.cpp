#include "win/screen_picture.h"

#include <objbase.h>
#include <wincodec.h>

#include "win/com_ptr.h"

namespace tavrin::win {

Picture CaptureScreen(const RECT& area) {
    Picture picture;
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    if (width <= 0 || height <= 0) {
        return picture;
    }
    const BITMAPINFO info = TopDownBitmapInfo(width, height);
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC memory = CreateCompatibleDC(screen);
    const HGDIOBJ old = SelectObject(memory, bitmap);
    const bool copied = bitmap != nullptr && bits != nullptr &&
                        BitBlt(memory, 0, 0, width, height, screen, area.left, area.top,
                               SRCCOPY | CAPTUREBLT) != FALSE;
    GdiFlush();
    if (copied) {
        picture.width = width;
        picture.height = height;
        const auto* from = static_cast<const std::uint32_t*>(bits);
        picture.pixels.assign(from, from + static_cast<std::size_t>(width) * height);
    }
    SelectObject(memory, old);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    DeleteObject(bitmap);
    for (std::uint32_t& pixel : picture.pixels) {
        pixel |= 0xff000000u;  // the screen is opaque; GDI leaves the alpha byte undefined
    }
    return picture;
}

bool ShowsSomething(const Picture& picture) {
    for (const std::uint32_t pixel : picture.pixels) {
        if (pixel != picture.pixels.front()) {
            return true;
        }
    }
    return false;
}

bool SavePng(const Picture& picture, const std::wstring& path) {
    if (picture.IsNull()) {
        return false;
    }
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    bool saved = false;
    {
        ComPtr<IWICImagingFactory> factory;
        ComPtr<IWICStream> stream;
        ComPtr<IWICBitmapEncoder> encoder;
        ComPtr<IWICBitmapFrameEncode> frame;
        WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGRA;
        const auto width = static_cast<UINT>(picture.width);
        const auto height = static_cast<UINT>(picture.height);
        saved =
            SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                       IID_IWICImagingFactory,
                                       reinterpret_cast<void**>(factory.Put()))) &&
            SUCCEEDED(factory->CreateStream(stream.Put())) &&
            SUCCEEDED(stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE)) &&
            SUCCEEDED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.Put())) &&
            SUCCEEDED(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache)) &&
            SUCCEEDED(encoder->CreateNewFrame(frame.Put(), nullptr)) &&
            SUCCEEDED(frame->Initialize(nullptr)) && SUCCEEDED(frame->SetSize(width, height)) &&
            SUCCEEDED(frame->SetPixelFormat(&format)) &&
            SUCCEEDED(frame->WritePixels(
                height, width * 4, width * height * 4,
                reinterpret_cast<BYTE*>(const_cast<std::uint32_t*>(picture.pixels.data())))) &&
            SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit());
    }
    if (SUCCEEDED(com)) {
        CoUninitialize();
    }
    return saved;
}

}  // namespace tavrin::win
