#include "win/picture.h"

#include <objbase.h>
#include <wincodec.h>

#include <cctype>
#include <cstring>

namespace tavrin::win {

namespace {

// Releases a COM pointer when it goes.
template <typename T>
class Com {
public:
    Com() = default;
    ~Com() {
        if (m_p != nullptr) {
            m_p->Release();
        }
    }
    Com(const Com&) = delete;
    Com& operator=(const Com&) = delete;
    T** Out() { return &m_p; }
    T* operator->() const { return m_p; }
    T* Get() const { return m_p; }

private:
    T* m_p = nullptr;
};

// 146.png is PNG_146, 146@2x.png PNG_146_2X (see src/CMakeLists.txt).
std::wstring ResourceName(int id, const char* extension, bool sharp) {
    std::string name = std::string(extension) + "_" + std::to_string(id) + (sharp ? "_2X" : "");
    std::wstring wide;
    for (const char c : name) {
        wide += static_cast<wchar_t>(std::toupper(static_cast<unsigned char>(c)));
    }
    return wide;
}

Picture FromResource(const std::wstring& name) {
    HRSRC found = FindResourceW(nullptr, name.c_str(), MAKEINTRESOURCEW(10));  // RT_RCDATA
    if (found == nullptr) {
        return {};
    }
    HGLOBAL loaded = LoadResource(nullptr, found);
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    return bytes != nullptr ? DecodePicture(bytes, SizeofResource(nullptr, found)) : Picture{};
}

}  // namespace

Picture DecodePicture(const void* bytes, std::size_t size) {
    // COM may already be up on this thread (the engine's apartment); then this adds a count.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    Picture picture;
    {
        Com<IWICImagingFactory> factory;
        Com<IWICStream> stream;
        Com<IWICBitmapDecoder> decoder;
        Com<IWICBitmapFrameDecode> frame;
        Com<IWICFormatConverter> converter;
        UINT width = 0;
        UINT height = 0;
        const bool ready =
            SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                       IID_IWICImagingFactory,
                                       reinterpret_cast<void**>(factory.Out()))) &&
            SUCCEEDED(factory->CreateStream(stream.Out())) &&
            SUCCEEDED(stream->InitializeFromMemory(static_cast<BYTE*>(const_cast<void*>(bytes)),
                                                   static_cast<DWORD>(size))) &&
            SUCCEEDED(factory->CreateDecoderFromStream(
                stream.Get(), nullptr, WICDecodeMetadataCacheOnDemand, decoder.Out())) &&
            SUCCEEDED(decoder->GetFrame(0, frame.Out())) &&
            SUCCEEDED(factory->CreateFormatConverter(converter.Out())) &&
            SUCCEEDED(converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppPBGRA,
                                            WICBitmapDitherTypeNone, nullptr, 0.0,
                                            WICBitmapPaletteTypeCustom)) &&
            SUCCEEDED(converter->GetSize(&width, &height)) && width > 0 && height > 0;
        if (ready) {
            picture.width = static_cast<int>(width);
            picture.height = static_cast<int>(height);
            picture.pixels.resize(static_cast<std::size_t>(width) * height);
            if (FAILED(converter->CopyPixels(nullptr, width * 4,
                                             static_cast<UINT>(picture.pixels.size() * 4),
                                             reinterpret_cast<BYTE*>(picture.pixels.data())))) {
                picture = {};
            }
        }
    }
    if (SUCCEEDED(com)) {
        CoUninitialize();
    }
    return picture;
}

Picture LoadResourcePicture(int id, const char* extension, double scale) {
    if (scale > 1.0) {
        Picture sharp = FromResource(ResourceName(id, extension, true));
        if (!sharp.IsNull()) {
            return sharp;
        }
    }
    return FromResource(ResourceName(id, extension, false));
}

int Scaled(int length, double scale) {
    return static_cast<int>(length * scale + 0.5);
}

Picture ScalePicture(const Picture& picture, int width, int height) {
    if (picture.IsNull() || width <= 0 || height <= 0) {
        return {};
    }
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    Picture scaled;
    {
        Com<IWICImagingFactory> factory;
        Com<IWICBitmap> source;
        Com<IWICBitmapScaler> scaler;
        const bool ready =
            SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                       IID_IWICImagingFactory,
                                       reinterpret_cast<void**>(factory.Out()))) &&
            SUCCEEDED(factory->CreateBitmapFromMemory(
                static_cast<UINT>(picture.width), static_cast<UINT>(picture.height),
                GUID_WICPixelFormat32bppPBGRA, static_cast<UINT>(picture.width) * 4,
                static_cast<UINT>(picture.pixels.size() * 4),
                reinterpret_cast<BYTE*>(const_cast<std::uint32_t*>(picture.pixels.data())),
                source.Out())) &&
            SUCCEEDED(factory->CreateBitmapScaler(scaler.Out())) &&
            SUCCEEDED(scaler->Initialize(source.Get(), static_cast<UINT>(width),
                                         static_cast<UINT>(height),
                                         WICBitmapInterpolationModeFant));
        if (ready) {
            scaled.width = width;
            scaled.height = height;
            scaled.pixels.resize(static_cast<std::size_t>(width) * height);
            if (FAILED(scaler->CopyPixels(nullptr, static_cast<UINT>(width) * 4,
                                          static_cast<UINT>(scaled.pixels.size() * 4),
                                          reinterpret_cast<BYTE*>(scaled.pixels.data())))) {
                scaled = {};
            }
        }
    }
    if (SUCCEEDED(com)) {
        CoUninitialize();
    }
    return scaled;
}

Picture LoadScaledPicture(int id, const char* extension, double scale) {
    Picture normal = FromResource(ResourceName(id, extension, false));
    if (normal.IsNull() || scale <= 1.0) {
        return normal;
    }
    const int width = Scaled(normal.width, scale);
    const int height = Scaled(normal.height, scale);
    Picture sharp = FromResource(ResourceName(id, extension, true));
    const Picture& finest = sharp.IsNull() ? normal : sharp;
    if (finest.width == width && finest.height == height) {
        return finest;
    }
    return ScalePicture(finest, width, height);
}

BITMAPINFO TopDownBitmapInfo(int width, int height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

HBITMAP MakeBitmap(const Picture& picture) {
    if (picture.IsNull()) {
        return nullptr;
    }
    const BITMAPINFO info = TopDownBitmapInfo(picture.width, picture.height);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap != nullptr && bits != nullptr) {
        std::memcpy(bits, picture.pixels.data(), picture.pixels.size() * 4);
    }
    return bitmap;
}

}  // namespace tavrin::win
