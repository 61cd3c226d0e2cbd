// The Qt preview pane's wiring: the current row's drawing painted with its dimensions in their
// mark's colour, the keys reaching the pane through Tab, and F3 hiding it. What the pane shows and
// how it zooms is the form's, tested in its own suite.
#include "window_testkit.h"

#include "render/styles.h"
#include "window/PreviewWidget.h"

#include <QImage>
#include <QTableView>
#include <QTest>

#include <cstdlib>

using namespace quellmark;
using namespace qmtest;

namespace {

// Pixels near the colour (antialiased edges stray a little from it).
int PixelsOf(const QImage& image, std::uint32_t rgb) {
    const QColor want = QColor::fromRgb(static_cast<QRgb>(rgb));
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor got = image.pixelColor(x, y);
            if (std::abs(got.red() - want.red()) + std::abs(got.green() - want.green()) +
                    std::abs(got.blue() - want.blue()) <
                40)
                ++count;
        }
    }
    return count;
}

}  // namespace

TEST_F(WindowTest, ThePanePaintsTheSelectedDrawingWithItsMarksAndTakesKeys) {
    const fs::path drawings = dir / "drawings";
    fs::create_directories(drawings);
    fs::copy_file(QUELLMARK_SOURCE_DIR "/examples/floor-plan-600.jww", drawings / "floor-plan-600.jww");
    TForm1& window = Start();
    List(drawings);
    SelectRows(1, 1);
    const PreviewPane& pane = window.Form().Pane();
    ASSERT_TRUE(QTest::qWaitFor([&] { return pane.State() == PaneState::Picture; }));
    ASSERT_TRUE(window.Preview->isVisible());
    const QImage picture = window.Preview->grab().toImage();
    EXPECT_GT(PixelsOf(picture, render::MarkColor(render::DimensionMark::ToMark)), 20);

    // Tab goes from the list to the pane; + zooms, Home fits again.
    window.StringGrid1->setFocus();
    QTest::keyClick(window.StringGrid1, Qt::Key_Tab);
    ASSERT_TRUE(window.Preview->hasFocus());
    const double fitted = pane.Transform().scale;
    QTest::keyClick(window.Preview, Qt::Key_Plus);
    EXPECT_GT(pane.Transform().scale, fitted);
    QTest::keyClick(window.Preview, Qt::Key_Home);
    EXPECT_DOUBLE_EQ(pane.Transform().scale, fitted);

    // F3 hides it, and the list takes the keys back.
    QTest::keyClick(window.Preview, Qt::Key_F3);
    EXPECT_FALSE(window.Preview->isVisible());
    EXPECT_EQ(pane.State(), PaneState::Hidden);
    EXPECT_TRUE(window.StringGrid1->hasFocus());
}
