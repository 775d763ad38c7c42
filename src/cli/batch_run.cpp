#include "cli/batch_run.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <exception>
#include <new>
#include <nlohmann/json.hpp>
#include <optional>
#include <span>
#include <system_error>

#include "app/program_paths.h"
#include "cli/batch_logs.h"
#include "cli/batch_outputs.h"
#include "cli/batch_settings.h"
#include "cli/batch_ui.h"
#include "cli/fatal_end.h"
#include "cli/process_resources.h"
#include "convert/convert_movie.h"
#include "convert/decoded_logo.h"
#include "convert/encoder_command.h"
#include "convert/frame_source_feed.h"
#include "convert/leftovers.h"
#include "convert/logo_canvas.h"
#include "convert/pending_frames.h"
#include "convert/pending_name.h"
#include "convert/photo_convert.h"
#include "media/frame_source.h"
#include "media/movie_info.h"
#include "media/movie_ring.h"
#include "media/photo_decode.h"
#include "media/photo_ring.h"
#include "media/photo_write.h"
#include "settings/diagnostic_log.h"
#include "settings/settings_file.h"
#include "transform/lens_profile.h"
#include "transform/output_projection.h"
#include "transform/ring_cut_area.h"

namespace corvinex {
namespace {

namespace fs = std::filesystem;

// Ctrl+C stops the running conversion the way the Stop button does, and no
// further movie is started.
std::atomic<int32_t> gStopRequest{0};
std::atomic<int32_t> gInterrupted{0};
static_assert(std::atomic<int32_t>::is_always_lock_free);

extern "C" void OnInterrupt(int) {
  gStopRequest.store(1);
  gInterrupted.store(1);
}

// The unwrap geometry, then the picture each frame is placed in (one view, before any
// resize): the strip, or the 2:1 frame with the projection or a logo.
nlohmann::ordered_json GeometryJson(const fs::path& input, const UnwrapGeometry& g, double heading,
                                    const ProjectionPlan& plan) {
  return {{"input", input.string()},
          {"Fw", g.Fw},
          {"Fh", g.Fh},
          {"PH", g.PH},
          {"sx", g.sx},
          {"sy", g.sy},
          {"cropX", g.cropX},
          {"cropY", g.cropY},
          {"cropW", g.cropW},
          {"cropH", g.cropH},
          {"cutRows", g.cutRows},
          {"halfW", g.halfW},
          {"halfH", g.halfH},
          {"H", g.H},
          {"W", g.W},
          {"k", g.k},
          {"c", g.c},
          {"outRows", g.outRows},
          {"corrRows", g.corrRows},
          {"heading", heading},
          {"turn", g.turn},
          {"projection", plan.equirect ? "equirect" : "strip"},
          {"pictureWidth", plan.view.width},
          {"pictureHeight", plan.view.height}};
}

// The picture plan a run of this input would make, with the logo's canvas where there
// is a logo; its problem is the run's refusal.
ProjectionPlan PrintedPlan(const UnwrapGeometry& g, int32_t width, int32_t height,
                           const AppSettings& settings, const SessionOptions& session,
                           const LogoState& logo) {
  FrameImage canvas;
  if (logo.present && !PrepareLogoCanvas(logo.image, width, height, settings, session, canvas)) {
    ProjectionPlan refused;
    refused.problem = "the panorama is too narrow to hold the logo";
    return refused;
  }
  return PlanProjection(g, ProjectionOptionsFrom(session), logo.present ? &canvas : nullptr);
}

// `width` is the panorama width this Cut Area gives with the run's width choice.
nlohmann::ordered_json RingJson(const fs::path& input, const MovieRing& found, double heading,
                                int32_t width) {
  const FoundRing& r = found.ring;
  const RingGeometry& c = found.cutArea;
  // Full precision, so that --ring with these numbers gives this very Cut Area.
  return {{"input", input.string()},
          {"frameWidth", found.frameWidth},
          {"frameHeight", found.frameHeight},
          {"centreX", r.centreX},
          {"centreY", r.centreY},
          {"outerRadius", r.outerRadius},
          {"innerRadius", r.innerRadius},
          {"confidence", std::round(r.confidence * 100) / 100},
          {"cut", {c.X1, c.Y1, c.X2, c.Y2, c.RSIZE}},
          {"heading", heading},
          {"width", width}};
}

// The ring found, with the panorama width it gives under the run's width choice and,
// when that width cannot be reached, why.
nlohmann::ordered_json RingDocument(const fs::path& input, const MovieRing& found,
                                    const PanoramaShape& shape) {
  const UnwrapGeometry g =
      ComputeUnwrapGeometry(found.frameWidth, found.frameHeight, found.cutArea, 0.0f, shape);
  nlohmann::ordered_json document = RingJson(input, found, shape.heading, g.W);
  if (const std::string problem =
          PanoramaShapeProblem(found.frameWidth, found.frameHeight, found.cutArea, shape);
      !problem.empty()) {
    document["widthProblem"] = problem;
  }
  return document;
}

// Any bytes a name may hold still give valid JSON.
std::string JsonText(const nlohmann::ordered_json& value, int indent = -1) {
  return value.dump(indent, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

std::string LensNameFor(float hsize) {
  LensMenuState menu;
  menu.lensName = "Vistrel Lens ";
  ShowLens(hsize, menu);
  return menu.lensName;
}

struct BatchSetup {
  ProgramPaths paths;
  AppSettings settings;
  SessionOptions session;
  fs::path temp;  // this run's own folder inside the temporary folder
};

// Settings file, then the flags. An empty string means all is well; a settings file
// passed over is told on `err` with what is used instead.
std::string PrepareSettings(const BatchOptions& options, BatchSetup& setup, std::FILE* err) {
  std::error_code error;
  setup.settings.APATH = setup.paths.defaultTemp.string();
  setup.settings.OPATH = fs::current_path(error).string();
  const BatchSettingsLoad load =
      LoadBatchSettings(options.settingsFile, setup.paths.settingsFile, setup.settings);
  if (!load.error.empty()) return load.error;
  if (!load.warning.empty())
    std::fprintf(err, "corvinex-batch: warning: %s\n", load.warning.c_str());
  if (setup.settings.APATH.find_first_not_of(" ") == std::string::npos) {
    setup.settings.APATH = setup.paths.defaultTemp.string();
  }
  for (const auto& apply : options.overrides) apply(setup.settings, setup.session);
  return {};
}

// Removes this run's temporary folder however the run ends, an exception included.
struct TempFolderGuard {
  fs::path folder;
  TempFolderGuard() = default;
  TempFolderGuard(const TempFolderGuard&) = delete;
  TempFolderGuard& operator=(const TempFolderGuard&) = delete;
  ~TempFolderGuard() {
    std::error_code ignored;
    if (!folder.empty()) fs::remove_all(folder, ignored);
  }
};

struct BatchTally {
  int converted = 0;
  int failed = 0;
  ProgressMode mode = ProgressMode::None;  // Json: each movie's end is a JSON line
  bool collectDocuments = false;           // --print-geometry, --find-ring: one object per input
  nlohmann::ordered_json documents = nlohmann::ordered_json::array();
};

// Entries in the run's temporary folder; 0 when it does not exist.
size_t CountEntries(const fs::path& folder) {
  std::error_code error;
  size_t count = 0;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    ++count;
  }
  return count;
}

// A movie that failed: why, on standard error.
void Fail(const BatchEnvironment& env, const fs::path& input, const std::string& why,
          BatchTally& tally) {
  if (tally.mode == ProgressMode::Json) {
    const nlohmann::ordered_json line = {
        {"input", input.string()}, {"phase", "finished"}, {"ok", false}, {"error", why}};
    std::fprintf(env.err, "%s\n", JsonText(line).c_str());
  } else {
    std::fprintf(env.err, "corvinex-batch: %s: %s\n", input.string().c_str(), why.c_str());
  }
  if (tally.collectDocuments) {
    tally.documents.push_back({{"input", input.string()}, {"error", why}});
  }
  ++tally.failed;
}

// A movie that was converted, as a JSON line for programs that follow the run.
void Succeed(const BatchEnvironment& env, const fs::path& input, const fs::path& output,
             BatchTally& tally) {
  if (tally.mode == ProgressMode::Json) {
    const nlohmann::ordered_json line = {{"input", input.string()},
                                         {"phase", "finished"},
                                         {"ok", true},
                                         {"output", output.string()}};
    std::fprintf(env.err, "%s\n", JsonText(line).c_str());
    std::fflush(env.err);
  }
  ++tally.converted;
}

// Tells how the movie ended and counts it.
void ReportOutcome(const fs::path& input, const BatchTarget& target,
                   const ConversionOutcome& outcome, int32_t resize, const BatchUi& ui,
                   const BatchEnvironment& env, BatchTally& tally) {
  auto fail = [&](const std::string& why) { Fail(env, input, why, tally); };
  const int32_t width = outcome.outputWidth;
  const int32_t height = outcome.outputHeight;
  // What the encoder wrote, after any resize.
  const PictureSize exported = ExportPictureSize(resize, width, height);
  switch (outcome.status) {
    case ConversionStatus::Exported:
      Succeed(env, input, outcome.output, tally);
      std::fprintf(env.out, "%s -> %s (%dx%d, %lld frames%s)\n", input.string().c_str(),
                   outcome.output.string().c_str(), exported.width, exported.height,
                   static_cast<long long>(outcome.framesProcessed),
                   outcome.spherical && outcome.spherical->status == SphericalStatus::Marked
                       ? ", 360-degree video"
                       : "");
      if (!outcome.timelineNote.empty()) {
        std::fprintf(env.out, "%s: note: %s\n", input.string().c_str(),
                     outcome.timelineNote.c_str());
      }
      if (!outcome.encoderNote.empty()) {
        std::fprintf(env.out, "%s: encoder: %s (%s)\n", input.string().c_str(),
                     outcome.encoderUsed.c_str(), outcome.encoderNote.c_str());
      }
      break;
    case ConversionStatus::FramesOnly:
      Succeed(env, input, target.frameFolder, tally);
      std::fprintf(env.out, "%s -> %lld frames of %dx%d in %s\n", input.string().c_str(),
                   static_cast<long long>(outcome.framesProcessed), width, height,
                   target.frameFolder.string().c_str());
      break;
    case ConversionStatus::Stopped:
      fail("stopped");
      break;
    case ConversionStatus::FramesLost:
      fail(std::to_string(outcome.framesNotSpooled) +
           " frame(s) could not be written, so no movie was written: " + outcome.spoolError);
      return;
    case ConversionStatus::ExportFailed:
      fail("the encoder did not write " + outcome.output.string() +
           (outcome.lastExport.errorLine.empty() ? "" : ": " + outcome.lastExport.errorLine));
      break;
    default:
      fail(ui.Errors().empty() ? "not converted" : ui.Errors().back());
      break;
  }
  if (outcome.framesNotSpooled > 0) {
    fail(std::to_string(outcome.framesNotSpooled) +
         " frame(s) could not be written: " + outcome.spoolError);
  }
}

// The ring of --cut auto or --ring, as this movie's Cut Area. Empty when all is well
// (or neither was given), else why the movie cannot be converted.
std::string PlaceRing(const BatchOptions& options, const fs::path& input, const MovieInfo& info,
                      AppSettings& settings) {
  if (options.ringPixels) {
    const auto& r = *options.ringPixels;
    FoundRing ring{.found = true,
                   .centreX = r[0],
                   .centreY = r[1],
                   .outerRadius = r[2],
                   .innerRadius = r[3],
                   .confidence = 1,
                   .reason = {}};
    StoreRing(CutAreaForRing(info.width, info.height, ring), settings);
    return {};
  }
  if (!options.cutAuto) return {};
  const MovieRing found = FindRingInMovie(input);
  if (!found.error.empty()) return "the ring could not be searched for: " + found.error;
  if (!found.ring.found) {
    return "no ring found with confidence (" + found.ring.reason +
           "); place it with --cut or --ring";
  }
  if (found.shownTurned || found.frameWidth != info.width || found.frameHeight != info.height) {
    // The frames searched are the stored ones, the frames converted are turned; half a
    // turn keeps the size, so the size alone does not tell.
    return "the picture is turned by the movie's rotation data; place the ring with --cut or "
           "--ring";
  }
  RingGeometry cut = found.cutArea;
  if (found.ring.innerRadius <= 0) cut.RSIZE = settings.RSIZE;  // no dark centre measured
  StoreRing(cut, settings);
  return {};
}

// --ring or --cut auto on a photo; empty when all is well, else why it is not converted.
std::string PlacePhotoRing(const BatchOptions& options, const FrameImage& picture,
                           AppSettings& settings) {
  if (options.ringPixels) {
    const auto& r = *options.ringPixels;
    FoundRing ring{.found = true,
                   .centreX = r[0],
                   .centreY = r[1],
                   .outerRadius = r[2],
                   .innerRadius = r[3],
                   .confidence = 1,
                   .reason = {}};
    StoreRing(CutAreaForRing(picture.width, picture.height, ring), settings);
    return {};
  }
  if (!options.cutAuto) return {};
  const MovieRing found = FindRingInPhoto(picture);
  if (!found.ring.found) {
    return "no ring found with confidence (" + found.ring.reason +
           "); place it with --cut or --ring";
  }
  RingGeometry cut = found.cutArea;
  if (found.ring.innerRadius <= 0) cut.RSIZE = settings.RSIZE;  // no dark centre measured
  StoreRing(cut, settings);
  return {};
}

// Converts one photo into a picture and counts it; a failure is told on standard error.
void ConvertPhotoOne(const fs::path& input, const BatchTarget& target, const BatchOptions& options,
                     const BatchEnvironment& env, BatchSetup& setup, const LogoState& logo,
                     DiagnosticLog& log, BatchTally& tally) {
  auto fail = [&](const std::string& why) { Fail(env, input, why, tally); };
  if (options.framesOnly) {
    return fail(
        "--frames-only writes a movie's frames; leave it out for a photo, which is "
        "written as one picture");
  }
  if (!options.findRing && PhotoTypeOf(target.output) == PhotoType::None) {
    return fail("a photo is written as .jpg, .png or .tif, not as " +
                target.output.filename().string());
  }
  DecodedPhoto photo = DecodePhoto(input);
  if (!photo.ok()) return fail(photo.error);
  if (!photo.note.empty()) {
    std::fprintf(env.out, "%s: note: %s\n", input.string().c_str(), photo.note.c_str());
  }
  if (options.findRing) {
    const MovieRing found = FindRingInPhoto(photo.image);
    if (!found.ring.found) return fail("no ring found with confidence: " + found.ring.reason);
    tally.documents.push_back(RingDocument(input, found, ShapeFromOptions(setup.session)));
    ++tally.converted;
    return;
  }
  AppSettings settings = setup.settings;
  if (const std::string problem = PlacePhotoRing(options, photo.image, settings);
      !problem.empty()) {
    return fail(problem);
  }
  if (options.printGeometry) {
    UnwrapBuffers buffers;
    DiagnosticLog quiet;
    const PanoramaShape shape = ShapeFromOptions(setup.session);
    const UnwrapGeometry g =
        PrepareUnwrapGeometry(photo.image.width, photo.image.height, RingFromSettings(settings),
                              settings.HSIZE, GeometryVariant::Conversion, buffers, quiet, shape);
    const ProjectionPlan plan =
        PrintedPlan(g, photo.image.width, photo.image.height, settings, setup.session, logo);
    if (!plan.problem.empty()) return fail(plan.problem);
    tally.documents.push_back(GeometryJson(input, g, shape.heading, plan));
    ++tally.converted;
    return;
  }
  std::error_code error;
  if (!options.overwrite && fs::exists(target.output, error)) {
    return fail(target.output.string() +
                " exists already and is kept; --overwrite (or -y) replaces it");
  }
  FrameImage logoCanvas;
  if (logo.present) {
    PrepareLogoCanvas(logo.image, photo.image.width, photo.image.height, settings, setup.session,
                      logoCanvas);
  }
  const PhotoJob job{.input = input,
                     .output = target.output,
                     .jpegQuality = options.jpegQuality,
                     .overwrite = options.overwrite,
                     .logoCanvas = logo.present ? &logoCanvas : nullptr};
  const PhotoOutcome outcome =
      ConvertPhoto(job, std::move(photo.image), settings, setup.session, log);
  if (!outcome.ok()) return fail(outcome.error);
  Succeed(env, input, outcome.output, tally);
  std::fprintf(env.out, "%s -> %s (%dx%d photo%s)\n", input.string().c_str(),
               outcome.output.string().c_str(), outcome.width, outcome.height,
               outcome.panoramaMarked ? ", 360-degree panorama" : "");
  for (const std::string& note : outcome.notes) {
    std::fprintf(env.out, "%s: warning: %s\n", input.string().c_str(), note.c_str());
  }
}

// Converts one movie and counts it; a failure is told on standard error.
void ConvertOne(const fs::path& input, const BatchTarget& target, const BatchOptions& options,
                const BatchEnvironment& env, BatchSetup& setup, const LogoState& logo,
                DiagnosticLog& log, BatchTally& tally) {
  std::error_code error;
  auto fail = [&](const std::string& why) { Fail(env, input, why, tally); };
  // A folder listed while runs write into it (find | parallel) can name another run's
  // output under its hidden temporary name: cut short, and gone once it is named.
  if (PendingNameOwner(input.filename().string())) {
    return fail("is the unfinished output of a running conversion, not an input; left alone");
  }
  if (!fs::is_regular_file(input, error)) {
    fail("no such movie file");
    return;
  }
  if (IsPhotoPath(input)) {
    return ConvertPhotoOne(input, target, options, env, setup, logo, log, tally);
  }
  if (options.findRing) {
    const MovieRing found = FindRingInMovie(input);
    if (!found.error.empty()) return fail("cannot be read as a movie (" + found.error + ")");
    if (!found.ring.found) return fail("no ring found with confidence: " + found.ring.reason);
    tally.documents.push_back(RingDocument(input, found, ShapeFromOptions(setup.session)));
    ++tally.converted;
    return;
  }
  // The frame rate is the one the encoder tool's report states, as in the window
  // program; read from the open movie, it spares a start of the tool per movie.
  // This movie's own settings: a ring found or given in pixels is its own.
  AppSettings settings = setup.settings;
  FrameSource source;
  MovieInfo info;
  const OpenResult opened = source.Open(input, info);
  if (!opened.ok()) {
    fail("cannot be read as a movie" + (opened.detail.empty() ? "" : " (" + opened.detail + ")"));
    return;
  }
  if (const std::string problem = PlaceRing(options, input, info, settings); !problem.empty()) {
    return fail(problem);
  }
  info.timePerFrame = TimePerFrameFromRate(source.StatedFrameRate(), source.AverageTimePerFrame());
  info.frameCount = FrameCountFrom(info.duration, info.timePerFrame);
  const PanoramaShape shape = ShapeFromOptions(setup.session);
  if (const std::string problem =
          PanoramaShapeProblem(info.width, info.height, RingFromSettings(settings), shape);
      !problem.empty()) {
    return fail(problem);
  }
  if (options.printGeometry) {
    UnwrapBuffers buffers;
    DiagnosticLog quiet;
    const UnwrapGeometry g =
        PrepareUnwrapGeometry(info.width, info.height, RingFromSettings(settings), settings.HSIZE,
                              GeometryVariant::Conversion, buffers, quiet, shape);
    const ProjectionPlan plan =
        PrintedPlan(g, info.width, info.height, settings, setup.session, logo);
    if (!plan.problem.empty()) return fail(plan.problem);
    tally.documents.push_back(GeometryJson(input, g, shape.heading, plan));
    ++tally.converted;
    return;
  }

  const Codec codec = setup.session.CODEC >= 1 && setup.session.CODEC <= 4
                          ? static_cast<Codec>(setup.session.CODEC)
                          : Codec::Default;
  if (!options.framesOnly && options.bitRateWanted && !ExportHonoursBitRate(target.output, codec)) {
    fail("--bitrate has no effect on a " + OutputExtension(target.output) +
         " movie, which is encoded by quality: leave it out or use --quality");
    return;
  }
  // An output that is the input itself is refused as such by the conversion.
  if (!options.framesOnly && !options.overwrite && fs::exists(target.output, error) &&
      !fs::equivalent(target.output, input, error)) {
    fail(target.output.string() + " exists already and is kept; --overwrite (or -y) replaces it");
    return;
  }
  std::optional<PendingFrameFolder> frames;
  if (options.framesOnly) {
    fs::create_directories(target.frameFolder, error);
    if (error || !fs::is_directory(target.frameFolder, error)) {
      fail("cannot create the frame folder " + target.frameFolder.string());
      return;
    }
    if (const std::string problem = FrameFolderProblem(target.frameFolder, options.overwrite);
        !problem.empty()) {
      return fail(problem);
    }
    RemoveLeftoversOfDeadRuns(target.frameFolder);
    // The frames appear in the folder only once every one of them was written.
    frames.emplace(target.frameFolder);
    if (!frames->ok()) return fail(frames->error());
  }
  FrameImage logoCanvas;
  if (logo.present) {
    PrepareLogoCanvas(logo.image, info.width, info.height, settings, setup.session, logoCanvas);
  }
  BatchUi ui(env.err, tally.mode, input.string());
  source.SetKeepsCurrentFrame(false);  // nothing here shows a picture
  FrameSourceFeed feed(source);
  std::atomic<int32_t> streamState{1};
  ConversionContext context{.settings = settings,
                            .options = setup.session,
                            .log = log,
                            .ui = ui,
                            .tempFolder = setup.temp,
                            .encoderTool = EncoderToolPath(setup.paths.programFolder),
                            .input = {.moviePath = input.string(),
                                      .width = info.width,
                                      .height = info.height,
                                      .timePerFrame = info.timePerFrame,
                                      .frameCount = info.frameCount,
                                      .durationText = DurationText(info.durationSeconds),
                                      .movieOpen = true,
                                      .canStep = info.canStep != 0,
                                      .pictureStart = info.pictureStart},
                            .graph = &feed,
                            .stopRequest = gStopRequest,
                            .StreamState = streamState,
                            .lensName = LensNameFor(settings.HSIZE),
                            .logoCanvas = logo.present ? &logoCanvas : nullptr,
                            .frameFolder = frames ? frames->TempFolder() : fs::path(),
                            .framesOnly = options.framesOnly.has_value(),
                            .onePass = !options.spool,
                            .unwrapReadsFramesOnly = true,
                            .sphericalMetadata = options.sphericalMetadata,
                            .replaceOutput = options.overwrite};
  ConversionOutcome outcome = ConvertMovie(context, target.output.string());
  if (frames && outcome.status == ConversionStatus::FramesOnly) {
    if (const CommitResult moved = frames->Commit(options.overwrite); !moved.ok) {
      frames->Abandon();
      return fail("the frames could not be moved into their folder: " + moved.error);
    }
  }
  ReportOutcome(input, target, outcome, context.options.RESIZE, ui, env, tally);
}

}  // namespace

int RunBatch(const BatchOptions& options, const BatchEnvironment& env) {
  BatchSetup setup;
  setup.paths =
      PathsForProgram(env.programFolder, std::getenv("XDG_DATA_HOME"), std::getenv("HOME"));
  if (const std::string problem = PrepareSettings(options, setup, env.err); !problem.empty()) {
    std::fprintf(env.err, "corvinex-batch: %s\n", problem.c_str());
    return 2;
  }

  LogoState logo;
  if (options.logo) {
    std::string why;
    const LogoLoad load =
        LoadLogoWithDecoder(LogoDecoderPath(env.programFolder), *options.logo, logo, why);
    if (load == LogoLoad::BadPicture) {
      std::fprintf(env.err, "corvinex-batch: %s: %s\n", options.logo->string().c_str(),
                   std::string(kBadLogoText).c_str());
      return 2;
    }
    if (load == LogoLoad::DecoderFailed) {
      std::fprintf(env.err, "corvinex-batch: %s: the logo could not be decoded (%s)\n",
                   options.logo->string().c_str(), why.c_str());
      return 1;
    }
  }

  std::error_code error;
  const std::string pid = std::to_string(::getpid());
  setup.temp = fs::path(setup.settings.APATH) / BatchTempFolderName();
  const bool convertsMovies = !options.printGeometry && !options.findRing;
  TempFolderGuard tempGuard;
  if (convertsMovies) {
    // The folders of runs that were killed stay until a run finds their processes gone.
    RemoveDeadBatchTempFolders(setup.settings.APATH);
    fs::create_directories(setup.temp, error);
    if (!error) {
      tempGuard.folder = setup.temp;
      SetFatalEndFolder(setup.temp);
    }
    if (error) {
      std::fprintf(env.err, "corvinex-batch: cannot create the temporary folder %s: %s\n",
                   setup.temp.string().c_str(), error.message().c_str());
      return 1;
    }
  }
  if (options.framesOnly) {
    fs::create_directories(*options.framesOnly, error);
    if (error || !fs::is_directory(*options.framesOnly, error)) {
      std::fprintf(env.err, "corvinex-batch: cannot create the frame folder %s\n",
                   options.framesOnly->string().c_str());
      return 1;
    }
  }
  std::string logWarning;
  const fs::path logFile = PlaceBatchLog(options.logFolder, setup.paths.logFile.parent_path(),
                                         "TLVPUB-batch-" + pid + ".log", logWarning);
  if (!logWarning.empty()) {
    std::fprintf(env.err, "corvinex-batch: warning: %s\n", logWarning.c_str());
  }
  DiagnosticLog log(logFile);
  log.StartNew(std::chrono::system_clock::now());
  if (!logFile.empty()) PruneBatchLogs(logFile.parent_path());

  gStopRequest = 0;
  gInterrupted = 0;
  auto previousInt = std::signal(SIGINT, OnInterrupt);
  auto previousTerm = std::signal(SIGTERM, OnInterrupt);
  auto previousHangUp = std::signal(SIGHUP, OnInterrupt);  // a closed terminal stops the run too

  BatchTally tally;
  tally.mode = options.progress == ProgressMode::Auto
                   ? (env.drawBar ? ProgressMode::Bar : ProgressMode::None)
                   : options.progress;
  tally.collectDocuments = options.printGeometry || options.findRing;
  const std::vector<BatchTarget> targets =
      PlanBatchTargets(options.inputs, options.output, options.framesOnly);
  for (size_t i = 0; i < options.inputs.size(); ++i) {
    if (gInterrupted.load() != 0) break;
    SetFatalEndInput(options.inputs[i]);
    try {
      ConvertOne(options.inputs[i], targets[i], options, env, setup, logo, log, tally);
    } catch (const std::exception&) {
      // Most often memory running out: the next movie would most likely fare no better.
      const std::string why = WhyBrokenOff(std::current_exception());
      Fail(env, options.inputs[i], why, tally);
      log.LogLine("Batch run ended on " + options.inputs[i].string() + ": " + why);
      break;
    }
    // One line per movie, so a long run shows whether memory, descriptors or
    // temporary files grow from movie to movie.
    log.LogLine("Batch movie " + std::to_string(i + 1) + " of " +
                std::to_string(options.inputs.size()) +
                " done: " + ResourcesText(ReadProcessResources()) + ", temporary files " +
                std::to_string(CountEntries(setup.temp)));
  }

  std::signal(SIGINT, previousInt);
  std::signal(SIGTERM, previousTerm);
  std::signal(SIGHUP, previousHangUp);
  if (convertsMovies) fs::remove_all(setup.temp, error);
  if (tally.collectDocuments) {
    // One JSON document on standard output, whatever the number of inputs.
    const nlohmann::ordered_json& document =
        options.inputs.size() == 1 && tally.documents.size() == 1 ? tally.documents[0]
                                                                  : tally.documents;
    std::fprintf(env.out, "%s\n", JsonText(document, 2).c_str());
  }
  if (options.inputs.size() > 1 || tally.failed > 0) {
    // Standard output carries the JSON document when there is one.
    std::fprintf(tally.collectDocuments ? env.err : env.out, "%d of %zu movie(s) converted\n",
                 tally.converted, options.inputs.size());
  }
  return tally.failed == 0 && gInterrupted.load() == 0 ? 0 : 1;
}

}  // namespace corvinex
