#include "PositionList.h"

#include "export/XMLDocLibrary.h"
#include "workspace/UserFolder.h"

#include <QFile>
#include <QSaveFile>

#include <pugixml.hpp>

#include <stdexcept>
#include <string>

namespace varrow {

const char* const PosListFileName = "VarrowPosList.xml";

namespace {

constexpr int MaxNameLength = 255;

std::function<void()> LoadedHandler;
// Set when the per-user file failed to load in this run; BackupKept tells
// whether its copy is safe beside it.
bool LoadFailed = false;
bool BackupKept = false;

[[noreturn]] void Fail(const QString& message) {
    throw std::runtime_error(message.toStdString());
}

QString Message(const std::exception& e) {
    return QString::fromUtf8(e.what());
}

// What a position holds before its fields are read: every position starts
// from these, so a field missing from one entry never takes the previous
// entry's value.
TTileLocation ClearedLocation() {
    TTileLocation r;
    r.Name.clear();
    r.Theme = static_cast<TTileTheme>(0);
    r.Scale = 0.0;
    r.Tile = TPoint{};
    r.Offset = TPoint{};
    r.Zone = 0;
    r.Outline = false;
    return r;
}

QString CutName(const QString& name) {
    if (name.size() <= MaxNameLength) return name;
    qsizetype n = MaxNameLength;
    // Never leave half of a surrogate pair behind.
    if (name.at(n - 1).isHighSurrogate()) --n;
    return name.left(n);
}

void ReadPosition(const pugi::xml_node& position, TTileLocation& r) {
    for (pugi::xml_node field = position.first_child(); field; field = field.next_sibling()) {
        const QString name = LocalName(field);
        if (name == QLatin1String("Name"))
            r.Name = CutName(ReadStringValue(field));
        else if (name == QLatin1String("Theme"))
            r.Theme = static_cast<TTileTheme>(static_cast<std::uint8_t>(ReadIntegerValue(field)));
        else if (name == QLatin1String("Scale"))
            r.Scale = ReadFloatValue(field);
        else if (name == QLatin1String("Tile"))
            ReadPointValue(field, r.Tile);
        else if (name == QLatin1String("Offset"))
            ReadPointValue(field, r.Offset);
        else if (name == QLatin1String("Zone"))
            r.Zone = ReadIntegerValue(field);
    }
}

// Writes data via a temporary file renamed over fileName.
bool SaveBytes(const QString& fileName, const QByteArray& data, QString* errorMessage) {
    QSaveFile file(fileName);
    // Unbuffered: a buffered short write (disk full) is lost in commit's flush
    // and the truncated file would be reported as saved.
    if (file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) &&
        file.write(data) == data.size() && file.commit())
        return true;
    if (errorMessage)
        *errorMessage =
            QStringLiteral("Unable to write to %1: %2").arg(fileName, file.errorString());
    return false;
}

bool KeepBackup(const QString& fileName, const QString& backupName) {
    QFile source(fileName);
    if (!source.open(QIODevice::ReadOnly)) return false;
    const QByteArray data = source.readAll();
    return source.error() == QFileDevice::NoError && SaveBytes(backupName, data, nullptr);
}

} // namespace

TPosList& PosList() {
    static TPosList list;
    return list;
}

void AppendPosition(TPosList& list, const TTileLocation& location) {
    list.push_back(location);
}

void DeletePosition(TPosList& list, int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= list.size()) return;
    list.erase(list.begin() + index);
}

bool WritePositionFile(const TPosList& list, const QString& fileName, QString* errorMessage) {
    pugi::xml_document doc;
    pugi::xml_node root = doc.append_child("PositionList");
    root.append_attribute("Version").set_value("1.0");
    pugi::xml_node posList = root.append_child("PosList");
    posList.append_attribute("Count").set_value(static_cast<long long>(list.size()));
    for (std::size_t i = 0; i < list.size(); ++i) {
        const TTileLocation& r = list[i];
        pugi::xml_node position = posList.append_child("Position");
        position.append_attribute("Index").set_value(static_cast<long long>(i));
        AddStringElement(position, QStringLiteral("Name"), r.Name);
        AddIntegerElement(position, QStringLiteral("Theme"), static_cast<std::uint8_t>(r.Theme));
        AddFloatElement(position, QStringLiteral("Scale"), r.Scale);
        AddPointElement(position, QStringLiteral("Tile"), r.Tile);
        AddPointElement(position, QStringLiteral("Offset"), r.Offset);
        AddIntegerElement(position, QStringLiteral("Zone"), r.Zone);
    }

    std::string text;
    struct : pugi::xml_writer {
        std::string* out = nullptr;
        void write(const void* data, size_t size) override {
            out->append(static_cast<const char*>(data), size);
        }
    } writer;
    writer.out = &text;
    doc.save(writer, "  ", pugi::format_indent, pugi::encoding_utf8);

    // The serialiser ends lines with LF; the file's lines end with CR LF.
    QByteArray data;
    data.reserve(static_cast<qsizetype>(text.size() + text.size() / 16));
    for (const char c : text) {
        if (c == '\n') data.append('\r');
        data.append(c);
    }
    return SaveBytes(fileName, data, errorMessage);
}

void ReadPositionFile(TPosList& list, const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        Fail(QStringLiteral("Unable to read %1: %2").arg(fileName, file.errorString()));
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        Fail(QStringLiteral("Unable to read %1: %2").arg(fileName, file.errorString()));

    pugi::xml_document doc;
    const pugi::xml_parse_result parsed =
        doc.load_buffer(data.constData(), static_cast<size_t>(data.size()));
    if (!parsed)
        Fail(QStringLiteral("%1 is not well-formed XML: %2 (at byte %3)")
                 .arg(fileName, QString::fromUtf8(parsed.description()))
                 .arg(parsed.offset));
    if (!doc.first_child()) Fail(QStringLiteral("%1 holds no XML document").arg(fileName));

    list.clear();
    const pugi::xml_node posList = doc.document_element().first_child();
    if (LocalName(posList) != QLatin1String("PosList")) return;
    const pugi::xml_attribute countAttr = posList.attribute("Count");
    if (!countAttr) Fail(QStringLiteral("The position list in %1 has no Count").arg(fileName));
    const std::int32_t count = TextToInteger(QString::fromUtf8(countAttr.value()));
    if (count <= 0) return;

    pugi::xml_node node = posList.first_child();
    if (!node)
        Fail(QStringLiteral("The position list in %1 should hold %2 positions but holds none")
                 .arg(fileName)
                 .arg(count));
    // Count rules, not the file's length: nodes of any name count towards it
    // and whatever follows the Count-th node is left alone.
    for (std::int32_t i = 0; i < count; ++i) {
        if (!node)
            Fail(QStringLiteral("The position list in %1 should hold %2 positions but holds "
                                "only %3")
                     .arg(fileName)
                     .arg(count)
                     .arg(i));
        if (LocalName(node) == QLatin1String("Position")) {
            TTileLocation r = ClearedLocation();
            ReadPosition(node, r);
            AppendPosition(list, r);
        }
        node = node.next_sibling();
    }
}

QString PosListPath() {
    return UserFilePath(QString::fromLatin1(PosListFileName));
}

QString PosListBackupPath() {
    return PosListPath() + QStringLiteral(".bak");
}

void SetPosListLoadedHandler(std::function<void()> handler) {
    LoadedHandler = std::move(handler);
}

bool LoadPositionList() {
    const QString fileName = PosListPath();
    LoadFailed = false;
    BackupKept = false;
    if (!QFile::exists(fileName)) return false;
    try {
        ReadPositionFile(PosList(), fileName);
    } catch (const std::exception& e) {
        LoadFailed = true;
        BackupKept = KeepBackup(fileName, PosListBackupPath());
        if (LoadedHandler) LoadedHandler();
        const QString note =
            BackupKept
                ? QStringLiteral("A copy of the file was kept as %1.").arg(PosListBackupPath())
                : QStringLiteral("The file could not be copied to %1, so it will not be "
                                 "replaced when Varrow ends.")
                      .arg(PosListBackupPath());
        Fail(QStringLiteral("Unable to load the saved positions from %1:\n%2\n\n%3")
                 .arg(fileName, Message(e), note));
    }
    if (LoadedHandler) LoadedHandler();
    return true;
}

void SavePositionList() {
    const QString fileName = PosListPath();
    // Never replace a file that failed to load before a copy of it is safe.
    if (LoadFailed && !BackupKept) {
        BackupKept = !QFile::exists(fileName) || KeepBackup(fileName, PosListBackupPath());
        if (!BackupKept)
            Fail(QStringLiteral("Unable to write to %1: the file that failed to load could not "
                                "be copied to %2 first")
                     .arg(fileName, PosListBackupPath()));
    }
    QString error;
    if (!WritePositionFile(PosList(), fileName, &error)) Fail(error);
}

} // namespace varrow
