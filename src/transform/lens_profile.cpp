#include "transform/lens_profile.h"

namespace corvinex {

const std::array<LensProfile, 5> kLensProfiles = {{
    {801, " Standard", 0.0f, "Vistrel Lens "},
    {802, " 7%", 0.0352f, "Vistrel II Lens "},
    {803, " 3%", 0.015f, "Ambrix Lens "},
    {804, " 5%", 0.0251f, "Ovalto Lens "},
    {805, " 10%", 0.0502f, "Kestrone Lens "},
}};

void ShowLens(float HSIZE, LensMenuState& menu) {
  menu.checked.fill(false);
  for (size_t i = 0; i < kLensProfiles.size(); ++i) {
    if (kLensProfiles[i].HSIZE == HSIZE) {
      menu.checked[i] = true;
      menu.lensName = kLensProfiles[i].lensName;
      return;
    }
  }
}

bool SelectLens(int32_t menuId, float& HSIZE, LensMenuState& menu) {
  for (const LensProfile& lens : kLensProfiles) {
    if (lens.menuId == menuId) {
      HSIZE = lens.HSIZE;
      ShowLens(HSIZE, menu);
      return true;
    }
  }
  return false;
}

}  // namespace corvinex
