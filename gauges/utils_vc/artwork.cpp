// The virtual-cockpit strip shows the 2D strip's pictures: the same panel
// image (CALL OUT and ANNUN. TEST painted on it) and overlay, and the legends
// of its three working buttons only.
#include "../utils/strip_artwork.h"

namespace tarnwix::art::utils_strip {
namespace {
std::vector<Bitmap> draw_utils_vc() { return draw(false); }
const Registration registration{"Tarnwix_UtilsVC", &draw_utils_vc};
}  // namespace
}  // namespace tarnwix::art::utils_strip
