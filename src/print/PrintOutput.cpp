#include "PrintOutput.h"

#include <QDir>
#include <QFileInfo>
#include <QPdfWriter>
#include <QSaveFile>

#include <initializer_list>
#include <utility>

namespace varrow {

namespace {

constexpr double MarginPoints = 18; // a quarter inch
constexpr int MinDpi = 72;
// At 600 per inch a page takes four times the time and file of 300, for detail no map has.
constexpr int MaxDpi = 600;

const std::initializer_list<std::pair<const char*, QPageSize::PageSizeId>> Papers = {
    {"letter", QPageSize::Letter}, {"legal", QPageSize::Legal}, {"tabloid", QPageSize::Tabloid},
    {"a3", QPageSize::A3},         {"a4", QPageSize::A4},       {"a5", QPageSize::A5}};

QString Why(const QString& fileName, const QString& reason) {
    return QStringLiteral("Cannot write %1: %2").arg(QDir::toNativeSeparators(fileName), reason);
}

// Passes writes on to the file and remembers the first one that did not go through whole: a
// full disk often takes part of a write without reporting an error, and the PDF writer does
// not look at what its writes return.
class TWholeWrites : public QIODevice {
public:
    explicit TWholeWrites(QFileDevice& file) : m_file(file) { open(QIODevice::WriteOnly); }
    const QString& Failure() const { return m_failure; }
    void Fail(const QString& reason) {
        if (m_failure.isEmpty())
            m_failure = reason.isEmpty() ? QStringLiteral("the disk is full") : reason;
    }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 len) override {
        if (!m_failure.isEmpty()) return -1;
        qint64 done = 0;
        while (done < len) {
            const qint64 n = m_file.write(data + done, len - done);
            if (n <= 0) break;
            done += n;
        }
        if (done == len) return len;
        Fail(m_file.error() != QFileDevice::NoError ? m_file.errorString() : QString());
        return -1;
    }

private:
    QFileDevice& m_file;
    QString m_failure;
};

[[noreturn]] void Fail(const QString& message) {
    throw EPrintError(message.toStdString());
}

bool ParseMethod(const QString& value, TPrintSettings& s) {
    const QString v = value.trimmed().toLower();
    if (v == QLatin1String("actual")) {
        s.Method = TPrintMethod::ActualSize;
        return true;
    }
    if (v == QLatin1String("fit")) {
        s.Method = TPrintMethod::FitToPage;
        return true;
    }
    if (v.startsWith(QLatin1String("manual:"))) {
        bool ok = false;
        const double f = v.mid(7).toDouble(&ok);
        if (!ok || !(f >= MinScaleFactor && f <= MaxScaleFactor)) return false;
        s.Method = TPrintMethod::ManualScale;
        s.Factor = f;
        return true;
    }
    if (v.startsWith(QLatin1String("scale:"))) {
        const auto n = ParseRatio(v.mid(6), QLocale::c());
        if (!n) return false;
        s.Method = TPrintMethod::MapScale;
        s.Ratio = *n;
        return true;
    }
    return false;
}

} // namespace

QPageLayout PageLayoutOf(const TPrintSettings& settings) {
    return QPageLayout(settings.Paper, settings.Orientation,
                       QMarginsF(MarginPoints, MarginPoints, MarginPoints, MarginPoints),
                       QPageLayout::Point);
}

bool PrintPagesToPdf(TPrintPreviewModel& pages, const TPageDecoration& decoration,
                     const QPageLayout& layout, int dpi, const QString& fileName,
                     const TPrintProgress& progress) {
    if (fileName.isEmpty()) Fail(QStringLiteral("No file name was given for the PDF file."));
    if (QFileInfo(fileName).isDir()) Fail(Why(fileName, QStringLiteral("it is a folder")));
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) Fail(Why(fileName, file.errorString()));
    TWholeWrites device(file);
    {
        QPdfWriter writer(&device);
        writer.setResolution(dpi);
        writer.setPageLayout(layout);
        writer.setTitle(QStringLiteral("Varrow map"));
        writer.setCreator(QStringLiteral("Varrow"));
        if (!pages.PrintPages(writer, true, progress, decoration)) {
            file.cancelWriting();
            return false;
        }
    }
    // QSaveFile's commit overlooks a failure of its last flush: it is done and checked first.
    if (device.Failure().isEmpty() && (!file.flush() || file.error() != QFileDevice::NoError))
        device.Fail(file.errorString());
    if (!device.Failure().isEmpty()) {
        file.cancelWriting();
        Fail(Why(fileName, device.Failure()));
    }
    if (!file.commit()) Fail(Why(fileName, file.errorString()));
    return true;
}

void SetPdfSheet(TPrintPreviewModel& pages, const TPrintSettings& settings) {
    pages.SetMetrics(MetricsOf(PageLayoutOf(settings), settings.Dpi));
    pages.SetScreenPpi(settings.ScreenPpi, settings.ScreenPpi);
}

bool PrintMapToPdf(const QImage& map, const TPrintMapInfo& info, const TPrintSettings& settings,
                   const QString& fileName, const TPrintProgress& progress) {
    const QPageLayout layout = PageLayoutOf(settings);
    TPrintPreviewModel pages;
    SetPdfSheet(pages, settings);
    TPrintLayout print(pages);
    print.Settings() = settings;
    print.SetMapSource({[&]() -> const QImage& { return map; }, [&] { return info; }});
    print.BuildPrintPages();
    return PrintPagesToPdf(pages, print.Decoration(), layout, settings.Dpi, fileName, progress);
}

bool IsPrintOption(const QString& option) {
    for (const char* o : {"--print-method", "--print-info", "--paper", "--orientation", "--dpi"})
        if (option == QLatin1String(o)) return true;
    return false;
}

bool ParsePrintOption(const QString& option, const QString& value, TPrintSettings& settings,
                      QString& error) {
    const QString v = value.trimmed().toLower();
    auto bad = [&](const QString& allowed) {
        error = QStringLiteral("bad %1 '%2': %3").arg(option, value, allowed);
        return false;
    };
    if (option == QLatin1String("--print-method")) {
        if (!ParseMethod(v, settings))
            return bad(QStringLiteral("give actual, fit, manual:F with F from 0.01 to 10, or "
                                      "scale:N for 1:N with N a whole number from 1 to 100000000"));
    } else if (option == QLatin1String("--print-info")) {
        if (v != QLatin1String("on") && v != QLatin1String("off"))
            return bad(QStringLiteral("give on or off"));
        settings.Info = v == QLatin1String("on");
    } else if (option == QLatin1String("--paper")) {
        QStringList names;
        for (const auto& [name, id] : Papers) {
            if (v == QLatin1String(name)) {
                settings.Paper = QPageSize(id);
                return true;
            }
            names << QLatin1String(name);
        }
        return bad(QStringLiteral("allowed are ") + names.join(QStringLiteral(", ")));
    } else if (option == QLatin1String("--orientation")) {
        if (v == QLatin1String("portrait"))
            settings.Orientation = QPageLayout::Portrait;
        else if (v == QLatin1String("landscape"))
            settings.Orientation = QPageLayout::Landscape;
        else
            return bad(QStringLiteral("give portrait or landscape"));
    } else if (option == QLatin1String("--dpi")) {
        bool ok = false;
        const int dpi = v.toInt(&ok);
        if (!ok || dpi < MinDpi || dpi > MaxDpi)
            return bad(QStringLiteral("give a whole number of pixels per inch from %1 to %2")
                           .arg(MinDpi)
                           .arg(MaxDpi));
        settings.Dpi = dpi;
    } else {
        error = QStringLiteral("unknown print option %1").arg(option);
        return false;
    }
    return true;
}

QString PrintOptionsUsage() {
    return QStringLiteral(
        "  --print FILE.pdf        print the map to a PDF file, every page in one document\n"
        "  --print-method M        actual (default), fit, manual:F (F 0.01..10) or scale:N (1:N)\n"
        "  --print-info on|off     map information and scale bars (default: on for scale:N)\n"
        "  --paper P               letter (default), legal, tabloid, a3, a4 or a5\n"
        "  --orientation O         portrait (default) or landscape\n"
        "  --dpi N                 printer pixels per inch, 72..600 (default 300)");
}

} // namespace varrow
