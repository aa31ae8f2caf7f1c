#pragma once

// What "Copy Main Image" puts on the clipboard. Left to itself the clipboard
// encodes the picture only when another program pastes it, on the window's
// thread, with no progress and no way out: a 75 × 75 map froze the window for
// half a minute. Encoded here instead, once, while the user can see how far
// it is and cancel.

#include "io/SaveProgress.h"

#include <QImage>
#include <QMimeData>

#include <memory>

namespace varrow {

// The mosaic as "image/png" (what programs ask a clipboard for) and as an
// image for pastes within this program. Throws ESaveCancelled when progress
// says so, EFileWriteError when the picture cannot be encoded.
std::unique_ptr<QMimeData> MapClipboardData(const QImage& mosaic,
                                            const TSaveProgress* progress = nullptr);

} // namespace varrow
