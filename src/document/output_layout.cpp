#include "document/output_layout.h"

#include <algorithm>

namespace vtl::document {

int PrintScale(int pageWidth, int pictureWidth, int dotsPerInch)
{
    int scale = pictureWidth > 0 ? (pageWidth - 100) / pictureWidth : 1;
    scale = std::max(scale, 1);
    const int dotsPerHundredth = dotsPerInch / 100;
    return dotsPerHundredth < 1 ? 1 : std::min(scale, dotsPerHundredth);
}

TDIB MakeWallpaper(const platform::TBitmap& picture, bool adjust, int screenWidth, int screenHeight,
    platform::TColor background)
{
    TDIB dib;
    const int w = picture.Width();
    const int h = picture.Height();
    const int neededWidth = screenHeight > 0 ? h * screenWidth / screenHeight : w;
    const int neededHeight = screenWidth > 0 ? w * screenHeight / screenWidth : h;
    auto onGround = [&](int width, int height, int x, int y) {
        platform::TBitmap ground(width, height, platform::TPixelFormat::pf24bit);
        ground.Canvas().Brush.Color = background;
        ground.Canvas().FillRect({ 0, 0, width, height });
        ground.Canvas().Draw(x, y, picture);
        dib.Assign(ground);
    };
    if (adjust && neededHeight > h)
        onGround(w, neededHeight, 0, (neededHeight - h) / 2);
    else if (adjust && w < neededWidth)
        onGround(neededWidth, h, (neededWidth - w) / 2, 0);
    else
        dib.Assign(picture);
    if (picture.PixelFormat() == platform::TPixelFormat::pf8bit)
        dib.SetPixelFormat(DibPixelFormat::Dib8BitRle);
    else if (picture.PixelFormat() == platform::TPixelFormat::pf4bit)
        dib.SetPixelFormat(DibPixelFormat::Dib4BitRle);
    return dib;
}

} // namespace vtl::document
