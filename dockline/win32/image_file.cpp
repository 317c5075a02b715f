#include "image_file.h"

#include <wincodec.h>

namespace dockline {

namespace {

// Releases a COM pointer when it goes out of scope.
template <typename Interface>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() {
        if (pointer_) pointer_->Release();
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    Interface* operator->() const { return pointer_; }
    Interface* get() const { return pointer_; }
    Interface** out() { return &pointer_; }
    explicit operator bool() const { return pointer_ != nullptr; }

private:
    Interface* pointer_ = nullptr;
};

// COM for the decoder, on the calling thread, for as long as one load runs.
class ComScope {
public:
    ComScope() : initialized_(SUCCEEDED(::CoInitialize(nullptr))) {}
    ~ComScope() {
        if (initialized_) ::CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    bool initialized_;
};

}  // namespace

ImageFile::LoadResult ImageFile::Load(const std::wstring& path, SIZE* fileSize) {
    Clear();
    if (fileSize) *fileSize = {0, 0};
    constexpr LoadResult kUnreadable = LoadResult::Unreadable;
    const ComScope com;
    ComPtr<IWICImagingFactory> factory;
    if (FAILED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                  reinterpret_cast<void**>(factory.out())))) {
        return kUnreadable;
    }
    ComPtr<IWICBitmapDecoder> decoder;
    if (FAILED(factory->CreateDecoderFromFilename(path.c_str(), nullptr, GENERIC_READ, WICDecodeMetadataCacheOnDemand,
                                                  decoder.out()))) {
        return kUnreadable;
    }
    ComPtr<IWICBitmapFrameDecode> frame;
    if (FAILED(decoder->GetFrame(0, frame.out()))) return kUnreadable;
    ComPtr<IWICFormatConverter> converter;
    if (FAILED(factory->CreateFormatConverter(converter.out())) ||
        FAILED(converter->Initialize(frame.get(), GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone, nullptr,
                                     0.0, WICBitmapPaletteTypeCustom))) {
        return kUnreadable;
    }
    UINT width = 0, height = 0;
    if (FAILED(converter->GetSize(&width, &height)) || width == 0 || height == 0) return kUnreadable;
    if (fileSize) *fileSize = {static_cast<LONG>(width), static_cast<LONG>(height)};
    if (width > kMaxSide || height > kMaxSide) return LoadResult::TooLarge;

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = static_cast<LONG>(width);
    info.bmiHeader.biHeight = -static_cast<LONG>(height);  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    win32::UniqueGdiObject bitmap(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap || !bits) return kUnreadable;
    const UINT stride = width * 4;
    if (FAILED(converter->CopyPixels(nullptr, stride, stride * height, static_cast<BYTE*>(bits)))) return kUnreadable;

    bitmap_ = std::move(bitmap);
    width_ = static_cast<int>(width);
    height_ = static_cast<int>(height);
    return LoadResult::Loaded;
}

void ImageFile::Clear() {
    bitmap_.reset();
    width_ = height_ = 0;
}

void ImageFile::Draw(HDC dc, int x, int y) const {
    if (bitmap_) DrawAlphaBitmap(dc, Bitmap(), x, y, width_, height_);
}

void DrawAlphaBitmap(HDC dc, HBITMAP bitmap, int x, int y, int width, int height) {
    const HDC source = ::CreateCompatibleDC(dc);
    if (!source) return;
    const HGDIOBJ previous = ::SelectObject(source, bitmap);
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    ::AlphaBlend(dc, x, y, width, height, source, 0, 0, width, height, blend);
    ::SelectObject(source, previous);
    ::DeleteDC(source);
}

}  // namespace dockline
