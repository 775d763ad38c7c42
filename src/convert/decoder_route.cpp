#include "convert/conversion_run.h"

namespace corvinex {

bool RunDecoderRoute(ConversionRun& run) {
  (void)run;
  return true;
}

}  // namespace corvinex
