#include "UserDefaults.h"

#include "geo/WebMercator.h"
#include "io/AtomicFile.h"
#include "io/UserFolder.h"
#include "tiles/TileLibrary.h"

#include <QFile>

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace varrow {

const char* const UserDefaultsFileName = "Varrow.ini";

namespace {

const QString SettingsSection = QStringLiteral("Settings");
const QString ConnectionSpeedKey = QStringLiteral("ConnectionSpeed");
const QString TileServiceKey = QStringLiteral("TileService");
const QString MapSourceKey = QStringLiteral("MapSource");
const QString OfflineKey = QStringLiteral("Offline");
const QString DiskCacheKey = QStringLiteral("DiskCacheMB");
const QString XyzNameKey = QStringLiteral("XyzName");
const QString XyzAttributionKey = QStringLiteral("XyzAttribution");
const QString XyzSubdomainsKey = QStringLiteral("XyzSubdomains");
const QString XyzMaxZoomKey = QStringLiteral("XyzMaxZoom");
// The custom service's templates, by TTileTheme value.
const QString XyzTemplateKeys[ThemeCount] = {QStringLiteral("XyzAerial"), QStringLiteral("XyzTopo"),
                                             QStringLiteral("XyzColorAerial")};
constexpr qint64 MiB = 1024 * 1024;
// Up to 1 TiB: more is a typo, and would overflow nothing but the disk.
constexpr std::int32_t MaxDiskCacheMB = 1 << 20;

[[noreturn]] void FailWrite(const QString& fileName, const QString& reason) {
    throw std::runtime_error(
        QStringLiteral("Unable to write to %1: %2").arg(fileName, reason).toStdString());
}

// One line of the file as bytes, so that a write reproduces every other line
// exactly, whatever its encoding.
struct TIniLine {
    QByteArray Text; // without the line end
    QByteArray End;  // "\r\n", "\n" or "" for a last line without one
};

// Where a section and a key lie in the file; -1 when absent.
struct TIniPlace {
    int Section = -1;
    int LastInSection = -1; // last non-blank line of the section
    int Key = -1;
    QString Value;
};

std::vector<TIniLine> SplitLines(const QByteArray& data) {
    std::vector<TIniLine> lines;
    qsizetype start = 0;
    while (start < data.size()) {
        qsizetype nl = data.indexOf('\n', start);
        TIniLine line;
        if (nl < 0) {
            line.Text = data.mid(start);
            start = data.size();
        } else {
            qsizetype end = nl;
            if (end > start && data.at(end - 1) == '\r') --end;
            line.Text = data.mid(start, end - start);
            line.End = data.mid(end, nl + 1 - end);
            start = nl + 1;
        }
        lines.push_back(line);
    }
    return lines;
}

bool SameName(const QByteArray& a, const QString& b) {
    return QString::fromUtf8(a).compare(b, Qt::CaseInsensitive) == 0;
}

QString Unquote(QString value) {
    if (value.size() >= 2 &&
        (value.front() == QLatin1Char('"') || value.front() == QLatin1Char('\'')) &&
        value.back() == value.front())
        value = value.mid(1, value.size() - 2);
    return value;
}

TIniPlace Find(const std::vector<TIniLine>& lines, const QString& section, const QString& key) {
    TIniPlace place;
    bool inSection = false;
    for (int i = 0; i < static_cast<int>(lines.size()); ++i) {
        QByteArray text = lines[static_cast<std::size_t>(i)].Text;
        if (i == 0 && text.startsWith("\xEF\xBB\xBF")) text = text.mid(3);
        text = text.trimmed();
        if (text.startsWith('[')) {
            if (inSection) break; // keys are looked up in the first such section only
            qsizetype close = text.indexOf(']');
            if (close < 0) close = text.size();
            inSection = SameName(text.mid(1, close - 1).trimmed(), section);
            if (inSection) place.Section = place.LastInSection = i;
            continue;
        }
        if (!inSection || text.isEmpty()) continue;
        place.LastInSection = i;
        if (text.startsWith(';')) continue;
        const qsizetype eq = text.indexOf('=');
        if (eq < 0 || !SameName(text.left(eq).trimmed(), key)) continue;
        place.Key = i;
        place.Value = Unquote(QString::fromUtf8(text.mid(eq + 1).trimmed()));
        return place;
    }
    return place;
}

// Reads the file; false (with the reason when asked) when it exists but cannot be read.
bool ReadFile(const QString& fileName, QByteArray& data, QString* reason = nullptr) {
    data.clear();
    QFile file(fileName);
    if (!file.exists()) return true;
    if (file.open(QIODevice::ReadOnly)) {
        data = file.readAll();
        if (file.error() == QFileDevice::NoError) return true;
    }
    if (reason) *reason = file.errorString();
    return false;
}

int HexDigit(QChar c) {
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9') return u - '0';
    if (u >= 'a' && u <= 'f') return u - 'a' + 10;
    if (u >= 'A' && u <= 'F') return u - 'A' + 10;
    return -1;
}

bool ParseHex(const QString& digits, std::int32_t& value) {
    if (digits.isEmpty() || digits.size() > 8) return false;
    std::uint32_t v = 0;
    for (const QChar c : digits) {
        const int d = HexDigit(c);
        if (d < 0) return false;
        v = v * 16 + static_cast<std::uint32_t>(d);
    }
    // Eight hex digits are a 32-bit pattern: 0xFFFFFFFF is -1.
    value = static_cast<std::int32_t>(v);
    return true;
}

} // namespace

QString UserDefaultsPath() {
    return UserFilePath(QString::fromLatin1(UserDefaultsFileName));
}

QString ReadIniString(const QString& fileName, const QString& section, const QString& key,
                      const QString& defaultValue) {
    QByteArray data;
    if (!ReadFile(fileName, data)) return defaultValue;
    const TIniPlace place = Find(SplitLines(data), section, key);
    return place.Key < 0 ? defaultValue : place.Value;
}

std::int32_t ReadIniInteger(const QString& fileName, const QString& section, const QString& key,
                            std::int32_t defaultValue) {
    QByteArray data;
    if (!ReadFile(fileName, data)) return defaultValue;
    const TIniPlace place = Find(SplitLines(data), section, key);
    if (place.Key < 0) return defaultValue;
    const QString& text = place.Value;
    std::int32_t value = 0;
    if (text.size() > 2 && text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        return ParseHex(text.mid(2), value) ? value : defaultValue;
    bool ok = false;
    value = text.toInt(&ok, 10);
    return ok ? value : defaultValue;
}

void WriteIniString(const QString& fileName, const QString& section, const QString& key,
                    const QString& value) {
    QByteArray data;
    QString unreadable;
    // Replacing a file that cannot be read would lose what it holds.
    if (!ReadFile(fileName, data, &unreadable)) FailWrite(fileName, unreadable);

    QString clean = value;
    clean.remove(QLatin1Char('\r'));
    clean.remove(QLatin1Char('\n'));
    const QByteArray entry = key.toUtf8() + '=' + clean.toUtf8();

    std::vector<TIniLine> lines = SplitLines(data);
    const QByteArray eol = data.contains("\r\n") ? QByteArray("\r\n") : QByteArray("\n");
    const TIniPlace place = Find(lines, section, key);
    if (place.Key >= 0) {
        lines[static_cast<std::size_t>(place.Key)].Text = entry;
    } else if (place.Section >= 0) {
        // After the section's last line, not after the blank lines that part it
        // from the next section.
        const std::size_t at = static_cast<std::size_t>(place.LastInSection) + 1;
        if (lines[at - 1].End.isEmpty()) lines[at - 1].End = eol;
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), TIniLine{entry, eol});
    } else {
        if (!lines.empty() && lines.back().End.isEmpty()) lines.back().End = eol;
        lines.push_back({'[' + section.toUtf8() + ']', eol});
        lines.push_back({entry, eol});
    }

    QByteArray out;
    for (const TIniLine& line : lines)
        out += line.Text + line.End;
    try {
        WriteFileAtomically(fileName, out);
    } catch (const EFileWriteError& e) {
        FailWrite(fileName, e.Reason());
    }
}

void WriteIniInteger(const QString& fileName, const QString& section, const QString& key,
                     std::int32_t value) {
    WriteIniString(fileName, section, key, QString::number(value));
}

std::int32_t ReadConnectionSpeed() {
    return ReadIniInteger(UserDefaultsPath(), SettingsSection, ConnectionSpeedKey, 0);
}

int ConnectionSpeedSelection(std::int32_t stored) {
    constexpr int ItemCount = 2;
    if (stored < -1) return -1;
    if (stored >= ItemCount) return ItemCount - 1;
    return stored;
}

void WriteConnectionSpeed(int itemIndex) {
    WriteIniInteger(UserDefaultsPath(), SettingsSection, ConnectionSpeedKey, itemIndex);
}

QString ReadTileServiceSetting() {
    return ReadIniString(UserDefaultsPath(), SettingsSection, TileServiceKey);
}

void WriteTileServiceSetting(const QString& base) {
    WriteIniString(UserDefaultsPath(), SettingsSection, TileServiceKey, base.trimmed());
}

QString EffectiveTileService() {
    return ResolveTileService(ReadTileServiceSetting());
}

const char* const TileServiceVariable = "VARROW_TILE_SERVICE";

TMapSourceChoice ReadMapSourceSetting() {
    const QString file = UserDefaultsPath();
    const auto text = [&](const QString& key) { return ReadIniString(file, SettingsSection, key); };
    TMapSourceChoice choice;
    choice.Service = text(TileServiceKey);
    TMapSourceKind kind = TMapSourceKind::Demo;
    if (MapSourceKindOfId(text(MapSourceKey), kind))
        choice.Kind = kind;
    else
        choice.Kind =
            choice.Service.trimmed().isEmpty() ? TMapSourceKind::Demo : TMapSourceKind::Service;
    for (int t = 0; t < ThemeCount; ++t)
        choice.Custom.Templates[static_cast<std::size_t>(t)] = text(XyzTemplateKeys[t]);
    choice.Custom.Name = text(XyzNameKey);
    choice.Custom.Attribution = text(XyzAttributionKey);
    const QString subdomains = text(XyzSubdomainsKey).trimmed();
    if (!subdomains.isEmpty()) {
        QStringList list;
        for (const QString& part : subdomains.split(QLatin1Char(',')))
            if (!part.trimmed().isEmpty()) list << part.trimmed();
        if (!list.isEmpty()) choice.Custom.Subdomains = list;
    }
    const std::int32_t zoom =
        ReadIniInteger(file, SettingsSection, XyzMaxZoomKey, choice.Custom.MaxZoom);
    if (zoom >= 0 && zoom <= MaxMercatorZoom) choice.Custom.MaxZoom = zoom;
    choice.Offline = ReadIniInteger(file, SettingsSection, OfflineKey, 0) != 0;
    const std::int32_t megabytes = ReadIniInteger(file, SettingsSection, DiskCacheKey, -1);
    if (megabytes >= 0 && megabytes <= MaxDiskCacheMB) choice.CacheLimitBytes = megabytes * MiB;
    return choice;
}

void WriteMapSourceSetting(const TMapSourceChoice& choice) {
    const QString file = UserDefaultsPath();
    const auto write = [&](const QString& key, const QString& value) {
        WriteIniString(file, SettingsSection, key, value.trimmed());
    };
    write(MapSourceKey, MapSourceId(choice.Kind));
    write(TileServiceKey, choice.Service);
    for (int t = 0; t < ThemeCount; ++t)
        write(XyzTemplateKeys[t], choice.Custom.Templates[static_cast<std::size_t>(t)]);
    write(XyzNameKey, choice.Custom.Name);
    write(XyzAttributionKey, choice.Custom.Attribution);
    write(XyzSubdomainsKey, choice.Custom.Subdomains.join(QLatin1Char(',')));
    WriteIniInteger(file, SettingsSection, XyzMaxZoomKey, choice.Custom.MaxZoom);
    WriteIniInteger(file, SettingsSection, OfflineKey, choice.Offline ? 1 : 0);
    WriteIniInteger(
        file, SettingsSection, DiskCacheKey,
        static_cast<std::int32_t>(std::min<qint64>(choice.CacheLimitBytes / MiB, MaxDiskCacheMB)));
}

TMapSourceChoice EffectiveMapSource() {
    TMapSourceChoice choice = ReadMapSourceSetting();
    const QString forced = qEnvironmentVariable(TileServiceVariable).trimmed();
    if (!forced.isEmpty()) {
        choice.Kind = TMapSourceKind::Service;
        choice.Service = forced;
    }
    return choice;
}

} // namespace varrow
