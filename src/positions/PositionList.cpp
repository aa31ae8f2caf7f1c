#include "PositionList.h"

#include "export/XMLDocLibrary.h"
#include "io/AtomicFile.h"
#include "io/UserFolder.h"

#include <QFile>

#include <pugixml.hpp>

#include <stdexcept>
#include <string>

namespace varrow {

const char* const PosListFileName = "VarrowPosList.xml";

namespace {

constexpr int MaxNameLength = 255;

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
    try {
        WriteFileAtomically(fileName, data);
        return true;
    } catch (const EFileWriteError& e) {
        if (errorMessage)
            *errorMessage = QStringLiteral("Unable to write to %1: %2").arg(fileName, e.Reason());
        return false;
    }
}

// Whether a sibling after the Count-th node is a position the count left out.
bool HoldsMorePositions(pugi::xml_node node) {
    for (; node; node = node.next_sibling())
        if (LocalName(node) == QLatin1String("Position")) return true;
    return false;
}

} // namespace

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

QString ReadPositionFile(TPosList& list, const QString& fileName) {
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
    if (LocalName(posList) != QLatin1String("PosList"))
        return QStringLiteral("%1 does not start with a position list (it starts with \"%2\")")
            .arg(fileName, posList ? LocalName(posList) : QStringLiteral("nothing"));
    const pugi::xml_attribute countAttr = posList.attribute("Count");
    if (!countAttr) Fail(QStringLiteral("The position list in %1 has no Count").arg(fileName));
    const std::int32_t count = TextToInteger(QString::fromUtf8(countAttr.value()));
    if (count <= 0)
        return HoldsMorePositions(posList.first_child())
                   ? QStringLiteral("The position list in %1 says it holds no positions, but "
                                    "it holds some")
                         .arg(fileName)
                   : QString();

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
    if (HoldsMorePositions(node))
        return QStringLiteral("The position list in %1 holds more positions than the %2 it says")
            .arg(fileName)
            .arg(count);
    return QString();
}

QString PosListPath() {
    return UserFilePath(QString::fromLatin1(PosListFileName));
}

TPositionList::TPositionList(const QString& fileName) : m_fileName(fileName) {}

bool TPositionList::KeepBackup() {
    if (!m_backup.isEmpty()) return true;
    QFile source(m_fileName);
    if (!source.open(QIODevice::ReadOnly)) return false;
    const QByteArray data = source.readAll();
    if (source.error() != QFileDevice::NoError) return false;
    // Every failed file gets a copy of its own: an earlier copy may be the
    // only one of positions the user has not noticed losing yet.
    QString name = m_fileName + QStringLiteral(".bak");
    for (int i = 1; QFile::exists(name); ++i)
        name = m_fileName + QStringLiteral(".bak%1").arg(i);
    if (!SaveBytes(name, data, nullptr)) return false;
    m_backup = name;
    return true;
}

bool TPositionList::Load() {
    m_loadIncomplete = false;
    m_backup.clear();
    if (!QFile::exists(m_fileName)) return false;
    QString problem;
    try {
        problem = ReadPositionFile(m_items, m_fileName);
    } catch (const std::exception& e) {
        problem = Message(e);
    }
    if (OnLoaded) OnLoaded();
    if (problem.isEmpty()) return true;
    m_loadIncomplete = true;
    const QString note =
        KeepBackup() ? QStringLiteral("A copy of the file was kept as %1.").arg(m_backup)
                     : QStringLiteral("The file could not be copied aside, so it will not be "
                                      "replaced when Varrow ends.");
    Fail(QStringLiteral("Not all saved positions could be loaded from %1:\n%2\n\n%3")
             .arg(m_fileName, problem, note));
}

void TPositionList::Save() {
    // Never replace a file that was not read whole before a copy of it is safe.
    if (m_loadIncomplete && QFile::exists(m_fileName) && !KeepBackup())
        Fail(QStringLiteral("Unable to write to %1: the file that failed to load could not "
                            "be copied aside first")
                 .arg(m_fileName));
    QString error;
    if (!WritePositionFile(m_items, m_fileName, &error)) Fail(error);
}

} // namespace varrow
