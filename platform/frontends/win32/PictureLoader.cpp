#include "platform/frontends/win32/PictureLoader.h"

#include <initguid.h>
#include <wincodec.h>

#include <cstring>
#include <vector>

#include "platform/win32/WideText.h"

namespace plat::win32 {

namespace {

// Releases a COM pointer when it goes.
template <typename T>
struct ComPtr {
    T* p = nullptr;
    ~ComPtr() {
        if (p) p->Release();
    }
    T** operator&() { return &p; }
    T* operator->() const { return p; }
};

// The PNG's bytes: the program's resource of that name, else the file.
std::vector<unsigned char> PictureBytes(const std::string& source, ::HMODULE module) {
    if (::HRSRC found = ::FindResourceA(module, source.c_str(), MAKEINTRESOURCEA(10) /* RT_RCDATA */)) {
        ::HGLOBAL loaded = ::LoadResource(module, found);
        const void* data = loaded ? ::LockResource(loaded) : nullptr;
        const ::DWORD size = ::SizeofResource(module, found);
        if (!data || size == 0) return {};
        const auto* bytes = static_cast<const unsigned char*>(data);
        return {bytes, bytes + size};
    }
    std::vector<unsigned char> bytes;
    ::HANDLE file = ::CreateFileW(Wide(source).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == InvalidHandle()) return {};
    ::LARGE_INTEGER size{};
    // A picture is small; anything beyond 16 MiB is no picture of ours.
    if (::GetFileSizeEx(file, &size) && size.QuadPart > 0 && size.QuadPart <= (16 << 20)) {
        bytes.resize(static_cast<std::size_t>(size.QuadPart));
        ::DWORD read = 0;
        if (!::ReadFile(file, bytes.data(), static_cast<::DWORD>(bytes.size()), &read, nullptr) ||
            read != bytes.size())
            bytes.clear();
    }
    ::CloseHandle(file);
    return bytes;
}

// Decodes the PNG into 32-bit BGRA rows, top to bottom, scaled from 96 dots per
// inch to `dpi`.
bool Decode(const std::vector<unsigned char>& png, int dpi, std::vector<unsigned char>* pixels, ::UINT* width,
            ::UINT* height) {
    ComPtr<IWICImagingFactory> factory;
    if (FAILED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                  reinterpret_cast<void**>(&factory))))
        return false;
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapDecoder> decoder;
    ComPtr<IWICBitmapFrameDecode> frame;
    ComPtr<IWICFormatConverter> converter;
    if (FAILED(factory->CreateStream(&stream)) ||
        FAILED(stream->InitializeFromMemory(const_cast<::BYTE*>(png.data()), static_cast<::DWORD>(png.size()))) ||
        FAILED(factory->CreateDecoderFromStream(stream.p, nullptr, WICDecodeMetadataCacheOnDemand, &decoder)) ||
        FAILED(decoder->GetFrame(0, &frame)) || FAILED(factory->CreateFormatConverter(&converter)) ||
        FAILED(converter->Initialize(frame.p, GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone, nullptr, 0.0,
                                     WICBitmapPaletteTypeCustom)) ||
        FAILED(converter->GetSize(width, height)) || *width == 0 || *height == 0 || *width > 4096 || *height > 4096)
        return false;
    IWICBitmapSource* source = converter.p;
    ComPtr<IWICBitmapScaler> scaler;
    if (dpi > 0 && dpi != 96) {
        const ::UINT w = static_cast<::UINT>(::MulDiv(static_cast<int>(*width), dpi, 96));
        const ::UINT h = static_cast<::UINT>(::MulDiv(static_cast<int>(*height), dpi, 96));
        if (w > 0 && h > 0 && w <= 4096 && h <= 4096 && SUCCEEDED(factory->CreateBitmapScaler(&scaler)) &&
            SUCCEEDED(scaler->Initialize(converter.p, w, h, WICBitmapInterpolationModeFant))) {
            source = scaler.p;
            *width = w;
            *height = h;
        }
    }
    pixels->resize(std::size_t{*width} * *height * 4);
    return SUCCEEDED(source->CopyPixels(nullptr, *width * 4, static_cast<::UINT>(pixels->size()), pixels->data()));
}

}  // namespace

::HBITMAP LoadPicture(const std::string& source, ::COLORREF background, ::HMODULE module, int dpi) {
    if (!module) module = ::GetModuleHandleA(nullptr);
    const std::vector<unsigned char> png = PictureBytes(source, module);
    if (png.empty()) return nullptr;
    // COM on this thread for the decoder, unless someone has it already.
    const ::HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    std::vector<unsigned char> pixels;
    ::UINT width = 0, height = 0;
    const bool decoded = Decode(png, dpi, &pixels, &width, &height);
    if (SUCCEEDED(com)) ::CoUninitialize();
    if (!decoded) return nullptr;

    // Lays each pixel on the background by its alpha.
    const unsigned back[3] = {GetBValue(background), GetGValue(background), GetRValue(background)};
    for (std::size_t i = 0; i < pixels.size(); i += 4) {
        const unsigned alpha = pixels[i + 3];
        for (int c = 0; c < 3; ++c)
            pixels[i + c] = static_cast<unsigned char>((pixels[i + c] * alpha + back[c] * (255 - alpha) + 127) / 255);
        pixels[i + 3] = 255;
    }
    ::BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = static_cast<::LONG>(width);
    info.bmiHeader.biHeight = -static_cast<::LONG>(height);  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    ::HBITMAP bitmap = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap && bits) std::memcpy(bits, pixels.data(), pixels.size());
    return bitmap;
}

::HICON LoadPictureIcon(const std::string& source, bool small, ::HMODULE module) {
    if (!module) module = ::GetModuleHandleA(nullptr);
    const int size = ::GetSystemMetrics(small ? SM_CXSMICON : SM_CXICON);
    return static_cast<::HICON>(::LoadImageA(module, source.c_str(), IMAGE_ICON, size, size, LR_SHARED));
}

}  // namespace plat::win32
