#include "cli/batch_outputs.h"

#include <set>
#include <string>
#include <system_error>

#include "media/photo_decode.h"

namespace corvinex {
namespace {

namespace fs = std::filesystem;

// One spelling per file, so "./a.mp4" and "/x/a.mp4" count as the same.
fs::path SameFileKey(const fs::path& p) {
  std::error_code error;
  fs::path key = fs::weakly_canonical(p, error);
  if (!error) return key;
  key = fs::absolute(p, error).lexically_normal();
  return error ? p.lexically_normal() : key;
}

// `folder` / (stem + suffix), numbered from _2 while `taken` holds it.
fs::path FirstFree(const fs::path& folder, const std::string& stem, const std::string& suffix,
                   std::set<fs::path>& taken) {
  fs::path candidate = folder / (stem + suffix);
  for (int n = 2; taken.count(SameFileKey(candidate)) != 0; ++n) {
    candidate = folder / (stem + "_" + std::to_string(n) + suffix);
  }
  taken.insert(SameFileKey(candidate));
  return candidate;
}

}  // namespace

std::vector<BatchTarget> PlanBatchTargets(const std::vector<fs::path>& inputs,
                                          const std::optional<fs::path>& output,
                                          const std::optional<fs::path>& framesOnly) {
  std::set<fs::path> takenOutputs;
  for (const fs::path& input : inputs) takenOutputs.insert(SameFileKey(input));
  std::set<fs::path> takenFolders;
  std::vector<BatchTarget> targets;
  targets.reserve(inputs.size());
  for (const fs::path& input : inputs) {
    BatchTarget target;
    const std::string stem = input.stem().string();
    target.output = output ? *output
                           : FirstFree(input.parent_path(), stem + "_Unwrapped",
                                       IsPhotoPath(input) ? ".jpg" : ".mp4", takenOutputs);
    if (framesOnly) {
      target.frameFolder =
          inputs.size() == 1 ? *framesOnly : FirstFree(*framesOnly, stem, "", takenFolders);
    }
    targets.push_back(std::move(target));
  }
  return targets;
}

}  // namespace corvinex
