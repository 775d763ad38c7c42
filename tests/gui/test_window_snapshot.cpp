#include <QDir>
#include <QImage>

#include "app/window/window_snapshot.h"
#include "gui/window_fixture.h"

namespace corvinex::test {
namespace {

// The PNGs land beside the test program, so anyone can look at the layout.
QString SnapshotPath(const QString& name) {
  return QDir(QCoreApplication::applicationDirPath()).filePath(name);
}

TEST_F(WindowFixture, SnapshotsOfBothFormsShowTheLayout) {
  MainWindow& w = Open(false);
  const QString standard = SnapshotPath("main_window_standard.png");
  ASSERT_TRUE(SaveWindowPng(w, standard));
  const QImage picture(standard);
  ASSERT_EQ(picture.size(), QSize(1024, 849));
  window.reset();

  MainWindow& small = Open(true);
  const QString shortened = SnapshotPath("main_window_shortened.png");
  ASSERT_TRUE(SaveWindowPng(small, shortened));
  EXPECT_EQ(QImage(shortened).size(), QSize(1010, 650));
}

}  // namespace
}  // namespace corvinex::test
