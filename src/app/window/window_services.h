#pragma once
// What the window asks of the rest of the program. Each member is optional: an
// empty one means the part is not in this build yet, and the command then only
// writes a line to the diagnostic log. Tests fill them to watch the calls.

#include <QUrl>
#include <functional>
#include <string>

namespace corvinex {

class MainWindow;
struct FrameImage;
struct LogoState;

struct WindowServices {
  // Opens the chosen movie in the frame source and starts its stream loop.
  std::function<void(MainWindow&, const std::string& path)> openMovie;
  // Runs (true) or pauses (false) the open movie; rewinds first at the end.
  std::function<void(MainWindow&, bool play)> playPause;
  // Whether the open movie has played to its end.
  std::function<bool(MainWindow&)> movieAtEnd;
  // Ends the stream loop and closes the movie (shutdown).
  std::function<void(MainWindow&)> closeMovie;
  // Stops the open movie and seeks it to the start, before a conversion.
  std::function<void(MainWindow&)> stopForConversion;
  // Brings the movie back after Convert Doughnut (a cancelled chooser or a finished
  // run): reopened when the run closed it, paused where it was before.
  std::function<void(MainWindow&)> resumeMovie;
  // The conversion driver: runs one whole Convert Doughnut to `output`.
  std::function<void(MainWindow&, const std::string& output)> convertMovie;
  // Plain movie transcoding (Convert Movie to AVI).
  std::function<void(MainWindow&, const std::string& input, const std::string& output)>
      transcodeMovie;
  // Asks the stream loop for a preview refresh now, also while paused.
  std::function<void(MainWindow&)> refreshPreview;
  std::function<void(MainWindow&)> startViewer;
  std::function<void(MainWindow&)> closeViewer;
  std::function<void(MainWindow&)> chooseLogo;
  // The logo chosen now (null or not present without one): a photo converted in the
  // window takes it as a movie's conversion does.
  std::function<const LogoState*(MainWindow&)> currentLogo;
  // Copies the picture the open movie or photo shows now (upright, its own size) into
  // the frame; false when none is decoded yet. Find Ring takes a photo's from here
  // instead of decoding the file again.
  std::function<bool(MainWindow&, FrameImage& picture)> shownPicture;
  std::function<void(MainWindow&)> runLogoMaker;
  std::function<void(MainWindow&)> startR3dConverter;
  std::function<void(MainWindow&)> showAbout;
  // The shell's open action (manual, web page); QDesktopServices by default.
  std::function<bool(const QUrl&)> openUrl;
};

}  // namespace corvinex
