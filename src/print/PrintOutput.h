#pragma once

// Printing to a PDF file without a window, and the command-line words for it.

#include "PrintLayout.h"

#include <QPageLayout>
#include <QString>

namespace varrow {

// The sheet of settings: paper and orientation, with quarter-inch margins so that the
// file prints on an ordinary printer without losing the map's edge.
QPageLayout PageLayoutOf(const TPrintSettings& settings);

// Prints the pages as one PDF document of every page that is not blank, in order. The file
// is written beside fileName and renamed over it when complete, so a failure or a cancel
// leaves what was there before. False when progress cancelled; EPrintError on failure.
bool PrintPagesToPdf(TPrintPreviewModel& pages, const TPageDecoration& decoration,
                     const QPageLayout& layout, int dpi, const QString& fileName,
                     const TPrintProgress& progress = {});

// Gives pages the sheet the settings name at their resolution, as a PDF file has it.
void SetPdfSheet(TPrintPreviewModel& pages, const TPrintSettings& settings);

// Lays out the map by settings and prints it to fileName as above.
bool PrintMapToPdf(const QImage& map, const TPrintMapInfo& info, const TPrintSettings& settings,
                   const QString& fileName, const TPrintProgress& progress = {});

// The options --print-method actual|fit|manual:F|scale:N, --print-info on|off,
// --paper letter|legal|tabloid|a3|a4|a5, --orientation portrait|landscape, --dpi N.
bool IsPrintOption(const QString& option);
// Sets the option's value in settings; false with error naming the allowed values.
bool ParsePrintOption(const QString& option, const QString& value, TPrintSettings& settings,
                      QString& error);
// Lines for a usage text.
QString PrintOptionsUsage();

} // namespace varrow
