// varrow-render: builds a map from the tile service without a window, with the
// same view arithmetic, loader, cache and image writers the program uses.

#include "RenderOptions.h"
#include "RenderProgress.h"

#include "export/KmlExport.h"
#include "io/MapImageFile.h"
#include "positions/SavedPositions.h"
#include "workspace/UserDefaults.h"
#include "print/MapPrintSource.h"
#include "print/PrintOutput.h"
#include "tiles/LoadStats.h"
#include "workspace/MapGeoReference.h"
#include "workspace/MapSession.h"
#include "workspace/Readouts.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QGuiApplication>

#include <cstdio>
#include <exception>
#include <unistd.h>

using namespace varrow;

namespace {

enum ExitStatus { Complete = 0, Failed = 1, BadArguments = 2, TilesLost = 3, CannotWrite = 4 };

void Print(std::FILE* out, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), out);
    std::fputc('\n', out);
}

} // namespace

int main(int argc, char** argv) {
    // No display is needed: tiles are decoded and drawn on QImage only, and
    // the printed pages' text is laid out with the offscreen platform's fonts.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Varrow"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VARROW_VERSION));

    QString error;
    const auto options = ParseRenderOptions(app.arguments().mid(1), error);
    if (!options) {
        Print(stderr, QStringLiteral("varrow-render: %1").arg(error));
        return BadArguments;
    }
    if (options->ShowHelp) {
        Print(stdout, RenderUsage());
        return Complete;
    }
    if (options->ShowVersion) {
        Print(stdout, QStringLiteral("varrow-render %1").arg(QStringLiteral(VARROW_VERSION)));
        return Complete;
    }

    TMapSession session(options->Service);
    if (!session.SourceProblem().isEmpty()) {
        Print(stderr, QStringLiteral("varrow-render: %1").arg(session.SourceProblem()));
        return BadArguments;
    }
    if (options->HasSource || options->Offline || !options->CacheRoot.isEmpty()) {
        TMapSourceChoice choice = options->HasSource ? options->Source : EffectiveMapSource();
        choice.Offline = choice.Offline || options->Offline;
        if (!options->CacheRoot.isEmpty()) choice.CacheRoot = options->CacheRoot;
        try {
            session.SetTileSource(MakeTileSource(choice));
        } catch (const std::exception& e) {
            Print(stderr, QStringLiteral("varrow-render: %1").arg(QString::fromUtf8(e.what())));
            return BadArguments;
        }
    }
    session.View() = options->View;
    if (!options->Position.isEmpty()) {
        try {
            session.View().ApplyLocation(FindSavedPosition(
                options->Position, options->Positions.isEmpty() ? PosListPath() : options->Positions));
        } catch (const std::exception& e) {
            Print(stderr, QStringLiteral("varrow-render: %1").arg(QString::fromUtf8(e.what())));
            return BadArguments;
        }
    }
    session.SetGridOptions(options->Grid);
    TRenderProgress progress(stderr, !options->Quiet && isatty(STDERR_FILENO));
    QEventLoop loop;
    QObject::connect(&session, &TMapSession::progressChanged,
                     [&](const TLoadStats& stats) { progress.Update(stats); });
    QObject::connect(&session, &TMapSession::loadCompleted, &loop, &QEventLoop::quit);
    QObject::connect(&session, &TMapSession::errorRaised,
                     [&](const QString& message) { Print(stderr, QStringLiteral("varrow-render: %1").arg(message)); });

    try {
        session.LoadCurrentView(true);
    } catch (const std::exception& e) {
        Print(stderr, QStringLiteral("varrow-render: %1").arg(QString::fromUtf8(e.what())));
        return Failed;
    }
    // A view wholly served from the cache completes inside the call above.
    if (!session.LoadComplete())
        loop.exec();
    progress.Finish();

    const TLoadStats& stats = session.Stats();
    if (!options->Output.isEmpty()) {
        const TGeoReference geo = GeoReferenceOf(session.LoadedView(), session.Mosaic().size());
        const QString warning = ZoneEdgeWarning(session.LoadedView(), session.Mosaic().size());
        if (options->WorldFile && !warning.isEmpty())
            Print(stderr, QStringLiteral("varrow-render: %1").arg(warning));
        try {
            const TSaveProgress writing = [&](int percent) {
                progress.Writing(options->Output, percent);
                return true;
            };
            SaveMapImage(session.Mosaic(), options->Output,
                         TSaveOptions{options->WorldFile ? &geo : nullptr, &writing,
                                      session.TileSource()->Attribution()});
            progress.Finish();
        } catch (const std::exception& e) {
            Print(stderr, QStringLiteral("varrow-render: cannot write %1: %2")
                              .arg(options->Output, QString::fromUtf8(e.what())));
            return CannotWrite;
        }
    }
    if (!options->PrintFile.isEmpty()) {
        try {
            PrintMapToPdf(session.Mosaic(), PrintMapInfoOf(session), options->Print,
                          options->PrintFile, [&](int percent) {
                              progress.Writing(options->PrintFile, percent);
                              return true;
                          });
            progress.Finish();
        } catch (const std::exception& e) {
            Print(stderr, QStringLiteral("varrow-render: cannot print to %1: %2")
                              .arg(options->PrintFile, QString::fromUtf8(e.what())));
            return CannotWrite;
        }
    }

    if (!options->KmzFile.isEmpty()) {
        try {
            const TSaveProgress exporting = [&](int percent) {
                progress.Writing(options->KmzFile, percent);
                return true;
            };
            WriteKmzFile(options->KmzFile, session.Mosaic(), session.LoadedView(),
                         options->KmzExact, &exporting);
            progress.Finish();
        } catch (const std::exception& e) {
            Print(stderr, QStringLiteral("varrow-render: cannot write %1: %2")
                              .arg(options->KmzFile, QString::fromUtf8(e.what())));
            return CannotWrite;
        }
    }

    // One summary line per file written.
    for (const QString& written : {options->Output, options->PrintFile, options->KmzFile}) {
        if (options->Quiet || written.isEmpty()) continue;
        Print(stdout, QStringLiteral("%1: %2 tiles, %3 cache hits, %4 retries, %5 lost, %6 s, %7 bytes")
                          .arg(written)
                          .arg(stats.Total)
                          .arg(stats.CacheHits)
                          .arg(stats.Retries)
                          .arg(stats.Lost)
                          .arg(session.LoadSeconds(), 0, 'f', 3)
                          .arg(QFileInfo(written).size()));
    }
    if (stats.Lost > 0 && !options->AllowLost) {
        QString lost = LostTilesMessage(stats);
        while (lost.endsWith(QLatin1Char('.')))
            lost.chop(1);
        Print(stderr, QStringLiteral("varrow-render: %1. Those tiles could not be fetched and "
                                     "the map was written with blanks (--allow-lost accepts that)")
                          .arg(lost));
        return TilesLost;
    }
    return Complete;
}
