#include "ReleaseLibraryCaches.h"
#include "gui/CBitmap.h"
#include "gui/CDrawContext.h"
#include "gui/EmbeddedResources.h"

#include <gtest/gtest.h>

#include <cairo.h>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const ::testing::Environment* const releaseCaches =
    ::testing::AddGlobalTestEnvironment(new ReleaseLibraryCaches);

const std::string kPicture = std::string(XETETRA_SOURCE_DIR) + "/resources/bmp00128.png";

std::vector<unsigned char> readFile(const std::string& path) {
    std::vector<unsigned char> bytes;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return bytes;
    unsigned char buffer[4096];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof(buffer), file)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + got);
    std::fclose(file);
    return bytes;
}

// Width and height from the PNG header (IHDR, big-endian, right after the signature).
void pngSize(const std::vector<unsigned char>& png, int* width, int* height) {
    auto be32 = [&](size_t at) {
        return (png[at] << 24) | (png[at + 1] << 16) | (png[at + 2] << 8) | png[at + 3];
    };
    *width = be32(16);
    *height = be32(20);
}

} // namespace

TEST(Bitmap, BackgroundResourceIsTheCommittedPicture) {
    const std::vector<unsigned char> file = readFile(kPicture);
    ASSERT_GT(file.size(), 24u);
    int width = 0, height = 0;
    pngSize(file, &width, &height);

    const unsigned char* data = nullptr;
    unsigned long size = 0;
    ASSERT_TRUE(findEmbeddedResource("bmp00128.png", &data, &size));
    ASSERT_EQ(size, file.size());
    EXPECT_EQ(std::memcmp(data, file.data(), size), 0);
    EXPECT_FALSE(findEmbeddedResource("bmp00128.bmp", &data, &size));
    EXPECT_FALSE(findEmbeddedResource(nullptr, &data, &size));

    CBitmap background(128);
    EXPECT_TRUE(background.isLoaded());
    EXPECT_EQ(background.getWidth(), width);
    EXPECT_EQ(background.getHeight(), height);
    // The name field's place lies on the picture.
    EXPECT_GE(width, 215);
    EXPECT_GE(height, 68);

    // Drawn pixels are the file's pixels, decoded by cairo from the file itself.
    cairo_surface_t* reference = cairo_image_surface_create_from_png(kPicture.c_str());
    ASSERT_EQ(cairo_surface_status(reference), CAIRO_STATUS_SUCCESS);
    CDrawContext context(width, height);
    background.draw(&context, CRect(0, 0, width, height));
    cairo_surface_flush(reference);
    const unsigned char* pixels = cairo_image_surface_get_data(reference);
    const int stride = cairo_image_surface_get_stride(reference);
    int differing = 0;
    for (int y = 0; y < height; y += 3) {
        for (int x = 0; x < width; x += 3) {
            uint32_t pixel = 0;
            std::memcpy(&pixel, pixels + y * stride + 4 * x, 4);
            const CColor drawn = context.getPixel(x, y);
            if (drawn != CColor((pixel >> 16) & 0xff, (pixel >> 8) & 0xff, pixel & 0xff, 255))
                ++differing;
        }
    }
    cairo_surface_destroy(reference);
    EXPECT_EQ(differing, 0);
}

TEST(Bitmap, MissingOrBrokenPicturesHaveNoSize) {
    CBitmap missing(999);
    EXPECT_EQ(missing.getWidth(), 0);
    EXPECT_EQ(missing.getHeight(), 0);
    EXPECT_FALSE(missing.isLoaded());
    CDrawContext context(10, 10);
    missing.draw(&context, CRect(0, 0, 10, 10));
    EXPECT_EQ(context.getPixel(5, 5).alpha, 0);

    const std::vector<unsigned char> file = readFile(kPicture);
    ASSERT_GT(file.size(), 200u);
    CBitmap truncated(file.data(), 200);
    EXPECT_EQ(truncated.getWidth(), 0);
    EXPECT_EQ(truncated.getHeight(), 0);
    std::vector<unsigned char> garbage(file.size(), 0x5a);
    CBitmap notPng(garbage.data(), garbage.size());
    EXPECT_FALSE(notPng.isLoaded());
    CBitmap empty(nullptr, 0);
    EXPECT_FALSE(empty.isLoaded());

    CBitmap whole(file.data(), file.size());
    EXPECT_TRUE(whole.isLoaded());
}

TEST(DrawContext, TextThatIsNotUtf8StillDraws) {
    CDrawContext context(120, 20);
    context.setFont(11);
    context.setFontColor(CColor(255, 255, 255));
    // A Latin-1 name from a host: cairo would refuse it and stop drawing for good.
    context.drawString("Caf\xe9 \xff\x80", CRect(0, 0, 120, 20), kLeftText);
    EXPECT_TRUE(context.isValid());
    // Drawn as Latin-1: as wide as the same text in UTF-8.
    EXPECT_EQ(context.getStringWidth("Caf\xe9"), context.getStringWidth("Caf\xc3\xa9"));
    int lit = 0;
    for (int x = 0; x < 60; ++x)
        for (int y = 0; y < 20; ++y)
            lit += context.getPixel(x, y).alpha > 0 ? 1 : 0;
    EXPECT_GT(lit, 20);
    context.setFillColor(CColor(10, 200, 30));
    context.fillRect(CRect(100, 0, 120, 20));
    EXPECT_EQ(context.getPixel(110, 10), CColor(10, 200, 30));
    // A length cuts the text.
    EXPECT_EQ(context.getStringWidth("Program", 3), context.getStringWidth("Pro"));
}
