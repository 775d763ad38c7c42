#include "convert/photo_convert.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <system_error>

#include "convert/pending_output.h"
#include "convert/photo_resize.h"
#include "media/photo_decode.h"
#include "media/photo_metadata.h"
#include "media/photo_readback.h"
#include "media/photo_write.h"
#include "settings/diagnostic_log.h"
#include "transform/large_buffer.h"
#include "transform/output_assembly.h"
#include "transform/output_projection.h"
#include "transform/pixel_ratio_fix.h"
#include "transform/process_frame.h"

namespace corvinex {
namespace {

namespace fs = std::filesystem;

// Keeps the one frame the pipeline hands over.
class PictureSink : public FrameSink {
 public:
  std::vector<uint8_t> AcquireBuffer(size_t size) override {
    std::vector<uint8_t> buffer;
    ReserveLarge(buffer, size);
    return buffer;
  }
  void Submit(OutputFrame&& frame) override {
    frame_ = std::move(frame);
    received_ = true;
  }
  bool Received() const { return received_; }
  OutputFrame& Frame() { return frame_; }

 private:
  OutputFrame frame_;
  bool received_ = false;
};

// The metadata writer rewrites the file without flushing it to the disk: done here,
// before the file takes its name.
std::string SyncToDisk(const fs::path& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return "cannot reopen " + file.string() + ": " + std::strerror(errno);
  const bool synced = ::fsync(fd) == 0;
  const std::string why = synced ? std::string() : std::strerror(errno);
  ::close(fd);
  return synced ? std::string() : "cannot write " + file.string() + " to the disk: " + why;
}

}  // namespace

PhotoOutcome ConvertPhoto(const PhotoJob& job, FrameImage photo, const AppSettings& settings,
                          const SessionOptions& session, DiagnosticLog& log) {
  PhotoOutcome outcome;
  const PhotoType type = PhotoTypeOf(job.output);
  if (type == PhotoType::None) {
    outcome.error = "a photo is written as .jpg, .png or .tif, not as " +
                    (job.output.extension().empty() ? std::string("a file without a type")
                                                    : job.output.extension().string());
    return outcome;
  }
  std::error_code error;
  if (fs::equivalent(job.output, job.input, error)) {
    outcome.error = "the output would replace the photo itself";
    return outcome;
  }
  const RingGeometry ring = RingFromSettings(settings);
  const PanoramaShape shape = ShapeFromOptions(session);
  const UnwrapGeometry planned =
      ComputeUnwrapGeometry(photo.width, photo.height, ring, settings.HSIZE, shape);
  if ((planned.limits & (kLimitFrameSize | kLimitCropTooSmall)) != 0) {
    outcome.error = "the picture (" + std::to_string(photo.width) + "x" +
                    std::to_string(photo.height) + ") is too small for its Cut Area (" +
                    GeometryLimitText(planned.limits) + ")";
    return outcome;
  }
  if (std::string problem = PanoramaShapeProblem(photo.width, photo.height, ring, shape);
      !problem.empty()) {
    outcome.error = std::move(problem);
    return outcome;
  }

  UnwrapBuffers buffers;
  OutputLayout layout;
  FrameImage frame;
  PictureSink sink;
  // A picture of 24 megapixels is 96 MB: it becomes the frame, never copied.
  try {
    outcome.geometry = PrepareUnwrapGeometry(photo.width, photo.height, ring, settings.HSIZE,
                                             GeometryVariant::Conversion, buffers, log, shape);
    if (std::string problem = PrepareOutputLayout(outcome.geometry, ProjectionOptionsFrom(session),
                                                  job.logoCanvas, layout);
        !problem.empty()) {
      outcome.error = std::move(problem);
      return outcome;
    }
    if (settings.ASPECT != 0) {
      frame.Reset(photo.width, photo.height);
      if (!FixAspect(photo.pixels.data(), photo.PixelCount(), frame, kAspectIntakeFactor)) {
        outcome.error = "the picture's pixel ratio could not be corrected";
        return outcome;
      }
    } else {
      frame = std::move(photo);
    }
    FramePipeline pipeline{.geometry = &outcome.geometry,
                           .buffers = &buffers,
                           .frame = &frame,
                           .sink = &sink,
                           .logoCanvas = job.logoCanvas,
                           .layout = &layout,
                           .afterAdjust = {}};
    if (!ProcessFrame(pipeline, FrameOptionsFrom(settings, session), 0) || !sink.Received()) {
      outcome.error = "the picture could not be unwrapped with this Cut Area";
      return outcome;
    }
  } catch (const std::bad_alloc&) {
    outcome.error = "not enough memory to unwrap a " + std::to_string(photo.width) + "x" +
                    std::to_string(photo.height) + " picture";
    return outcome;
  }
  buffers = UnwrapBuffers{};  // the panorama buffers are not needed to write it
  OutputFrame& out = sink.Frame();
  // A stereo pair stacks two views, which is no single panorama.
  const bool singleView = layout.plan.view.height == out.height;
  if (std::string why = ResizePhotoOutput(session.RESIZE, out); !why.empty()) {
    outcome.error = std::move(why);
    return outcome;
  }
  outcome.width = out.width;
  outcome.height = out.height;
  const PanoramaMarks marks =
      singleView ? PanoramaMarksFor(out.width, out.height) : PanoramaMarks{};
  outcome.panoramaMarked = marks.mark;

  PendingOutput pending(job.output);
  if (!pending.ok()) {
    outcome.error = pending.error();
    return outcome;
  }
  auto fail = [&](const std::string& why) {
    pending.Abandon();
    outcome.error = why;
    log.LogLine("Photo not written: " + why);
    return outcome;
  };
  if (std::string why =
          WritePhoto(pending.TempPath(), type, out.bytes, out.width, out.height, job.jpegQuality);
      !why.empty()) {
    return fail(why);
  }
  const MetadataWrite meta =
      WritePhotoMetadata(job.input, pending.TempPath(), out.width, out.height, marks);
  if (!meta.error.empty()) return fail(meta.error);
  if (!meta.warning.empty()) outcome.notes.push_back(meta.warning);
  if (std::string why = CheckPhotoReadsBack(pending.TempPath(), type, out.bytes, out.width,
                                            out.height, job.jpegQuality);
      !why.empty()) {
    return fail(why);
  }
  if (std::string why = CheckPhotoMetadata(pending.TempPath(), out.width, out.height, marks);
      !why.empty()) {
    return fail(why);
  }
  if (std::string why = SyncToDisk(pending.TempPath()); !why.empty()) return fail(why);
  const CommitResult moved = pending.Commit(job.overwrite);
  if (!moved.ok) return fail(moved.error);
  outcome.output = moved.name;
  log.LogLine("Photo written: " + moved.name.string() + " " + std::to_string(out.width) + "x" +
              std::to_string(out.height));
  return outcome;
}

}  // namespace corvinex
