#include <gtest/gtest.h>

#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <atomic>

#include "view/viewer_window.h"

namespace corvinex {
namespace {

// A 2000 x 500 panorama whose blue channel grows with the column.
PanoramaCopy GradientSource(std::atomic<int>* copies) {
  return [copies](FrameImage& into) {
    for (int32_t y = 0; y < into.height; ++y) {
      for (int32_t x = 0; x < into.width; ++x) {
        into.Row(y)[x] = PackBgrx(static_cast<uint8_t>(x * 255 / (into.width - 1)), 90, 30);
      }
    }
    ++*copies;
    return true;
  };
}

bool WaitFor(const std::function<bool()>& done, int ms = 5000) {
  for (int waited = 0; waited < ms && !done(); waited += 10) QTest::qWait(10);
  return done();
}

TEST(ViewerWindow, DrawsThePanoramaAndOpensOnlyOnce) {
  std::atomic<int> copies{0};
  int plays = 0;
  QWidget owner;
  ViewerWindow* viewer =
      OpenViewerWindow(&owner, 2000, 500, GradientSource(&copies), [&plays] { ++plays; });
  ASSERT_NE(viewer, nullptr);
  EXPECT_TRUE(ViewerWindow::IsOpen());
  EXPECT_EQ(viewer->windowTitle(), "360 Video Viewer");
  EXPECT_EQ(viewer->size(), QSize(642, 424));
  EXPECT_EQ(OpenViewerWindow(&owner, 2000, 500, GradientSource(&copies), {}), nullptr);

  ASSERT_TRUE(WaitFor([&] { return viewer->FramesDrawn() >= 2; }));
  const QImage frame = viewer->LastFrame();
  ASSERT_EQ(frame.size(), QSize(640, 388));
  // Yaw -90 looks at column pw / 4: a quarter of the blue ramp.
  EXPECT_NEAR(qBlue(frame.pixel(319, 194)), 63, 3);
  EXPECT_NEAR(qGreen(frame.pixel(319, 194)), 90, 3);

  // Play/Pause stops the motion and reaches the movie.
  viewer->PressKey(ViewKey::Left);
  viewer->findChild<QPushButton*>("playPause")->click();
  EXPECT_EQ(plays, 1);
  EXPECT_FALSE(viewer->State().dragging);

  bool closed = false;
  QObject::connect(viewer, &ViewerWindow::closed, [&closed] { closed = true; });
  viewer->close();
  EXPECT_TRUE(closed);
  EXPECT_FALSE(ViewerWindow::IsOpen());
  ViewerWindow* again = OpenViewerWindow(&owner, 2000, 500, GradientSource(&copies), {});
  ASSERT_NE(again, nullptr);
  again->close();
}

TEST(ViewerWindow, DragKeysAndButtonsTurnAndZoom) {
  std::atomic<int> copies{0};
  QWidget owner;
  ViewerWindow* viewer = OpenViewerWindow(&owner, 2000, 500, GradientSource(&copies), {});
  ASSERT_NE(viewer, nullptr);
  QWidget* area = viewer->childAt(300, 200);
  ASSERT_NE(area, nullptr);

  // Press, move right with the left button held: the view turns right every frame.
  QTest::mousePress(area, Qt::LeftButton, {}, QPoint(100, 100));
  QMouseEvent move(QEvent::MouseMove, QPointF(200, 100), area->mapToGlobal(QPointF(200, 100)),
                   Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(area, &move);
  EXPECT_TRUE(viewer->State().dragging);
  ASSERT_TRUE(WaitFor([&] { return viewer->State().yaw > -70; }));
  QTest::mouseRelease(area, Qt::LeftButton, {}, QPoint(200, 100));
  EXPECT_FALSE(viewer->State().dragging);
  const float yaw = viewer->State().yaw;
  QTest::qWait(100);
  EXPECT_FLOAT_EQ(viewer->State().yaw, yaw);

  // Shift zooms in until the stop button ends it.
  QTest::keyPress(area, Qt::Key_Shift);
  EXPECT_TRUE(viewer->State().zoomIn);
  ASSERT_TRUE(WaitFor([&] { return viewer->State().fov < 110; }));
  viewer->findChild<QToolButton*>("stop")->click();
  EXPECT_FALSE(viewer->State().zoomIn);
  // "rup" zooms out, "left" turns left.
  viewer->findChild<QToolButton*>("rup")->click();
  EXPECT_TRUE(viewer->State().zoomOut);
  viewer->findChild<QToolButton*>("left")->click();
  const float before = viewer->State().yaw;
  ASSERT_TRUE(WaitFor([&] { return viewer->State().yaw < before - 0.5f; }));
  viewer->close();
}

}  // namespace
}  // namespace corvinex
