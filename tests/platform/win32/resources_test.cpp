// novalink.exe's own resources, read from the built program as Windows reads
// them: its pictures decoded (the transparent corner laid on the background, a
// point of each picture in its colour), its icon at both sizes, and the manifest
// that asks for common controls 6 and says the program is DPI aware.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/frontends/win32/PictureLoader.h"
#include "tests/common/SpawnUtil.h"

using namespace testutil;

namespace {

class Resources : public ::testing::Test {
protected:
    void SetUp() override {
        exe_ = LoadLibraryExA(BuildProgram("novalink").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(exe_, nullptr) << "novalink.exe: error " << GetLastError();
    }
    void TearDown() override {
        if (exe_) FreeLibrary(exe_);
    }
    HMODULE exe_ = nullptr;
};

// The colour of a bitmap's pixel, 0x00BBGGRR.
COLORREF Pixel(HBITMAP bitmap, int x, int y) {
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bitmap);
    const COLORREF c = GetPixel(dc, x, y);
    SelectObject(dc, old);
    DeleteDC(dc);
    return c;
}

}  // namespace

TEST_F(Resources, PicturesDecodeOnTheirBackground) {
    constexpr COLORREF kBack = RGB(240, 240, 240);
    struct Case {
        const char* source;  // a resource of novalink.exe, or the PNG file in the sources
        int size;
        int x, y;
        COLORREF colour;
        int dpi = 96;  // the screen's: the picture scales from 96
    };
    const std::string sources = NOVALINK_SOURCE_DIR "/resources/";
    const Case cases[] = {
        {"NOVALINK", 48, 24, 2, RGB(29, 95, 191)},  // the ring's dark blue
        {"CHECK", 32, 0, 0, kBack},                 // a transparent corner
        {"DOWNLOAD", 32, 16, 8, RGB(47, 168, 67)},  // the arrow's green
        {"NOSUCHPICTURE", 0, 0, 0, 0},
        {"check.png", 32, 0, 0, kBack},  // a file
        {"DOWNLOAD", 48, 24, 12, RGB(47, 168, 67), 144},
        {"CHECK", 64, 0, 0, kBack, 192},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.source) + " at " + std::to_string(c.dpi) + " dpi");
        const std::string source = std::string(c.source).find('.') == std::string::npos ? c.source : sources + c.source;
        HBITMAP bitmap = plat::win32::LoadPicture(source, kBack, exe_, c.dpi);
        if (c.size == 0) {
            EXPECT_EQ(bitmap, nullptr);
            continue;
        }
        ASSERT_NE(bitmap, nullptr);
        BITMAP info{};
        GetObjectA(bitmap, sizeof info, &info);
        EXPECT_EQ(info.bmWidth, c.size);
        EXPECT_EQ(info.bmHeight, c.size);
        EXPECT_EQ(Pixel(bitmap, c.x, c.y), c.colour);
        DeleteObject(bitmap);
    }
}

TEST_F(Resources, IconAndManifest) {
    for (bool small : {false, true}) {
        HICON icon = plat::win32::LoadPictureIcon("NOVALINK", small, exe_);
        ASSERT_NE(icon, nullptr) << "small " << small;
        ICONINFO info{};
        ASSERT_TRUE(GetIconInfo(icon, &info));
        BITMAP colour{};
        GetObjectA(info.hbmColor, sizeof colour, &colour);
        EXPECT_EQ(colour.bmWidth, GetSystemMetrics(small ? SM_CXSMICON : SM_CXICON));
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
    }
    HRSRC found = FindResourceA(exe_, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));  // RT_MANIFEST
    ASSERT_NE(found, nullptr);
    const std::string manifest(static_cast<const char*>(LockResource(LoadResource(exe_, found))),
                               SizeofResource(exe_, found));
    for (const char* part : {"name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"", ">true</dpiAware>",
                             "level=\"asInvoker\""})
        EXPECT_NE(manifest.find(part), std::string::npos) << part;
}
