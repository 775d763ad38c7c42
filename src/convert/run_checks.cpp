// The checks a run makes before its first frame: what would make it fail whatever
// the frames is told at once, so the user does not wait for a whole pass to learn it.
#include <unistd.h>

#include <fstream>
#include <system_error>

#include "convert/bmp_header.h"
#include "convert/conversion_run.h"
#include "convert/encoder_command.h"
#include "convert/free_space.h"
#include "convert/spool_writer.h"
#include "media/movie_info.h"
#include "settings/diagnostic_log.h"
#include "transform/output_projection.h"
#include "transform/unwrap_geometry.h"

namespace corvinex {
namespace {

namespace fs = std::filesystem;

// What would make the export fail whatever the frames: found before the frame loop,
// so the user does not wait for a whole pass to learn it. Empty when the output can
// be written.
std::string OutputProblem(const fs::path& output) {
  if (!ExportExtensionKnown(output)) {
    const std::string extension = output.extension().string();
    return (extension.empty() ? std::string("The output file name has no movie type.")
                              : "The movie type \"" + extension + "\" cannot be written.") +
           "\r\nEnd the name with one of: " + ExportExtensionList();
  }
  const fs::path folder = output.has_parent_path() ? output.parent_path() : fs::path(".");
  std::error_code error;
  if (!fs::is_directory(folder, error)) {
    return "The output folder does not exist:\r\n" + folder.string();
  }
  // Tried rather than read from the mode bits, which do not tell the whole story.
  const fs::path probe = folder / (".corvinex-write-check-" + std::to_string(::getpid()));
  {
    std::ofstream out(probe, std::ios::binary | std::ios::trunc);
    if (!out) return "The output folder cannot be written:\r\n" + folder.string();
  }
  fs::remove(probe, error);
  return {};
}

void Refuse(ConversionUi& ui, const std::string& text) {
  ui.Message("Error Monitoring", text, MessageIcon::Stop, false);
}

}  // namespace

// The same file under another spelling ("./take.mp4", a link): the run removes the
// output before it starts, so writing there would destroy the movie being read.
bool SameFile(const std::string& a, const std::string& b) {
  std::error_code error;
  return fs::equivalent(a, b, error) && !error;
}

// The spooled frames of a whole run must fit: a pass that fills the disk half way
// only wastes the user's time. Empty when they fit, or when the space is unknown.
std::string SpoolSpaceProblem(const ConversionRun& run, const fs::path& frameFolder) {
  const int64_t frameBytes = static_cast<int64_t>(sizeof(SpoolHeader)) +
                             int64_t{4} * run.outcome.outputWidth * run.outcome.outputHeight;
  const int64_t needed = frameBytes * std::max<int32_t>(run.ctx.input.frameCount, 0);
  std::error_code error;
  const fs::space_info space = fs::space(frameFolder, error);
  if (error || needed <= 0 || static_cast<uintmax_t>(needed) <= space.available) return {};
  return "Not enough free space for the frames in\r\n" + frameFolder.string() + "\r\n" +
         std::to_string(run.ctx.input.frameCount) + " frames need about " +
         FreeSpaceText(static_cast<uintmax_t>(needed)) + "; " + FreeSpaceText(space.available) +
         " are free.";
}

bool CheckRun(ConversionRun& run, const std::string& output) {
  ConversionContext& ctx = run.ctx;
  const std::string input = TrimPathText(ctx.input.moviePath);
  if (input.empty()) {
    Refuse(ctx.ui, "Video file not found!");
    return false;
  }
  if (output == input || SameFile(output, input)) {
    Refuse(ctx.ui, "Incorrect name of output file");
    return false;
  }
  // A Cut Area too small to unwrap would give a movie of a few pixels.
  const UnwrapGeometry planned = ComputeUnwrapGeometry(
      ctx.input.width, ctx.input.height, RingFromSettings(ctx.settings), ctx.settings.HSIZE);
  if ((planned.limits & (kLimitFrameSize | kLimitCropTooSmall)) != 0) {
    Refuse(ctx.ui, "The Cut Area is too small to unwrap (" + GeometryLimitText(planned.limits) +
                       ").\r\nMake it larger.");
    return false;
  }
  // A width or heading the geometry cannot take is refused before any frame.
  if (const std::string problem =
          PanoramaShapeProblem(ctx.input.width, ctx.input.height, RingFromSettings(ctx.settings),
                               ShapeFromOptions(ctx.options));
      !problem.empty()) {
    Refuse(ctx.ui, problem);
    return false;
  }
  const UnwrapGeometry shaped =
      ComputeUnwrapGeometry(ctx.input.width, ctx.input.height, RingFromSettings(ctx.settings),
                            ctx.settings.HSIZE, ShapeFromOptions(ctx.options));
  // A horizon the strip cannot follow is refused before anything is cleaned or started.
  if (const ProjectionPlan plan =
          PlanProjection(shaped, ProjectionOptionsFrom(ctx.options), ctx.logoCanvas);
      !plan.problem.empty()) {
    ctx.log.LogLine(plan.problem);
    Refuse(ctx.ui, plan.problem);
    return false;
  }
  if (!ctx.framesOnly) {
    if (const std::string problem = OutputProblem(output); !problem.empty()) {
      Refuse(ctx.ui, problem);
      return false;
    }
    const int32_t codec = ctx.options.CODEC;
    if (const std::string problem =
            CodecRefusal(OutputExtension(output),
                         codec >= 1 && codec <= 4 ? static_cast<Codec>(codec) : Codec::Default);
        !problem.empty()) {
      Refuse(ctx.ui, problem);
      return false;
    }
  }
  if (!run.decoderRoute && (ctx.graph == nullptr || !ctx.graph->HasMovie())) {
    run.outcome.status = ConversionStatus::NoMovie;
    return false;
  }
  return true;
}

}  // namespace corvinex
