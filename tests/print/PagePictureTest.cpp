// Page pictures made from the map on demand: in bands, cropped and sampled for the preview,
// always with the pixels the whole picture has.

#include "PrintTestSupport.h"
#include "print/PreviewPages.h"

#include <gtest/gtest.h>

namespace varrow {
namespace {

using test::MapPattern;

std::vector<TPageBand> Bands(const TPagePicture& picture, int above, int below) {
    std::vector<TPageBand> bands;
    picture.ForEachBand(
        [&](const TPageBand& band) {
            bands.push_back(band);
            return true;
        },
        above, below);
    return bands;
}

// A picture of four and a half bands: 2400 wide, as a letter page at 300 per inch.
TPagePicture Tall(const QImage& map, TStretch mode) {
    return TPagePicture(map, QRectF(3.25, 7.5, 700.6, 560.3), QRect(40, 60, 2400, 1900), mode);
}

TEST(PagePicture, BandsMeetWithoutGapAndHaveThePixelsOfTheWhole) {
    const QImage map = MapPattern(800, 600);
    const QRect area(40, 60, 2400, 1900);
    for (const TStretch mode : {TStretch::Plain, TStretch::Smooth}) {
        const TPagePicture picture = Tall(map, mode);
        const QImage whole = picture.Render().convertToFormat(QImage::Format_RGB32);
        for (const auto& [above, below] : {std::pair{0, 0}, std::pair{16, 19}}) {
            const std::vector<TPageBand> bands = Bands(picture, above, below);
            ASSERT_GE(bands.size(), 4u);
            int next = area.top();
            for (const TPageBand& b : bands) {
                SCOPED_TRACE(testing::Message() << "band at " << b.Own.top() << ", " << above
                                                << " above, " << below << " below");
                EXPECT_EQ(b.Own, QRect(area.left(), next, area.width(), b.Own.height()));
                EXPECT_EQ((b.Own.top() - area.top()) % TPagePicture::JpegBlock, 0);
                EXPECT_LE(qint64(b.Image.width()) * b.Image.height(), TPagePicture::BandPixels);
                const QRect drawn(b.At, b.Image.size());
                EXPECT_EQ(drawn, Ltrb(area.left(), std::max(area.top(), b.Own.top() - above),
                                      area.right() + 1,
                                      std::min(area.bottom(), b.Own.bottom() + below) + 1));
                EXPECT_EQ(b.Image, whole.copy(drawn.translated(-area.topLeft())));
                next = b.Own.bottom() + 1;
            }
            EXPECT_EQ(next, area.bottom() + 1) << "the last band ends with the picture";
        }
    }
}

TEST(PagePicture, ACroppedPictureKeepsItsPixels) {
    const QImage map = MapPattern(800, 600);
    TPagePicture picture = Tall(map, TStretch::Smooth);
    const QImage whole = picture.Render();
    picture.Crop(QRect(0, 0, 1000, 1000));
    EXPECT_EQ(picture.Area(), QRect(40, 60, 960, 940));
    EXPECT_EQ(picture.Render(), whole.copy(0, 0, 960, 940));
    const std::vector<TPageBand> bands = Bands(picture, 0, 0);
    ASSERT_EQ(bands.size(), 1u);
    EXPECT_EQ(bands[0].Image.convertToFormat(QImage::Format_RGB888), whole.copy(0, 0, 960, 940));
    picture.Crop(QRect(2000, 0, 10, 10));
    EXPECT_TRUE(picture.IsNull());
}

TEST(PagePicture, SamplingReadsOnlyThePickedRowsButPicksAsAPlainStretchOfTheWhole) {
    const QImage map = MapPattern(800, 600);
    const TPagePicture picture = Tall(map, TStretch::Smooth);
    const QImage whole = picture.Render();
    QImage expected(QSize(333, 251), QImage::Format_RGB888);
    StretchImage(whole, QRectF(whole.rect()), expected, expected.rect(), TStretch::Plain);
    EXPECT_EQ(picture.Sample(expected.size()), expected);
}

TEST(PagePicture, APageIsBlankOnlyWhenEveryBandIsWhite) {
    TPrinterPage page;
    page.RefreshMetrics(test::Letter300());
    QImage map(800, 1000, QImage::Format_RGB32);
    map.fill(Qt::white);
    page.SetPicture(map, QRectF(map.rect()), QRect(0, 0, 2400, 3000), TStretch::Plain);
    EXPECT_TRUE(page.IsBlank());
    map.setPixel(799, 999, qRgb(250, 250, 250)); // in the last band
    page.SetPicture(map, QRectF(map.rect()), QRect(0, 0, 2400, 3000), TStretch::Plain);
    EXPECT_FALSE(page.IsBlank());
}

} // namespace
} // namespace varrow
