// The emoticon pictures: one for each number the codes reach, all different,
// readable on light and dark backgrounds; and the menu's codes reach the
// pictures it shows.
#include <gtest/gtest.h>
#include <QImage>
#include <QPainter>

#include <cstdlib>
#include <set>
#include <string>

#include "client/ui/conversation/emoticons.h"
#include "client/ui/conversation/transcript_layout.h"

namespace parlo::client::testing {
namespace {

constexpr std::array<int, 16> kBitmaps{142, 143, 144, 145, 146, 147, 148, 149,
                                       150, 151, 152, 153, 154, 155, 156, 159};

QImage On(const QPixmap& picture, QColor background) {
    QImage image(picture.size(), QImage::Format_RGB32);
    image.fill(background);
    QPainter(&image).drawPixmap(0, 0, picture);
    return image;
}

// Pixels far from the background: what the eye sees of the picture.
int Visible(const QImage& image, QColor background) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c(image.pixel(x, y));
            const int distance = std::abs(c.red() - background.red()) +
                                 std::abs(c.green() - background.green()) +
                                 std::abs(c.blue() - background.blue());
            count += distance > 150 ? 1 : 0;
        }
    }
    return count;
}

TEST(Emoticons, SixteenDistinctPicturesReadableOnLightAndDark) {
    std::set<std::string> seen;
    for (const int bitmap : kBitmaps) {
        const QPixmap picture = EmoticonPicture(bitmap);
        ASSERT_EQ(picture.size(), QSize(kEmoticonSize, kEmoticonSize)) << bitmap;
        const QImage light = On(picture, Qt::white);
        const QImage dark = On(picture, QColor(30, 30, 30));
        EXPECT_GT(Visible(light, Qt::white), 80) << bitmap;
        EXPECT_GT(Visible(dark, QColor(30, 30, 30)), 80) << bitmap;
        // The corners stay the background's.
        EXPECT_EQ(light.pixel(0, 20), qRgb(255, 255, 255)) << bitmap;
        EXPECT_EQ(light.pixel(20, 20), qRgb(255, 255, 255)) << bitmap;
        const QImage bits = picture.toImage().convertToFormat(QImage::Format_ARGB32);
        seen.insert(std::string(reinterpret_cast<const char*>(bits.constBits()),
                                static_cast<size_t>(bits.sizeInBytes())));
    }
    EXPECT_EQ(seen.size(), kBitmaps.size());
    for (const int other : {0, 141, 157, 158, 160, -1}) {
        EXPECT_TRUE(EmoticonPicture(other).isNull()) << other;
    }
}

TEST(Emoticons, MenuCodesShowTheirPicturesInTheTranscript) {
    const auto items = EmoticonMenuItems();
    ASSERT_EQ(items.size(), 16u);
    std::set<int> bitmaps;
    for (const EmoticonMenuItem& item : items) {
        const std::string row = RewriteAliases(item.code);
        EXPECT_TRUE(IsEmoticonCandidate(row)) << item.code;
        EXPECT_EQ(EmoticonBitmap(row), item.bitmap) << item.code;
        bitmaps.insert(item.bitmap);
    }
    EXPECT_EQ(bitmaps, std::set<int>(kBitmaps.begin(), kBitmaps.end()));
}

}  // namespace
}  // namespace parlo::client::testing
