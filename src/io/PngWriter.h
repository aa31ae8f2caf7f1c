#pragma once

// PNG map images written row by row with libpng, so that a long save can
// tell its progress and be cancelled between rows: 24-bit RGB at the fastest
// deflate level (a 15,000-pixel map in about a third of the time pnmtopng
// takes, for a file about a tenth larger).

#include "io/SaveProgress.h"

#include <QIODevice>
#include <QImage>

namespace varrow {

// Raises EFileWriteError on failure, ESaveCancelled when progress says so.
// source, when given, goes into a "Source" text chunk.
void WritePng(const QImage& image, QIODevice& device, const TSaveProgress* progress = nullptr,
              const QString& source = QString());

} // namespace varrow
