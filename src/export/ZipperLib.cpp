#include "export/ZipperLib.h"

#include "export/ZipRecords.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#ifdef Q_OS_LINUX
#include <fcntl.h>
#endif

namespace varrow {

using namespace zip;

// --- TZipperEntriesEntry --------------------------------------------------------------------

QString TZipperEntriesEntry::Name() const {
    if (Central.Flags & Utf8NameFlag) return QString::fromUtf8(Central.FileName);
    // Unflagged names from elsewhere are often in a Windows code page rather than UTF-8.
    const QString utf8 = QString::fromUtf8(Central.FileName);
    return utf8.contains(QChar::ReplacementCharacter) ? QString::fromLatin1(Central.FileName)
                                                      : utf8;
}

QDateTime TZipperEntriesEntry::DateTime() const {
    const QDate d(1980 + (Central.Date >> 9), (Central.Date >> 5) & 15, Central.Date & 31);
    const QTime t(Central.Time >> 11, (Central.Time >> 5) & 63, (Central.Time & 31) * 2);
    return QDateTime(d, t);
}

TCompressionType TZipperEntriesEntry::CompressionType() const {
    if (Central.Method != 8 && Central.Method != 9) return TCompressionType::ctUnknown;
    switch (Central.Flags & 6u) {
    case 2:
        return TCompressionType::ctMaximum;
    case 4:
        return TCompressionType::ctFast;
    case 6:
        return TCompressionType::ctSuperFast;
    default:
        return TCompressionType::ctNormal;
    }
}

// --- TZipper: opening and closing ----------------------------------------------------------

TZipper::TZipper() = default;

TZipper::~TZipper() {
    Archive.close();
}

void TZipper::WriteEmptyArchive(QIODevice& stream) {
    TWriter w;
    w.U32(EndSignature);
    w.Data.append(EndRecordSize - 4, '\0');
    if (stream.write(w.Data) != EndRecordSize)
        throw EZipperError(
            QStringLiteral("Cannot write the archive: %1").arg(stream.errorString()).toStdString());
}

void TZipper::SetActive(bool active) {
    if (active && !Open && !ArchiveName.isEmpty())
        OpenArchive(ArchiveName);
    else if (!active)
        CloseArchive();
}

void TZipper::SetCompressionType(TCompressionType type) {
    Compression = type == TCompressionType::ctUnknown ? TCompressionType::ctNormal : type;
}

void TZipper::OpenArchive(const QString& fileName) {
    CloseArchive();
    ArchiveName = fileName;
    const QFileInfo info(fileName);
    if (!info.exists() || info.isDir())
        throw EZipperError(QStringLiteral("File \"%1\" not found!").arg(fileName).toStdString());
    // The owner's write permission plays the part of the read-only attribute; checking it
    // also holds for a user (root) whom the system lets write anyway.
    ReadOnlyFile = !info.isWritable() || !(info.permissions() & QFileDevice::WriteOwner);
    Archive.setFileName(fileName);
    const QIODevice::OpenMode mode =
        (ReadOnlyFile ? QIODevice::ReadOnly : QIODevice::ReadWrite) | QIODevice::Unbuffered;
    if (!Archive.open(mode)) {
        ReadOnlyFile = false;
        throw EZipperError(QStringLiteral("Cannot open \"%1\": %2")
                               .arg(QDir::toNativeSeparators(fileName), Archive.errorString())
                               .toStdString());
    }
    if (!ReadDirectory()) {
        Archive.close();
        Items.clear();
        ReadOnlyFile = false;
        Rebuild = false;
        return;
    }
    Open = true;
    Changed(TZipChangeType::Opened);
}

void TZipper::CloseArchive() {
    const bool wasOpen = Open;
    Items.clear();
    Archive.close();
    Open = false;
    ReadOnlyFile = false;
    Rebuild = false;
    End = TEndRecord();
    ArchiveComment.clear();
    if (wasOpen) Changed(TZipChangeType::Closed);
}

void TZipper::Changed(TZipChangeType change) {
    if (OnZipChange) OnZipChange(*this, change);
}

// Sizes and offsets come from the archive itself: never ask for more than the file holds, or
// a damaged directory has us allocate gigabytes to read a few hundred bytes.
QByteArray TZipper::ReadAt(qint64 position, qint64 count) {
    const qint64 available = Archive.size() - position;
    if (position < 0 || count <= 0 || available <= 0 || !Archive.seek(position))
        return QByteArray();
    return Archive.read(std::min(count, available));
}

// Where an entry's data ends, its local header included.
qint64 TZipper::EntryEnd(const TZipperEntriesEntry& entry) {
    return qint64{entry.Central.LocalHeaderOffset} + LocalHeaderSize + entry.Local.FileName.size() +
           entry.Local.ExtraField.size() + qint64{entry.Central.CompressedSize};
}

// Every entry's header and data must lie before the directory and apart from each other; an
// archive that says otherwise is rewritten from what can be found at the next change, since
// writing after or moving such entries in place would keep the lie or destroy neighbours.
bool TZipper::ExtentsConsistent(const TZipperEntries& entries, qint64 directoryOffset) {
    std::vector<std::pair<qint64, qint64>> extents;
    for (const TZipperEntriesEntry& entry : entries) {
        const qint64 end = EntryEnd(entry);
        if (end > directoryOffset) return false;
        extents.emplace_back(entry.Central.LocalHeaderOffset, end);
    }
    std::sort(extents.begin(), extents.end());
    for (std::size_t i = 1; i < extents.size(); ++i)
        if (extents[i].first < extents[i - 1].second) return false;
    return true;
}

bool TZipper::ReadDirectory() {
    Items.clear();
    Rebuild = false;
    ArchiveComment.clear();
    const qint64 end = FindEndRecord();
    if (end >= 0 && ReadCentralDirectory(end)) return true;
    Items.clear();
    ArchiveComment.clear();
    if (ScanLocalHeaders()) {
        Rebuild = true;
        return true;
    }
    Items.clear();
    return false;
}

// Backwards from 22 bytes before the end, in three ever larger windows, so that an archive
// comment of up to 64 KiB is passed over. A window reaching past the start of the file is
// cut short there: a small archive with a long comment is still an archive.
qint64 TZipper::FindEndRecord() {
    const qint64 size = Archive.size();
    if (size < EndRecordSize) return -1;
    struct TWindow {
        qint64 Back;
        qint64 Length;
    };
    const TWindow windows[] = {{22, 256}, {278, 1024}, {1046, 65536}};
    for (const TWindow& window : windows) {
        const qint64 start = size - window.Back;
        if (start < 0) return -1;
        const qint64 lowest = std::max<qint64>(0, start - window.Length + 1);
        const QByteArray bytes = ReadAt(lowest, start + 4 - lowest);
        if (bytes.size() != start + 4 - lowest) return -1;
        auto at = [&](qint64 p) { return static_cast<unsigned char>(bytes[p - lowest]); };
        qint64 p = start;
        while (p >= lowest) {
            if (at(p) != 0x50)
                p -= 1;
            else if (at(p + 1) == 0x4b && at(p + 2) == 0x05 && at(p + 3) == 0x06)
                return p;
            else
                p -= 4;
        }
        if (lowest == 0) return -1;
    }
    return -1;
}

bool TZipper::ReadCentralDirectory(qint64 endPosition) {
    const QByteArray endBytes = ReadAt(endPosition, EndRecordSize);
    if (endBytes.size() != EndRecordSize) return false;
    TReader e(endBytes, 4);
    TEndRecord record;
    record.DiskNumber = U16(e.U16());
    record.DirectoryDisk = U16(e.U16());
    record.EntriesOnDisk = U16(e.U16());
    record.TotalEntries = U16(e.U16());
    record.DirectorySize = e.U32();
    record.DirectoryOffset = e.U32();
    const qint64 commentLength = e.U16();
    if (record.DirectoryOffset > endPosition) return false;

    const QByteArray directory =
        ReadAt(record.DirectoryOffset, endPosition - record.DirectoryOffset);
    TReader r(directory, 0);
    TZipperEntries entries;
    for (int i = 0; i < record.TotalEntries; ++i) {
        if (!r.Has(CentralHeaderSize) || r.U32() != CentralSignature) return false;
        TZipperEntriesEntry entry;
        TCentralDirectoryFile& c = entry.Central;
        c.VersionMadeBy = U16(r.U16());
        ReadHeaderFields(r, c);
        const qint64 nameLength = r.U16();
        const qint64 extraLength = r.U16();
        const qint64 commentLen = r.U16();
        c.DiskNumberStart = U16(r.U16());
        c.InternalAttributes = U16(r.U16());
        c.ExternalAttributes = r.U32();
        c.LocalHeaderOffset = r.U32();
        if (!r.Has(nameLength + extraLength + commentLen)) return false;
        c.FileName = r.Bytes(nameLength);
        c.ExtraField = r.Bytes(extraLength);
        c.FileComment = r.Bytes(commentLen);
        entries.push_back(entry);
        if (OnZipOpen) OnZipOpen(*this, i + 1, record.TotalEntries);
    }

    for (TZipperEntriesEntry& entry : entries) {
        const QByteArray head = ReadAt(entry.Central.LocalHeaderOffset, LocalHeaderSize);
        TReader h(head, 0);
        int nameLength = 0;
        int extraLength = 0;
        if (!ParseLocalHeader(h, entry.Local, nameLength, extraLength)) {
            Rebuild = true;
            continue;
        }
        const QByteArray rest =
            ReadAt(entry.Central.LocalHeaderOffset + LocalHeaderSize, nameLength + extraLength);
        if (rest.size() != nameLength + extraLength) Rebuild = true;
        entry.Local.FileName = rest.left(nameLength);
        entry.Local.ExtraField = rest.mid(nameLength);
    }
    if (!ExtentsConsistent(entries, record.DirectoryOffset)) Rebuild = true;
    Items = std::move(entries);
    End = record;
    ArchiveComment = ReadAt(endPosition + EndRecordSize, commentLength);
    return true;
}

// An archive without its directory (cut short, say): its entries are found from their own
// headers, one after the other.
bool TZipper::ScanLocalHeaders() {
    const qint64 size = Archive.size();
    qint64 position = 0;
    qint64 directorySize = 0;
    TZipperEntries entries;
    for (;;) {
        const QByteArray head = ReadAt(position, LocalHeaderSize);
        TReader h(head, 0);
        TZipperEntriesEntry entry;
        int nameLength = 0;
        int extraLength = 0;
        if (!ParseLocalHeader(h, entry.Local, nameLength, extraLength)) break;
        const qint64 next =
            position + LocalHeaderSize + nameLength + extraLength + entry.Local.CompressedSize;
        if (next > size) break;
        const QByteArray rest = ReadAt(position + LocalHeaderSize, nameLength + extraLength);
        entry.Local.FileName = rest.left(nameLength);
        entry.Local.ExtraField = rest.mid(nameLength);
        TCentralDirectoryFile& c = entry.Central;
        static_cast<TZipHeaderFields&>(c) = entry.Local;
        c.VersionMadeBy = (entry.Local.Flags & Utf8NameFlag) ? Utf8ZipVersion : ZipVersion;
        c.FileName = entry.Local.FileName;
        c.ExternalAttributes = c.FileName.endsWith('/') ? ZipFolderAttribute : ZipFileAttribute;
        c.LocalHeaderOffset = static_cast<std::uint32_t>(position);
        directorySize += CentralHeaderSize + nameLength;
        entries.push_back(entry);
        position = next;
    }
    if (entries.empty()) return false;
    End = TEndRecord();
    End.EntriesOnDisk = End.TotalEntries = U16(static_cast<std::uint32_t>(entries.size()));
    End.DirectorySize = static_cast<std::uint32_t>(directorySize);
    End.DirectoryOffset = static_cast<std::uint32_t>(position);
    Items = std::move(entries);
    return true;
}

// --- TZipper: names ------------------------------------------------------------------------

QString TZipper::StoredName(const QString& name) const {
    if (RelativePaths) return Normalise(name);
    QString file = name;
    const qsizetype cut =
        std::max({file.lastIndexOf(QLatin1Char('/')), file.lastIndexOf(QLatin1Char('\\')),
                  file.lastIndexOf(QLatin1Char(':'))});
    file.remove(0, cut + 1);
    return Normalise(file);
}

int TZipper::IndexOf(const QString& name) const {
    const QString wanted = Normalise(name);
    for (int i = 0; i < static_cast<int>(Items.size()); ++i)
        if (SameName(Normalise(Items[i].Name()), wanted)) return i;
    return -1;
}

// --- TZipper: adding -----------------------------------------------------------------------

void TZipper::RequireWritable() const {
    if (!Open) throw EZipperError("No archive is open");
    if (ReadOnlyFile) RaiseFileError(QStringLiteral("the archive is read-only"));
}

void TZipper::RaiseFileError(const QString& reason) const {
    throw EZipperError(QStringLiteral("Cannot write \"%1\": %2")
                           .arg(QDir::toNativeSeparators(ArchiveName), reason)
                           .toStdString());
}

void TZipper::AddFileFromStream(const QString& name, QIODevice& stream) {
    AddEntry(name, ZipFileAttribute, stream, QDateTime::currentDateTime());
}

void TZipper::AddEntry(const QString& name, std::uint32_t attributes, QIODevice& source,
                       const QDateTime& dateTime) {
    RequireWritable();
    QString entryName = StoredName(name);
    // A folder is known to other programs by its trailing slash alone; without one, "files"
    // would be extracted as an empty file that then blocks the folder "files/".
    if ((attributes & ZipFolderAttribute) && !entryName.isEmpty() &&
        !entryName.endsWith(QLatin1Char('/')))
        entryName += QLatin1Char('/');
    if (entryName.isEmpty())
        throw EZipperError(
            QStringLiteral("\"%1\" is not a valid entry name").arg(name).toStdString());

    if (Folders && RelativePaths) {
        const QDateTime now = QDateTime::currentDateTime();
        for (qsizetype slash = entryName.indexOf(QLatin1Char('/')); slash >= 0;
             slash = entryName.indexOf(QLatin1Char('/'), slash + 1)) {
            const QString folder = entryName.left(slash + 1);
            if (folder.size() < entryName.size() && IndexOf(folder) < 0)
                AddOne(folder, ZipFolderAttribute, QByteArray(), now);
        }
    }
    const QByteArray data = source.readAll();
    AddOne(entryName, attributes, data, dateTime);
    if (OnAddItem) OnAddItem(*this, entryName);
}

void TZipper::AddOne(const QString& name, std::uint32_t attributes, const QByteArray& data,
                     const QDateTime& dateTime) {
    if (data.size() > ZipLimit) RaiseFileError(QStringLiteral("the entry is too large"));
    const QByteArray compressed = data.isEmpty() ? QByteArray() : Compress(data);
    if (compressed.size() > ZipLimit) RaiseFileError(QStringLiteral("the entry is too large"));
    // Compressed before the old entry goes, so that a compression failure loses nothing.
    const int existing = IndexOf(name);
    if (existing >= 0) RemoveAt(existing, false);

    TZipperEntriesEntry entry;
    TCentralDirectoryFile& c = entry.Central;
    // ASCII names are stored as they are; others as UTF-8, with the flag that says so.
    const bool ascii = IsAscii(name);
    c.VersionMadeBy = ascii ? ZipVersion : Utf8ZipVersion;
    c.VersionNeeded = ZipVersion;
    c.Flags = ascii ? 0 : Utf8NameFlag;
    c.FileName = ascii ? name.toLatin1() : name.toUtf8();
    c.Method = data.isEmpty() ? 0 : 8;
    DosDateTime(dateTime, c.Time, c.Date);
    c.Crc32 = data.isEmpty() ? 0
                             : static_cast<std::uint32_t>(
                                   crc32_z(0, reinterpret_cast<const Bytef*>(data.constData()),
                                           static_cast<z_size_t>(data.size())));
    c.CompressedSize = static_cast<std::uint32_t>(compressed.size());
    c.UncompressedSize = static_cast<std::uint32_t>(data.size());
    c.ExternalAttributes = attributes;
    static_cast<TZipHeaderFields&>(entry.Local) = c;
    entry.Local.FileName = c.FileName;

    if (Method == TZipSaveMethod::RebuildAll || Rebuild)
        RewriteAll(Items, &entry, compressed);
    else
        Append(std::move(entry), compressed);
    Changed(TZipChangeType::EntryAdded);
}

QByteArray TZipper::Compress(const QByteArray& data) {
    z_stream z;
    std::memset(&z, 0, sizeof z);
    // Negative window bits: raw deflate, without the zlib header and trailer a ZIP entry
    // does not have.
    if (deflateInit2(&z, LevelOf(Compression), Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) !=
        Z_OK)
        throw ECompressionError("error");
    QByteArray out;
    const auto* input = reinterpret_cast<const Bytef*>(data.constData());
    qint64 consumed = 0;
    int result = Z_OK;
    while (result != Z_STREAM_END) {
        if (z.avail_in == 0 && consumed < data.size()) {
            const qint64 chunk = std::min<qint64>(data.size() - consumed, 1 << 30);
            z.next_in = const_cast<Bytef*>(input + consumed);
            z.avail_in = static_cast<uInt>(chunk);
            consumed += chunk;
        }
        const qsizetype had = out.size();
        out.resize(had + CopyStep);
        z.next_out = reinterpret_cast<Bytef*>(out.data() + had);
        z.avail_out = static_cast<uInt>(CopyStep);
        result = deflate(&z, consumed < data.size() ? Z_NO_FLUSH : Z_FINISH);
        out.resize(had + CopyStep - z.avail_out);
        if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR) {
            deflateEnd(&z);
            throw ECompressionError("error");
        }
        if (OnCompressFile) OnCompressFile(*this, consumed - z.avail_in, data.size());
    }
    deflateEnd(&z);
    return out;
}

QByteArray TZipper::DirectoryAndEnd(const TZipperEntries& entries, qint64 directoryOffset) const {
    if (entries.size() > 0xffff) RaiseFileError(QStringLiteral("too many entries"));
    TWriter w;
    for (const TZipperEntriesEntry& entry : entries)
        w.Bytes(CentralHeaderBytes(entry.Central));
    const qint64 directorySize = w.Data.size();
    if (directoryOffset + directorySize > ZipLimit)
        RaiseFileError(QStringLiteral("the archive is too large"));
    const auto count = static_cast<std::uint32_t>(entries.size());
    w.U32(EndSignature);
    w.U16(0);
    w.U16(0);
    w.U16(count);
    w.U16(count);
    w.U32(static_cast<std::uint32_t>(directorySize));
    w.U32(static_cast<std::uint32_t>(directoryOffset));
    w.U16(static_cast<std::uint32_t>(ArchiveComment.size()));
    w.Bytes(ArchiveComment);
    return w.Data;
}

// The new entry goes where the directory stood; directory and end record follow it.
void TZipper::Append(TZipperEntriesEntry entry, const QByteArray& compressed) {
    const qint64 position = End.DirectoryOffset;
    entry.Central.LocalHeaderOffset = static_cast<std::uint32_t>(position);
    TZipperEntries entries = Items;
    entries.push_back(entry);
    QByteArray bytes = LocalHeaderBytes(entry.Central, QByteArray());
    bytes.append(compressed);
    const qint64 directoryOffset = position + bytes.size();
    bytes.append(DirectoryAndEnd(entries, directoryOffset));
    WriteRegion(position, bytes, position + bytes.size());

    Items = std::move(entries);
    End.DirectoryOffset = static_cast<std::uint32_t>(directoryOffset);
    End.DirectorySize = static_cast<std::uint32_t>(bytes.size() - (directoryOffset - position) -
                                                   EndRecordSize - ArchiveComment.size());
    End.EntriesOnDisk = End.TotalEntries = U16(static_cast<std::uint32_t>(Items.size()));
}

// Makes room first: once the space is the file's, the writes that follow cannot run out of
// it half way, and if it cannot be had the archive is left as it was.
void TZipper::Reserve(qint64 newSize) {
    const qint64 oldSize = Archive.size();
    if (newSize <= oldSize) return;
#ifdef Q_OS_LINUX
    const int result = posix_fallocate(Archive.handle(), oldSize, newSize - oldSize);
    if (result == 0) return;
    if (result != EINVAL && result != EOPNOTSUPP) {
        Archive.resize(oldSize);
        RaiseFileError(QString::fromLocal8Bit(std::strerror(result)));
    }
#endif
    if (!Archive.resize(newSize)) {
        const QString reason = Archive.errorString();
        Archive.resize(oldSize);
        RaiseFileError(reason);
    }
}

void TZipper::Truncate(qint64 newSize) {
    if (Archive.size() > newSize && !Archive.resize(newSize)) RaiseFileError(Archive.errorString());
}

void TZipper::WriteRegion(qint64 position, const QByteArray& bytes, qint64 newSize) {
    Reserve(newSize);
    if (!Archive.seek(position) || Archive.write(bytes) != bytes.size())
        RaiseFileError(Archive.errorString());
    Truncate(newSize);
}

bool TZipper::ReadEntryData(const TZipperEntriesEntry& entry, QByteArray& data) {
    const QByteArray head = ReadAt(entry.Central.LocalHeaderOffset, LocalHeaderSize);
    TReader h(head, 0);
    TLocalFile local;
    int nameLength = 0;
    int extraLength = 0;
    if (!ParseLocalHeader(h, local, nameLength, extraLength)) return false;
    const qint64 start =
        qint64{entry.Central.LocalHeaderOffset} + LocalHeaderSize + nameLength + extraLength;
    // Data running into the directory is not this entry's.
    if (start + qint64{entry.Central.CompressedSize} > End.DirectoryOffset) return false;
    if (entry.Central.CompressedSize == 0) {
        data.clear();
        return true;
    }
    data = ReadAt(start, entry.Central.CompressedSize);
    return data.size() == qint64{entry.Central.CompressedSize};
}

// The whole archive anew, in memory or in a temporary file, then copied over the archive and
// read back. Entries whose data cannot be found any more (a damaged archive) are dropped.
void TZipper::RewriteAll(TZipperEntries entries, const TZipperEntriesEntry* added,
                         const QByteArray& addedData) {
    QByteArray memory;
    QTemporaryFile temporary(QDir::tempPath() + QStringLiteral("/varrow-zip-XXXXXX"));
    QIODevice* out = nullptr;
    QBuffer buffer(&memory);
    if (TempFiles) {
        if (!temporary.open())
            throw EZipperError(QStringLiteral("Cannot create a temporary file: %1")
                                   .arg(temporary.errorString())
                                   .toStdString());
        out = &temporary;
    } else {
        buffer.open(QIODevice::ReadWrite);
        out = &buffer;
    }
    auto put = [&](const QByteArray& bytes) {
        if (out->write(bytes) != bytes.size())
            throw EZipperError(QStringLiteral("Cannot write a temporary file: %1")
                                   .arg(out->errorString())
                                   .toStdString());
    };

    if (added) entries.push_back(*added);
    const qint64 total = static_cast<qint64>(entries.size());
    TZipperEntries kept;
    for (qint64 i = 0; i < total; ++i) {
        TZipperEntriesEntry entry = entries[static_cast<std::size_t>(i)];
        QByteArray data;
        const bool isAdded = added && i == total - 1;
        if (isAdded)
            data = addedData;
        else if (!ReadEntryData(entry, data))
            continue;
        if (out->pos() > ZipLimit) RaiseFileError(QStringLiteral("the archive is too large"));
        entry.Central.LocalHeaderOffset = static_cast<std::uint32_t>(out->pos());
        entry.Central.Flags &= ~DataDescriptorFlag;
        put(LocalHeaderBytes(entry.Central, entry.Local.ExtraField));
        put(data);
        kept.push_back(entry);
        if (OnRebuildZip) OnRebuildZip(*this, i + 1, total);
    }
    put(DirectoryAndEnd(kept, out->pos()));

    const qint64 newSize = out->size();
    Reserve(newSize);
    out->seek(0);
    if (!Archive.seek(0)) RaiseFileError(Archive.errorString());
    while (!out->atEnd()) {
        const QByteArray chunk = out->read(CopyStep);
        if (chunk.isEmpty()) RaiseFileError(out->errorString());
        if (Archive.write(chunk) != chunk.size()) RaiseFileError(Archive.errorString());
    }
    Truncate(newSize);
    ReadDirectory();
}

// --- TZipper: removing ---------------------------------------------------------------------

bool TZipper::RemoveEntry(const QString& name) {
    RequireWritable();
    const int index = IndexOf(StoredName(name));
    if (index < 0) return false;
    RemoveAt(index, true);
    return true;
}

void TZipper::RemoveAt(int index, bool notify) {
    TZipperEntries rest = Items;
    const TZipperEntriesEntry removed = rest[static_cast<std::size_t>(index)];
    rest.erase(rest.begin() + index);

    const qint64 start = removed.Central.LocalHeaderOffset;
    qint64 end = End.DirectoryOffset;
    for (const TZipperEntriesEntry& entry : rest)
        if (entry.Central.LocalHeaderOffset > start)
            end = std::min<qint64>(end, entry.Central.LocalHeaderOffset);

    if (Method == TZipSaveMethod::RebuildAll || Rebuild || rest.empty() || end < start) {
        RewriteAll(rest, nullptr, QByteArray());
    } else {
        // Move everything after the entry down over it, then the directory behind that.
        const qint64 shift = end - start;
        for (qint64 from = end; from < End.DirectoryOffset; from += CopyStep) {
            const QByteArray chunk = ReadAt(from, std::min(CopyStep, End.DirectoryOffset - from));
            if (chunk.isEmpty() || !Archive.seek(from - shift) ||
                Archive.write(chunk) != chunk.size())
                RaiseFileError(Archive.errorString());
        }
        for (TZipperEntriesEntry& entry : rest)
            if (entry.Central.LocalHeaderOffset > start)
                entry.Central.LocalHeaderOffset -= static_cast<std::uint32_t>(shift);
        const qint64 directoryOffset = End.DirectoryOffset - shift;
        const QByteArray tail = DirectoryAndEnd(rest, directoryOffset);
        WriteRegion(directoryOffset, tail, directoryOffset + tail.size());
        Items = std::move(rest);
        End.DirectoryOffset = static_cast<std::uint32_t>(directoryOffset);
        End.DirectorySize =
            static_cast<std::uint32_t>(tail.size() - EndRecordSize - ArchiveComment.size());
        End.EntriesOnDisk = End.TotalEntries = U16(static_cast<std::uint32_t>(Items.size()));
    }
    if (OnRemoveItems) OnRemoveItems(*this, 1, 1);
    if (notify) Changed(TZipChangeType::EntryRemoved);
}

} // namespace varrow
