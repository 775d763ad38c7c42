#pragma once
// The lens table and the logic of the "Select vertical lens correction" menu.

#include <array>
#include <cstdint>
#include <string>

namespace corvinex {

struct LensProfile {
  int32_t menuId;
  const char* menuLabel;
  float HSIZE;  // vertical lens correction coefficient
  const char* lensName;
};

extern const std::array<LensProfile, 5> kLensProfiles;

// What the menu shows: one check mark per row, and the lens name that the
// progress display prints after "Lens uses =".
struct LensMenuState {
  std::array<bool, 5> checked{};
  std::string lensName;
};

// Checks the row whose coefficient equals HSIZE exactly and takes its name; with
// no such row nothing is checked and the name stays as it was.
void ShowLens(float HSIZE, LensMenuState& menu);

// Sets HSIZE from the row of `menuId`, then ShowLens. Returns false, changing
// nothing, for an id that is not in the table.
bool SelectLens(int32_t menuId, float& HSIZE, LensMenuState& menu);

}  // namespace corvinex
