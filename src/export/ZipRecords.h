#pragma once

// The records of a ZIP archive as the ZIP writer reads and writes them: their
// signatures and sizes, little-endian fields, and the header fields the local
// and central headers share. For ZipperLib.cpp only.

#include "export/ZipperLib.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <limits>

namespace varrow::zip {

constexpr std::uint32_t LocalSignature = 0x04034b50;
constexpr std::uint32_t CentralSignature = 0x02014b50;
constexpr std::uint32_t EndSignature = 0x06054b50;
constexpr int LocalHeaderSize = 30;
constexpr int CentralHeaderSize = 46;
constexpr int EndRecordSize = 22;
constexpr std::uint16_t ZipVersion = 20; // 2.0; upper byte 0: MS-DOS attributes
constexpr std::uint16_t Utf8NameFlag = 0x0800;
// Made by "NTFS": the same MS-DOS attribute bits, but unzip translates names of "MS-DOS"
// entries from code page 437 even when they are flagged UTF-8, which garbles them.
constexpr std::uint16_t Utf8ZipVersion = (11 << 8) | ZipVersion;
constexpr std::uint16_t DataDescriptorFlag = 0x0008;
constexpr qint64 CopyStep = 64 * 1024;
constexpr qint64 ZipLimit = std::numeric_limits<std::uint32_t>::max();

class TWriter {
public:
    void U16(std::uint32_t v) { Put(v, 2); }
    void U32(std::uint32_t v) { Put(v, 4); }
    void Bytes(const QByteArray& bytes) { Data.append(bytes); }
    QByteArray Data;

private:
    void Put(std::uint32_t v, int size) {
        for (int i = 0; i < size; ++i)
            Data.append(static_cast<char>((v >> (8 * i)) & 0xffu));
    }
};

class TReader {
public:
    TReader(const QByteArray& data, qint64 position) : Position(position), Data(data) {}
    bool Has(qint64 count) const { return Position + count <= Data.size(); }
    std::uint32_t U16() { return Get(2); }
    std::uint32_t U32() { return Get(4); }
    QByteArray Bytes(qint64 count) {
        const QByteArray part = Data.mid(Position, count);
        Position += count;
        return part;
    }
    qint64 Position;

private:
    std::uint32_t Get(int size) {
        std::uint32_t v = 0;
        for (int i = 0; i < size; ++i)
            v |= static_cast<std::uint32_t>(static_cast<unsigned char>(Data[Position + i]))
                 << (8 * i);
        Position += size;
        return v;
    }
    const QByteArray& Data;
};

inline std::uint16_t U16(std::uint32_t v) {
    return static_cast<std::uint16_t>(v);
}

// Drive letters, network server and share names and leading slashes never belong in an
// archive: the entry would be extracted outside the folder it is extracted into.
inline QString Normalise(QString name) {
    name.replace(QLatin1Char('\\'), QLatin1Char('/'));
    qsizetype at = name.indexOf(QLatin1String(":/"));
    if (at >= 0) name.remove(0, at + 2);
    at = name.indexOf(QLatin1String("//"));
    if (at >= 0) {
        name.remove(0, at + 2);
        for (int part = 0; part < 2; ++part) {
            const qsizetype slash = name.indexOf(QLatin1Char('/'));
            if (slash >= 0) name.remove(0, slash + 1);
        }
    }
    while (name.startsWith(QLatin1Char('/')))
        name.remove(0, 1);
    return name;
}

inline bool SameName(const QString& a, const QString& b) {
    return QString::compare(a, b, Qt::CaseInsensitive) == 0;
}

inline bool IsAscii(const QString& text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
}

inline void DosDateTime(const QDateTime& when, std::uint16_t& time, std::uint16_t& date) {
    QDateTime local = when.isValid() ? when.toLocalTime() : QDateTime();
    if (!local.isValid() || local.date().year() < 1980)
        local = QDateTime(QDate(1980, 1, 1), QTime(0, 0));
    if (local.date().year() > 2107) local = QDateTime(QDate(2107, 12, 31), QTime(23, 59, 58));
    const QDate d = local.date();
    const QTime t = local.time();
    date = U16(static_cast<std::uint32_t>(((d.year() - 1980) << 9) | (d.month() << 5) | d.day()));
    time = U16(static_cast<std::uint32_t>((t.hour() << 11) | (t.minute() << 5) | (t.second() / 2)));
}

// The fields both headers carry, in the order both store them.
inline void WriteHeaderFields(TWriter& w, const TZipHeaderFields& f) {
    w.U16(f.VersionNeeded);
    w.U16(f.Flags);
    w.U16(f.Method);
    w.U16(f.Time);
    w.U16(f.Date);
    w.U32(f.Crc32);
    w.U32(f.CompressedSize);
    w.U32(f.UncompressedSize);
}

inline void ReadHeaderFields(TReader& r, TZipHeaderFields& f) {
    f.VersionNeeded = U16(r.U16());
    f.Flags = U16(r.U16());
    f.Method = U16(r.U16());
    f.Time = U16(r.U16());
    f.Date = U16(r.U16());
    f.Crc32 = r.U32();
    f.CompressedSize = r.U32();
    f.UncompressedSize = r.U32();
}

inline QByteArray LocalHeaderBytes(const TCentralDirectoryFile& c, const QByteArray& extra) {
    TWriter w;
    w.U32(LocalSignature);
    TZipHeaderFields fields = c;
    fields.Flags &= ~DataDescriptorFlag; // sizes and CRC are in the header itself
    WriteHeaderFields(w, fields);
    w.U16(static_cast<std::uint32_t>(c.FileName.size()));
    w.U16(static_cast<std::uint32_t>(extra.size()));
    w.Bytes(c.FileName);
    w.Bytes(extra);
    return w.Data;
}

inline QByteArray CentralHeaderBytes(const TCentralDirectoryFile& c) {
    TWriter w;
    w.U32(CentralSignature);
    w.U16(c.VersionMadeBy);
    WriteHeaderFields(w, c);
    w.U16(static_cast<std::uint32_t>(c.FileName.size()));
    w.U16(static_cast<std::uint32_t>(c.ExtraField.size()));
    w.U16(static_cast<std::uint32_t>(c.FileComment.size()));
    w.U16(c.DiskNumberStart);
    w.U16(c.InternalAttributes);
    w.U32(c.ExternalAttributes);
    w.U32(c.LocalHeaderOffset);
    w.Bytes(c.FileName);
    w.Bytes(c.ExtraField);
    w.Bytes(c.FileComment);
    return w.Data;
}

// Header fields of a local file header at reader's position; false when there is none.
inline bool ParseLocalHeader(TReader& r, TLocalFile& local, int& nameLength, int& extraLength) {
    if (!r.Has(LocalHeaderSize) || r.U32() != LocalSignature) return false;
    ReadHeaderFields(r, local);
    nameLength = static_cast<int>(r.U16());
    extraLength = static_cast<int>(r.U16());
    return true;
}

inline int LevelOf(TCompressionType type) {
    switch (type) {
    case TCompressionType::ctMaximum:
        return 9;
    case TCompressionType::ctFast:
    case TCompressionType::ctSuperFast:
        return 1;
    case TCompressionType::ctNone:
        return 0;
    default:
        return Z_DEFAULT_COMPRESSION;
    }
}

} // namespace varrow::zip
