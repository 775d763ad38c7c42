#pragma once
// The program's main window: menus, accelerators, controls, the two preview
// areas, and the command dispatcher behind all of them.

#include <QMainWindow>
#include <QPointer>
#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include "app/program_state.h"
#include "app/window/window_services.h"
#include "app/window/window_state.h"
#include "transform/lens_profile.h"
#include "transform/ring_finder.h"
#include "view/preview_draw.h"

class QAction;
class QLabel;
class QMenu;
class QMessageBox;

namespace corvinex {

// Below this confidence Find Ring asks the user to check the circle it placed.
inline constexpr double kDoubtfulRingConfidence = 0.6;

class BitmapButton;
class ClickSounds;
class CutAreaDialog;
class CutAreaMouse;
class OutputWindow;
class PreviewCanvas;
struct MovieRing;

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  MainWindow(ProgramState& state, WindowServices services = {}, QWidget* parent = nullptr);
  ~MainWindow() override;

  ProgramState& State() { return state_; }
  WindowState& Flags() { return flags_; }
  ClickSounds& Sounds() { return *sounds_; }
  WindowServices& Services() { return services_; }

  // The control or menu item with this identifier, or null.
  QWidget* Control(int32_t id) const;
  QAction* Action(int32_t id) const;
  template <typename T>
  T* ControlAs(int32_t id) const {
    return qobject_cast<T*>(Control(id));
  }

  // Runs the command of `id` as a menu item, button or accelerator would.
  // `notification` 1 marks an accelerator or a changed combo box selection.
  void Dispatch(int32_t id, int32_t notification = 0);
  // Set while the encoder runs: the window then refuses to close.
  void SetEncoderBusy(bool busy) { flags_.encoderBusy = busy ? 1 : 0; }

  void SetOperationControls(bool enabled);
  void RefreshCutAreaLabels();
  // Clears both preview areas (and the output window's) to their captions.
  void ClearPreviews();
  void PreviewCaptions() { ClearPreviews(); }
  void OpenOutputWindow();
  // The user's current Cut Area, lens and flips, as last published; any thread.
  ViewState PublishedView();
  void PublishView();
  void ShowFrameWithoutLogo();
  // The nine Cut Area buttons, greyed out while the viewer is open.
  void SetCutAreaButtonsEnabled(bool enabled);
  // Whether the Cut Area may be changed now: a movie is open, nothing runs in place,
  // the buttons are enabled.
  bool CutAreaPlaceable() const;
  // A new Cut Area from a drag, the wheel, the keys, typed values or a found ring,
  // under the buttons' limits; updates the labels and both previews. False when it
  // was refused or cannot be placed now.
  bool ApplyCutArea(const RingGeometry& next);
  // The Cut Area as it stands (GUI thread).
  RingGeometry CurrentRing() const { return RingFromSettings(state_.settings); }
  // The movie's frame size, 0 x 0 without a movie.
  QSize FrameSize() const { return QSize(flags_.frameWidth, flags_.frameHeight); }
  // Sets every radio group's check marks from the current values.
  void RefreshMenuChecks() { RefreshRadioChecks(); }
  OutputWindow* OutputWindowIfOpen() const;
  // The heading in degrees, and a new one (kept within -180 .. 180) with both previews
  // turned; false when the panorama cannot turn now (a conversion runs).
  double Heading() const { return state_.options.HEADING; }
  // Columns of the panorama area (of kPanoramaAreaWidth) that the last drawn panorama
  // spans: all of them for the plain strip, fewer for the output picture fitted in.
  int32_t ShownPanoramaColumns() const { return shownPanoramaColumns_.load(); }
  bool SetHeading(double degrees);

  // Reports a ring Find Ring placed, with its confidence and, when that is low, a
  // warning to check the circle; the report stays open beside the window.
  void ShowRingFound(const FoundRing& ring);

  // Draws a scene into the preview back buffers under the drawing lock; any thread.
  void DrawPreview(const PreviewScene& scene);
  PreviewCanvas* DoughnutArea() const { return doughnutArea_; }
  PreviewCanvas* TransformArea() const { return transformArea_; }

  // Thread-safe setters for what other threads show.
  void SetLabelText(int32_t id, const QString& text);
  void SetPositionBarWidth(int32_t width);

  // Hover look of the six big buttons: Play/Pause, Save, Load, Convert, Stop, Help.
  const std::array<int32_t, 6>& HoverTable() const { return hover_; }
  // Scales the feedback sleeps (1 = the real 300/500 ms); tests shorten them.
  void SetFeedbackScale(double scale) { feedbackScale_ = scale; }
  // Number of the command running in place (0 when none).
  int32_t RunningCommand() const { return runningCommand_; }
  // The user asked to quit while a command ran; the window closes once it returns.
  bool ClosePending() const { return closePending_; }

 signals:
  // The Cut Area changed, by whatever means.
  void cutAreaChanged();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenus();
  void BuildControls();
  void BuildTooltips();
  QAction* AddItem(QMenu* menu, int32_t id, const QString& text, const QString& keys = {});
  void RefreshRadioChecks();
  void RefreshLensChecks();
  void RefreshDepthChecks();
  void RefreshPanoramaShapeChecks();
  bool RunPanoramaShapeCommand(int32_t id);
  void Register(int32_t id, QWidget* widget);
  void OnHover(int32_t id, bool inside);

  // The pieces of the dispatcher.
  bool RunCommand(int32_t id, int32_t notification);
  bool RunCutAreaButton(int32_t id);
  void Feedback(int32_t buttonId, const QString& image, int32_t sleepMs);
  void Click();
  void SleepScaled(int32_t ms);
  void CheckStyle(int32_t id, bool on, const char* onStyle, const char* offStyle);
  bool ConfirmExit();
  // Asks, without blocking, whether to stop the command running in place and quit.
  void AskStopAndQuit();
  void FinishPendingClose();
  void LoadMovie();
  void ConvertDoughnut();
  void ConvertMovieToAvi();
  void ChooseTempFolder();
  void ShowTempFolder();
  void ToggleSwitch(int32_t id, int32_t& value, int32_t onValue);
  void SetSlider(int32_t id, int32_t value);
  void Placeholder(const char* what);
  void OpenCutAreaDialog();
  void FindRing();
  // The ring of the open photo, found in the picture on show.
  MovieRing FindRingInShownPhoto();

  ProgramState& state_;
  WindowServices services_;
  WindowState flags_;
  ClickSounds* sounds_ = nullptr;
  std::map<int32_t, QWidget*> controls_;
  std::map<int32_t, QAction*> actions_;
  std::mutex drawingLock_;
  std::atomic<int32_t> shownPanoramaColumns_{kPanoramaAreaWidth};
  PreviewCanvas* doughnutArea_ = nullptr;
  PreviewCanvas* transformArea_ = nullptr;
  QPointer<OutputWindow> outputWindow_;
  QPointer<CutAreaDialog> cutAreaDialog_;
  QPointer<QMessageBox> stopQuestion_;
  QPointer<QMessageBox> ringReport_;
  CutAreaMouse* cutAreaMouse_ = nullptr;
  LensMenuState lensMenu_;
  std::array<int32_t, 6> hover_{};
  double feedbackScale_ = 1.0;
  int32_t runningCommand_ = 0;
  bool shutdownDone_ = false;
  bool closePending_ = false;
};

}  // namespace corvinex
