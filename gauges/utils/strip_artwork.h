// The bitmaps of the utilities strip, drawn once for both utilities modules.
#pragma once

#include <vector>

#include "bitmap.h"

namespace tarnwix::art::utils_strip {

// The panel image, the label overlay and the legends of BRAKE HELP, NAV, GPS
// and SET; with `with_switch_legends` also the CALL OUT ON and CHK legends.
std::vector<Bitmap> draw(bool with_switch_legends);

}  // namespace tarnwix::art::utils_strip
