#pragma once

// TZipper keeps a ZIP archive open on disk and adds entries to it one at a time; the file is
// a complete, valid archive after every addition. Deflate or stored entries, no data
// descriptors, encryption, ZIP64 or spanning: what a KMZ file needs. Entry names are stored
// as plain bytes when they are ASCII and as UTF-8, flagged as such, when they are not.
//
// Typical use:
//     QFile file(name); file.open(QIODevice::WriteOnly); TZipper::WriteEmptyArchive(file);
//     file.close();
//     TZipper zip; zip.OpenArchive(name);
//     zip.AddFileFromStream("files\\map.jpg", jpegBuffer); // also adds the folder "files/"
//     zip.CloseArchive();
//
// Failures raise EZipperError (a std::runtime_error) with a message for the user.

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QIODevice>
#include <QString>

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <vector>

namespace varrow {

class EZipperError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// zlib refused to compress.
class ECompressionError : public EZipperError {
public:
    using EZipperError::EZipperError;
};

enum class TZipSaveMethod { FastSave, RebuildAll };
enum class TCompressionType { ctNormal, ctMaximum, ctFast, ctSuperFast, ctNone, ctUnknown };
enum class TZipChangeType { Closed = 0, Opened = 1, EntryAdded = 2, EntryRemoved = 3 };

// External attribute values (MS-DOS attribute bits).
constexpr std::uint32_t ZipFolderAttribute = 16;
constexpr std::uint32_t ZipFileAttribute = 32;

// The fixed fields that the local file header and the central directory header both carry,
// one after the other in this order.
struct TZipHeaderFields {
    std::uint16_t VersionNeeded = 0;
    std::uint16_t Flags = 0;
    std::uint16_t Method = 0;
    std::uint16_t Time = 0;
    std::uint16_t Date = 0;
    std::uint32_t Crc32 = 0;
    std::uint32_t CompressedSize = 0;
    std::uint32_t UncompressedSize = 0;
};

// Local file header: the fixed 30 bytes (signature and name/extra lengths implied), then
// name and extra field.
struct TLocalFile : TZipHeaderFields {
    QByteArray FileName;
    QByteArray ExtraField;
};

// Central directory header: the fixed 46 bytes (VersionMadeBy stored first), then name,
// extra field and comment.
struct TCentralDirectoryFile : TZipHeaderFields {
    std::uint16_t VersionMadeBy = 0;
    std::uint16_t DiskNumberStart = 0;
    std::uint16_t InternalAttributes = 0;
    std::uint32_t ExternalAttributes = 0;
    std::uint32_t LocalHeaderOffset = 0;
    QByteArray FileName;
    QByteArray ExtraField;
    QByteArray FileComment;
};

class TZipperEntriesEntry {
public:
    TCentralDirectoryFile Central;
    TLocalFile Local; // as read from the archive; empty for a header that was not there

    QString Name() const;
    QDateTime DateTime() const; // local time
    bool Encrypted() const { return (Central.Flags & 1u) != 0; }
    bool IsFolder() const { return (Central.ExternalAttributes & ZipFolderAttribute) != 0; }
    // From the deflate option bits of the flags; ctUnknown for methods other than deflate.
    TCompressionType CompressionType() const;
};

using TZipperEntries = std::vector<TZipperEntriesEntry>;

class TZipper {
public:
    using TProgressEvent = std::function<void(TZipper& sender, qint64 current, qint64 total)>;

    TZipper();
    ~TZipper();
    TZipper(const TZipper&) = delete;
    TZipper& operator=(const TZipper&) = delete;

    // An archive with no entries: a 22-byte end record.
    static void WriteEmptyArchive(QIODevice& stream);

    // Closes any open archive and opens fileName. A file that is not a ZIP archive leaves
    // IsZipFile false and nothing open; a missing file raises.
    void OpenArchive(const QString& fileName);
    void CloseArchive();

    // Adds an entry whose data is source from its current position to its end; an entry of
    // the same name is replaced. The folder attribute makes a folder entry, whose name then
    // ends with a slash. With StoreFolders (and StoreRelativePath) the entry's folders are
    // added first as entries of their own.
    void AddEntry(const QString& name, std::uint32_t attributes, QIODevice& source,
                  const QDateTime& dateTime);
    // AddEntry as a file, dated now.
    void AddFileFromStream(const QString& name, QIODevice& stream);
    // Removes the entry of that name; false when there is none.
    bool RemoveEntry(const QString& name);

    QString FileName() const { return ArchiveName; }
    void SetFileName(const QString& fileName) { ArchiveName = fileName; } // for SetActive
    bool Active() const { return Open; }
    void SetActive(bool active);
    bool IsZipFile() const { return Open; }
    bool ReadOnly() const { return ReadOnlyFile; }
    // Found damaged when opened; the next change rewrites the whole archive.
    bool NeedsRebuild() const { return Rebuild; }
    const TZipperEntries& Entries() const { return Items; }
    int IndexOf(const QString& name) const; // -1 when there is no such entry
    QByteArray Comment() const { return ArchiveComment; }

    TZipSaveMethod SaveMethod() const { return Method; }
    void SetSaveMethod(TZipSaveMethod method) { Method = method; }
    TCompressionType CompressionType() const { return Compression; }
    void SetCompressionType(TCompressionType type);
    bool StoreRelativePath() const { return RelativePaths; }
    void SetStoreRelativePath(bool store) { RelativePaths = store; }
    bool StoreFolders() const { return Folders; }
    void SetStoreFolders(bool store) { Folders = store; }
    bool UseTempFiles() const { return TempFiles; }
    void SetUseTempFiles(bool use) { TempFiles = use; }
    static QString ComponentVersion() { return QStringLiteral("2.0"); }

    // The name as it is stored: forward slashes, no drive, server, share or leading slash,
    // and with StoreRelativePath false no folders.
    QString StoredName(const QString& name) const;

    std::function<void(TZipper& sender, TZipChangeType change)> OnZipChange;
    std::function<void(TZipper& sender, const QString& itemName)> OnAddItem;
    TProgressEvent OnZipOpen;
    TProgressEvent OnRebuildZip;
    TProgressEvent OnRemoveItems;
    TProgressEvent OnCompressFile;

private:
    struct TEndRecord {
        std::uint16_t DiskNumber = 0;
        std::uint16_t DirectoryDisk = 0;
        std::uint16_t EntriesOnDisk = 0;
        std::uint16_t TotalEntries = 0;
        std::uint32_t DirectorySize = 0;
        std::uint32_t DirectoryOffset = 0;
    };

    void RequireWritable() const;
    [[noreturn]] void RaiseFileError(const QString& reason) const;
    bool ReadDirectory();
    qint64 FindEndRecord();
    bool ReadCentralDirectory(qint64 endPosition);
    bool ScanLocalHeaders();
    QByteArray ReadAt(qint64 position, qint64 count);
    static qint64 EntryEnd(const TZipperEntriesEntry& entry);
    static bool ExtentsConsistent(const TZipperEntries& entries, qint64 directoryOffset);
    bool ReadEntryData(const TZipperEntriesEntry& entry, QByteArray& data);
    void AddOne(const QString& name, std::uint32_t attributes, const QByteArray& data,
                const QDateTime& dateTime);
    void RemoveAt(int index, bool notify);
    void Append(TZipperEntriesEntry entry, const QByteArray& compressed);
    void RewriteAll(TZipperEntries entries, const TZipperEntriesEntry* added,
                    const QByteArray& addedData);
    QByteArray DirectoryAndEnd(const TZipperEntries& entries, qint64 directoryOffset) const;
    void WriteRegion(qint64 position, const QByteArray& bytes, qint64 newSize);
    void Reserve(qint64 newSize);
    void Truncate(qint64 newSize);
    QByteArray Compress(const QByteArray& data);
    void Changed(TZipChangeType change);

    QString ArchiveName;
    QFile Archive;
    bool Open = false;
    bool ReadOnlyFile = false;
    bool Rebuild = false;
    TEndRecord End;
    QByteArray ArchiveComment;
    TZipperEntries Items;

    TZipSaveMethod Method = TZipSaveMethod::FastSave;
    TCompressionType Compression = TCompressionType::ctMaximum;
    bool RelativePaths = true;
    bool Folders = true;
    bool TempFiles = false;
};

} // namespace varrow
