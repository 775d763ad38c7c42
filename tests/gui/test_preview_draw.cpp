// The preview drawing on known pictures: bars, overlay colours at their
// coordinates, the panorama with its scale and the progress text.

#include <QImage>
#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "app/window/output_window.h"
#include "gui/window_fixture.h"
#include "view/preview_canvas.h"
#include "view/preview_draw.h"

namespace corvinex::test {
namespace {

QRgb Rgb(int r, int g, int b) {
  return qRgb(r, g, b);
}

// Frames of one colour with the spare byte left 0, as the decoder delivers them.
FrameImage Solid(int32_t w, int32_t h, uint8_t r, uint8_t g, uint8_t b) {
  FrameImage frame(w, h);
  std::fill(frame.pixels.begin(), frame.pixels.end(), PackBgrx(b, g, r, 0));
  return frame;
}

int CountColour(const QImage& image, QRect area, QRgb colour) {
  int count = 0;
  area = area.intersected(image.rect());
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) count += image.pixel(x, y) == colour;
  }
  return count;
}

PreviewScene RingScene(const FrameImage& frame) {
  PreviewScene scene;
  scene.frame = &frame;
  scene.ring = {150, 20, 316, 306, 32};
  return scene;
}

TEST(PreviewDraw, WideFrameSitsBetweenBlackBars) {
  const FrameImage frame = Solid(1920, 1080, 0xC0, 0x80, 0x40);
  EXPECT_EQ(PlacePreview(1920, 1080).PH, 338);
  EXPECT_EQ(PlacePreview(1920, 1080).oy, 131);
  QImage area(600, 600, QImage::Format_RGB32);
  DrawCaption(area, "Main Window");
  EXPECT_EQ(PreviewDraw(RingScene(frame), nullptr, &area), 2);
  const QRgb picture = Rgb(0xC0, 0x80, 0x40);
  for (int x : {0, 20, 590}) {
    EXPECT_EQ(area.pixel(x, 0), Rgb(0, 0, 0));
    EXPECT_EQ(area.pixel(x, 131), Rgb(0, 0, 0));
    EXPECT_EQ(area.pixel(x, 469), Rgb(0, 0, 0));
    EXPECT_EQ(area.pixel(x, 599), Rgb(0, 0, 0));
  }
  // The top box covers rows 1 to oy, so the picture shows from row 132 to 468.
  EXPECT_EQ(area.pixel(20, 132), picture);
  EXPECT_EQ(area.pixel(20, 468), picture);
  // Left of the overlay the bars are wholly black.
  EXPECT_EQ(CountColour(area, QRect(0, 0, 120, 132), Rgb(0, 0, 0)), 120 * 132);
  EXPECT_EQ(CountColour(area, QRect(0, 469, 120, 131), Rgb(0, 0, 0)), 120 * 131);
}

TEST(PreviewDraw, CutAreaOverlayHasItsColoursAtItsPlaces) {
  const FrameImage frame = Solid(1920, 1080, 0xC0, 0x80, 0x40);
  QImage area(600, 600, QImage::Format_RGB32);
  PreviewDraw(RingScene(frame), nullptr, &area);
  const int oy = 131;
  // Centre (308, 173): the internal circle is filled #222277 with a blue rim.
  EXPECT_EQ(area.pixel(308, 173 + oy), Rgb(0x22, 0x22, 0x77));
  EXPECT_GT(CountColour(area, QRect(308 - 34, 173 + oy - 2, 5, 5), Rgb(0, 0, 0xFF)), 0);
  // External circle: red at its left and top edges, dotted.
  EXPECT_GT(CountColour(area, QRect(153, 173 + oy - 6, 5, 13), Rgb(0xFF, 0, 0)), 0);
  EXPECT_GT(CountColour(area, QRect(300, 20 + oy - 1, 20, 3), Rgb(0xFF, 0, 0)), 0);
  // Guide circle inside it: blue.
  EXPECT_GT(CountColour(area, QRect(159, 173 + oy - 6, 5, 13), Rgb(0, 0, 0xFF)), 0);
  // Cross through px = 310 (309.5 rounds to even), py = 174: green, dotted on black.
  EXPECT_GT(CountColour(area, QRect(310, 20 - 20 + oy, 1, 15), Rgb(0, 0xFF, 0)), 3);
  EXPECT_GT(CountColour(area, QRect(310, 20 - 20 + oy, 1, 15), Rgb(0, 0, 0)), 3);
  EXPECT_GT(CountColour(area, QRect(135, 174 + oy, 15, 1), Rgb(0, 0xFF, 0)), 3);
  // The zero-degree ray is solid red to X1 + X2 + 20.
  EXPECT_EQ(CountColour(area, QRect(400, 174 + oy, 60, 1), Rgb(0xFF, 0, 0)), 60);
  // Degree labels in #555555.
  EXPECT_GT(CountColour(area, QRect(475, 174 + oy - 18, 30, 16), Rgb(0x55, 0x55, 0x55)), 5);
  // Far from the overlay the picture is untouched.
  EXPECT_EQ(area.pixel(60, 300), Rgb(0xC0, 0x80, 0x40));
}

TEST(PreviewDraw, SquareFrameLeavesOnlyOnePixelBars) {
  const FrameImage frame = Solid(800, 800, 0x10, 0xA0, 0x10);
  QImage area(600, 600, QImage::Format_RGB32);
  PreviewDraw(RingScene(frame), nullptr, &area);
  EXPECT_EQ(area.pixel(40, 1), Rgb(0x10, 0xA0, 0x10));
  EXPECT_EQ(area.pixel(40, 598), Rgb(0x10, 0xA0, 0x10));
}

TEST(PreviewDraw, ProbeLinesShowOnlyAfterAProbe) {
  const FrameImage frame = Solid(640, 640, 0x20, 0x20, 0x20);
  QImage area(600, 600, QImage::Format_RGB32);
  PreviewScene scene = RingScene(frame);
  PreviewDraw(scene, nullptr, &area);
  EXPECT_EQ(CountColour(area, QRect(10, 10, 150, 50), Rgb(0x80, 0x80, 0x80)), 0);
  scene.probeLines = {"Input #0", "Duration: 00:00:05.00", "Stream #0:0: Video: h264", ""};
  PreviewDraw(scene, nullptr, &area);
  EXPECT_GT(CountColour(area, QRect(10, 10, 150, 14), Rgb(0x80, 0x80, 0x80)), 100);
  EXPECT_GT(CountColour(area, QRect(10, 30, 150, 14), Rgb(0x80, 0x80, 0x80)), 100);
  EXPECT_EQ(CountColour(area, QRect(10, 52, 150, 10), Rgb(0x80, 0x80, 0x80)), 0);
}

// A stream description longer than the area ends in an ellipsis before the edge; the
// label grey never reaches the last pixels of the row.
TEST(PreviewDraw, LongProbeLinesAreElidedInsideTheArea) {
  const FrameImage frame = Solid(640, 640, 0x20, 0x20, 0x20);
  QImage area(600, 600, QImage::Format_RGB32);
  PreviewScene scene = RingScene(frame);
  const std::string longLine =
      "Stream #0:0[0x1](und): Video: h264 (High) (avc1 / 0x31637661), yuv420p(tv, bt709, "
      "progressive), 1920x1080 [SAR 1:1 DAR 16:9], 15000 kb/s, 29.97 fps, 29.97 tbr, 30k tbn "
      "(default)";
  scene.probeLines = {"Input #0", longLine, longLine, ""};
  PreviewDraw(scene, nullptr, &area);
  EXPECT_GT(CountColour(area, QRect(10, 10, 500, 14), Rgb(0x80, 0x80, 0x80)), 1000);
  EXPECT_EQ(CountColour(area, QRect(591, 10, 9, 34), Rgb(0x80, 0x80, 0x80)), 0)
      << "the label stops 10 pixels before the edge";
}

// The output picture is drawn as large as fits with its proportions, centred, the rest
// in the caption grey; the degree scale spans the picture, whose columns it names.
TEST(PreviewDraw, OutputPictureFitsTheAreaWithItsScale) {
  FrameImage strip(100, 41);
  FrameImage output(400, 200);  // 2:1, bottom-up: lower half blue, upper half green
  for (int32_t row = 0; row < 200; ++row) {
    std::fill_n(output.Row(row), 400,
                row < 100 ? PackBgrx(0xFF, 0, 0, 0) : PackBgrx(0, 0xFF, 0, 0));
  }
  PreviewScene scene;
  scene.panorama = &strip;
  scene.panoramaWidth = 100;
  scene.panoramaRows = 30;
  scene.output = &output;
  QImage area(1000, 200, QImage::Format_RGB32);
  ASSERT_EQ(PreviewDraw(scene, &area, nullptr), 1);
  EXPECT_EQ(FitInPanoramaArea(400, 200), QRect(300, 0, 400, 200));
  EXPECT_EQ(area.pixel(100, 100), Rgb(0x33, 0x33, 0x33));
  EXPECT_EQ(area.pixel(900, 50), Rgb(0x33, 0x33, 0x33));
  EXPECT_EQ(area.pixel(500, 50), Rgb(0, 0xFF, 0)) << "the picture's top is its last rows";
  EXPECT_EQ(area.pixel(450, 150), Rgb(0, 0, 0xFF));
  // The scale: line from the picture's left to its right, middle tick at its centre.
  EXPECT_EQ(area.pixel(350, 182), Rgb(0, 0, 0xFF));
  EXPECT_EQ(area.pixel(250, 182), Rgb(0x33, 0x33, 0x33));
  EXPECT_EQ(area.pixel(500, 175), Rgb(0, 0, 0xFF));
  EXPECT_EQ(area.pixel(600, 175), Rgb(0, 0, 0xFF)) << "the three-quarter tick";
  EXPECT_EQ(area.pixel(750, 175), Rgb(0x33, 0x33, 0x33)) << "none where the strip has it";
  // A wide picture: full width, centred vertically.
  EXPECT_EQ(FitInPanoramaArea(2000, 100), QRect(0, 75, 1000, 50));
  EXPECT_EQ(FitInPanoramaArea(0, 0), QRect(0, 0, 1000, 200));
}

TEST(PreviewDraw, PanoramaWithScaleAndProgressText) {
  // A panorama of 100 x 40 rows (plus one) with 10 rows cut for the internal circle:
  // the cut rows are red, the picture rows green.
  FrameImage panorama(100, 41);
  for (int32_t row = 0; row < 41; ++row) {
    std::fill_n(panorama.Row(row), 100,
                row < 10 ? PackBgrx(0, 0, 0xFF, 0) : PackBgrx(0, 0xFF, 0, 0));
  }
  PreviewScene scene;
  scene.panorama = &panorama;
  scene.panoramaWidth = 100;
  scene.panoramaRows = 30;
  scene.cutRows = 10;
  QImage area(1000, 200, QImage::Format_RGB32);
  EXPECT_EQ(PreviewDraw(scene, &area, nullptr), 1);
  EXPECT_EQ(area.pixel(500, 100), Rgb(0, 0xFF, 0));
  EXPECT_EQ(CountColour(area, area.rect(), Rgb(0xFF, 0, 0)), 0);
  // Blue scale line at y 182 and a tick at x 500.
  EXPECT_EQ(area.pixel(600, 182), Rgb(0, 0, 0xFF));
  EXPECT_EQ(area.pixel(500, 175), Rgb(0, 0, 0xFF));
  EXPECT_EQ(CountColour(area, QRect(10, 10, 200, 100), Rgb(0x80, 0x80, 0x80)), 0);

  scene.flipVertical = true;  // starts at the buffer's first row: the cut rows show
  scene.conversionRunning = true;
  ProgressState progress;
  OverlayInfo info;
  info.lensName = "Vistrel Lens ";
  scene.progressLines = ProgressOverlayLines(progress, info);
  PreviewDraw(scene, &area, nullptr);
  EXPECT_GT(CountColour(area, area.rect(), Rgb(0xFF, 0, 0)), 1000);
  EXPECT_GT(CountColour(area, QRect(10, 10, 200, 12), Rgb(0x80, 0x80, 0x80)), 200);
  EXPECT_GT(CountColour(area, QRect(10, 90, 150, 12), Rgb(0x80, 0x80, 0x80)), 200);
}

// Where the scale is blue in a 20 x 20 box: a number's glyphs with the ticks and line
// near it.
std::vector<bool> BlueIn(const QImage& image, int left, int top) {
  return ColourMask(image, QRect(left, top, 20, 20), Rgb(0, 0, 0xFF));
}

// The scale names the direction each column shows: turned by the heading, each number
// and its tick move with their column, round the edges, and look as they did unturned.
TEST(PreviewDraw, DegreeScaleFollowsTheHeading) {
  struct Expected {
    std::string label;
    int tick, text;
  };
  const auto expect = [](const DegreeScale& scale, const std::vector<Expected>& wanted) {
    ASSERT_EQ(scale.count, static_cast<int32_t>(wanted.size()));
    for (size_t i = 0; i < wanted.size(); ++i) {
      SCOPED_TRACE(wanted[i].label);
      EXPECT_EQ(scale.marks[i].label, wanted[i].label);
      EXPECT_EQ(scale.marks[i].tickX, wanted[i].tick);
      EXPECT_EQ(scale.marks[i].textX, wanted[i].text);
    }
  };
  const std::vector<Expected> unturned = {
      {"360", 1, 8}, {"270", 250, 250}, {"180", 500, 492}, {"90", 750, 734}, {"0", 995, 952}};
  expect(DegreeScaleMarks(0, 100), unturned);
  expect(DegreeScaleMarks(100, 100), unturned);
  // Heading 36 on 100 columns turns 10: what showed at 100 units shows at the left edge.
  expect(DegreeScaleMarks(10, 100),
         {{"270", 150, 150}, {"180", 400, 392}, {"90", 650, 634}, {"0", 900, 857}});
  // Heading -90 turns 75 of 100: the picture moves right a quarter, 90 reaches the
  // right edge and 0 comes round from it.
  expect(DegreeScaleMarks(75, 100),
         {{"0", 250, 207}, {"270", 500, 500}, {"180", 750, 742}, {"90", 995, 979}});

  FrameImage panorama = Solid(100, 41, 0x30, 0x60, 0x30);
  PreviewScene scene;
  scene.panorama = &panorama;
  scene.panoramaWidth = 100;
  scene.panoramaRows = 40;
  QImage before(1000, 200, QImage::Format_RGB32);
  ASSERT_EQ(PreviewDraw(scene, &before, nullptr), 1);
  for (int x : {1, 250, 500, 750, 995}) EXPECT_EQ(before.pixel(x, 175), Rgb(0, 0, 0xFF)) << x;
  for (int turn : {10, 75}) {
    SCOPED_TRACE(turn);
    scene.turn = turn;
    QImage after(1000, 200, QImage::Format_RGB32);
    ASSERT_EQ(PreviewDraw(scene, &after, nullptr), 1);
    const DegreeScale moved = DegreeScaleMarks(turn, 100);
    for (int32_t i = 0; i < moved.count; ++i) {
      const DegreeMark& mark = moved.marks[static_cast<size_t>(i)];
      SCOPED_TRACE(mark.label);
      EXPECT_EQ(after.pixel(mark.tickX, 175), Rgb(0, 0, 0xFF));
      const auto was = std::find_if(unturned.begin(), unturned.end(),
                                    [&](const Expected& e) { return e.label == mark.label; });
      ASSERT_NE(was, unturned.end());
      const std::vector<bool> shown = BlueIn(after, mark.textX, 165);
      EXPECT_EQ(shown, BlueIn(before, was->text, 165)) << "the number beside its tick";
      EXPECT_GT(std::count(shown.begin(), shown.end(), true), 50);
    }
    EXPECT_NE(after.pixel(1, 175), Rgb(0, 0, 0xFF)) << "no 360 at the left edge once turned";
    EXPECT_NE(BlueIn(after, 492, 165), BlueIn(before, 492, 165)) << "180 left its unturned place";
  }
}

TEST_F(WindowFixture, AnotherThreadDrawsIntoTheBackBuffers) {
  MainWindow& w = Open();
  const FrameImage frame = Solid(1920, 1080, 0xC0, 0x80, 0x40);
  FrameImage panorama = Solid(200, 51, 0x30, 0x60, 0x90);
  PreviewScene scene = RingScene(frame);
  scene.panorama = &panorama;
  scene.panoramaWidth = 200;
  scene.panoramaRows = 50;
  std::thread drawer([&] {
    for (int i = 0; i < 20; ++i) w.DrawPreview(scene);
  });
  for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();
  drawer.join();
  QCoreApplication::processEvents();
  const QImage doughnut = w.DoughnutArea()->Snapshot();
  EXPECT_EQ(doughnut.pixel(20, 200), Rgb(0xC0, 0x80, 0x40));
  EXPECT_EQ(doughnut.pixel(20, 20), Rgb(0, 0, 0));
  EXPECT_EQ(w.TransformArea()->Snapshot().pixel(300, 100), Rgb(0x30, 0x60, 0x90));

  // The captions come back with ClearPreviews.
  w.ClearPreviews();
  EXPECT_EQ(w.DoughnutArea()->Snapshot().pixel(300, 300), Rgb(0x33, 0x33, 0x33));
  EXPECT_GT(CountColour(w.DoughnutArea()->Snapshot(), QRect(10, 10, 90, 15), Rgb(255, 255, 255)),
            20);
}

TEST_F(WindowFixture, OutputWindowTakesThePanoramaWhileOpen) {
  MainWindow& w = Open(true);
  FrameImage panorama = Solid(200, 51, 0x30, 0x60, 0x90);
  PreviewScene scene;
  scene.panorama = &panorama;
  scene.panoramaWidth = 200;
  scene.panoramaRows = 50;
  w.DrawPreview(scene);
  ASSERT_NE(w.OutputWindowIfOpen(), nullptr);
  EXPECT_EQ(w.OutputWindowIfOpen()->Area()->Snapshot().pixel(300, 100), Rgb(0x30, 0x60, 0x90));
  // The transform area keeps its old picture.
  EXPECT_EQ(w.TransformArea()->Snapshot().pixel(300, 100), Rgb(0x33, 0x33, 0x33));
}

}  // namespace
}  // namespace corvinex::test
