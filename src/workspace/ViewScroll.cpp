#include "ViewScroll.h"

#include <algorithm>
#include <cmath>

namespace varrow {

int ScrollKeepingCentre(int position, int client, int oldExtent, int newExtent) {
    if (oldExtent <= 0 || newExtent <= 0) return 0;
    // The point under the middle, as a fraction of the picture; past its end
    // the end itself is what stays.
    const double fraction = std::clamp((position + client / 2.0) / oldExtent, 0.0, 1.0);
    const double wanted = newExtent * fraction - client / 2.0;
    return static_cast<int>(std::nearbyint(std::max(0.0, wanted)));
}

} // namespace varrow
