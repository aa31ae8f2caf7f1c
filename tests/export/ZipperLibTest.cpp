// The archives are checked with Info-ZIP's unzip/zipinfo, not with our own reader.

#include "export/ZipperLib.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <csignal>
#include <map>
#include <sys/resource.h>
#include <unistd.h>

using namespace varrow;

namespace {

struct TRun {
    int Code = -1;
    QString Out;
};

TRun RunTool(const QString& program, const QStringList& args) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForFinished(60000)) return {};
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAll())};
}

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray Noise(int size, quint32 seed) {
    QByteArray bytes(size, '\0');
    QRandomGenerator random(seed);
    for (char& c : bytes)
        c = static_cast<char>(random.bounded(256));
    return bytes;
}

QByteArray Text(int lines) {
    QByteArray text;
    for (int i = 0; i < lines; ++i)
        text += "<coordinates>" + QByteArray::number(i * 37) + "</coordinates>\r\n";
    return text;
}

// zipinfo's description of each entry, field name -> value, in directory order.
struct TInfo {
    QString Name;
    std::map<QString, QString> Fields;
};

std::vector<TInfo> ZipInfo(const QString& archive) {
    const TRun run = RunTool("unzip", {"-Z", "-v", archive});
    std::vector<TInfo> infos;
    const QStringList blocks = run.Out.split(QRegularExpression("Central directory entry #\\d+:"));
    for (int b = 1; b < blocks.size(); ++b) {
        const QStringList lines = blocks[b].split('\n');
        TInfo info;
        info.Name = lines.size() > 2 ? lines[2].trimmed() : QString();
        for (const QString& line : lines) {
            const qsizetype colon = line.indexOf(':');
            if (colon > 0) info.Fields[line.left(colon).trimmed()] = line.mid(colon + 1).trimmed();
        }
        infos.push_back(info);
    }
    return infos;
}

QStringList Names(const QString& archive) {
    return RunTool("unzip", {"-Z1", archive}).Out.split('\n', Qt::SkipEmptyParts);
}

// unzip -t checks every CRC and every header; any warning makes the exit code non-zero.
void ExpectValid(const QString& archive) {
    const TRun run = RunTool("unzip", {"-t", archive});
    EXPECT_EQ(run.Code, 0) << run.Out.toStdString();
}

class ZipperLib : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath("test.kmz");
    }

    void NewArchive() {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        TZipper::WriteEmptyArchive(file);
        file.close();
        zip.OpenArchive(path);
        ASSERT_TRUE(zip.IsZipFile());
    }

    void Add(const QString& name, const QByteArray& data,
             const QDateTime& when = QDateTime(QDate(2021, 3, 4), QTime(5, 6, 8))) {
        QByteArray copy = data;
        QBuffer buffer(&copy);
        buffer.open(QIODevice::ReadOnly);
        zip.AddEntry(name, ZipFileAttribute, buffer, when);
    }

    QTemporaryDir dir;
    QString path;
    TZipper zip;
};

TEST_F(ZipperLib, EmptyArchiveIsAnEndRecordAndOpens) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    TZipper::WriteEmptyArchive(buffer);
    EXPECT_EQ(bytes, QByteArray("PK\x05\x06", 4) + QByteArray(18, '\0'));

    std::vector<TZipChangeType> changes;
    zip.OnZipChange = [&](TZipper&, TZipChangeType c) { changes.push_back(c); };
    NewArchive();
    EXPECT_TRUE(zip.Entries().empty());
    EXPECT_FALSE(zip.ReadOnly());
    zip.CloseArchive();
    EXPECT_FALSE(zip.IsZipFile());
    EXPECT_EQ(changes,
              (std::vector<TZipChangeType>{TZipChangeType::Opened, TZipChangeType::Closed}));
}

// The export's own sequence: a folder entry, the picture below it, the document.
TEST_F(ZipperLib, KmzSequenceIsValidAfterEveryStepAndExtractsCleanly) {
    NewArchive();
    const QByteArray picture = Noise(150000, 1) + Text(4000); // more than two 64 KiB steps
    const QByteArray kml = Text(50);

    QBuffer atEnd;
    atEnd.setData("already read");
    atEnd.open(QIODevice::ReadOnly);
    atEnd.seek(atEnd.size());
    zip.AddEntry("files", ZipFolderAttribute, atEnd, QDateTime::currentDateTime());
    ExpectValid(path);
    Add("files\\Dallas.jpg", picture);
    ExpectValid(path);
    Add("doc.kml", kml);
    ExpectValid(path);
    EXPECT_EQ(Names(path), (QStringList{"files/", "files/Dallas.jpg", "doc.kml"}));

    const std::vector<TInfo> info = ZipInfo(path);
    ASSERT_EQ(info.size(), 3u);
    EXPECT_EQ(info[0].Fields.at("compression method"), "none (stored)");
    EXPECT_EQ(info[0].Fields.at("32-bit CRC value (hex)"), "00000000");
    EXPECT_EQ(info[0].Fields.at("uncompressed size"), "0 bytes");
    EXPECT_EQ(info[0].Fields.at("MS-DOS file attributes (10 hex)"), "dir");
    for (const TInfo& entry : info) {
        EXPECT_EQ(entry.Fields.at("file system or operating system of origin"),
                  "MS-DOS, OS/2 or NT FAT");
        EXPECT_EQ(entry.Fields.at("version of encoding software"), "2.0");
        EXPECT_EQ(entry.Fields.at("minimum software version required to extract"), "2.0");
        EXPECT_EQ(entry.Fields.at("extended local header"), "no");
    }
    EXPECT_EQ(info[1].Fields.at("compression method"), "deflated");
    EXPECT_EQ(info[1].Fields.at("MS-DOS file attributes (20 hex)"), "arc");
    EXPECT_EQ(info[2].Fields.at("file last modified on (DOS date/time)"), "2021 Mar 4 05:06:08");

    // ASCII names carry no flags at all.
    const QByteArray bytes = ReadFile(path);
    for (qsizetype at = bytes.indexOf("PK\x03\x04"); at >= 0;
         at = bytes.indexOf("PK\x03\x04", at + 4)) {
        if (at + 8 <= bytes.size() && bytes.mid(at + 4, 2) == QByteArray("\x14\x00", 2)) {
            EXPECT_EQ(bytes.mid(at + 6, 2), QByteArray(2, '\0')) << "at " << at;
        }
    }

    const QString out = dir.filePath("out");
    const TRun unzip = RunTool("unzip", {"-q", path, "-d", out});
    EXPECT_EQ(unzip.Code, 0) << unzip.Out.toStdString();
    EXPECT_TRUE(QFileInfo(out + "/files").isDir());
    EXPECT_EQ(ReadFile(out + "/files/Dallas.jpg"), picture);
    EXPECT_EQ(ReadFile(out + "/doc.kml"), kml);
}

TEST_F(ZipperLib, NamesAreNormalisedAndMatchedIgnoringCase) {
    NewArchive();
    Add("a\\b\\c.txt", "c");
    Add("C:\\dir\\f.txt", "f");
    Add("\\\\server\\share\\g.txt", "g");
    Add("/home/user/h.txt", "h");
    Add("x", "first");
    Add("X", "second");
    zip.SetStoreRelativePath(false);
    Add("D:\\deep\\er\\only.txt", "only");
    ExpectValid(path);
    EXPECT_EQ(Names(path),
              (QStringList{"a/", "a/b/", "a/b/c.txt", "dir/", "dir/f.txt", "g.txt", "home/",
                           "home/user/", "home/user/h.txt", "X", "only.txt"}));
    const std::vector<TInfo> info = ZipInfo(path);
    EXPECT_EQ(info[1].Fields.at("MS-DOS file attributes (10 hex)"), "dir");
    EXPECT_EQ(info[2].Fields.at("MS-DOS file attributes (20 hex)"), "arc");
    EXPECT_EQ(RunTool("unzip", {"-p", path, "X"}).Out, "second");
}

TEST_F(ZipperLib, NonAsciiNamesAreFlaggedUtf8AndExtractAsSuch) {
    NewArchive();
    const QString name = QString::fromUtf8("Straße/Ærø ✓.txt");
    Add(name, "utf8");
    Add("plain.txt", "ascii");
    ExpectValid(path);

    const QByteArray bytes = ReadFile(path);
    const QByteArray utf8 = name.toUtf8();
    const qsizetype local = bytes.indexOf(utf8) - 30;
    ASSERT_GE(local, 0);
    EXPECT_EQ(static_cast<unsigned char>(bytes[local + 7]) & 0x08, 0x08); // bit 11
    const qsizetype plain = bytes.indexOf("plain.txt") - 30;
    EXPECT_EQ(bytes.mid(plain + 6, 2), QByteArray(2, '\0'));

    const QString out = dir.filePath("out");
    EXPECT_EQ(RunTool("unzip", {"-q", path, "-d", out}).Code, 0);
    EXPECT_EQ(ReadFile(out + "/" + name), "utf8");

    zip.OpenArchive(path);
    ASSERT_EQ(zip.Entries().size(), 3u);
    EXPECT_EQ(zip.Entries()[1].Name(), name);
    EXPECT_EQ(zip.IndexOf(QString::fromUtf8("straße/ærø ✓.TXT")), 1);
}

// Replacing entries in the middle moves the rest down (FastSave) or rewrites everything
// (RebuildAll, in memory or through a temporary file); all three must give the same file.
TEST_F(ZipperLib, ReplacementGivesTheSameArchiveWithEverySaveMethod) {
    struct TMethod {
        TZipSaveMethod Save;
        bool TempFiles;
    };
    std::vector<QByteArray> results;
    for (const TMethod m :
         {TMethod{TZipSaveMethod::FastSave, false}, TMethod{TZipSaveMethod::RebuildAll, false},
          TMethod{TZipSaveMethod::RebuildAll, true}}) {
        zip.CloseArchive();
        zip.SetSaveMethod(m.Save);
        zip.SetUseTempFiles(m.TempFiles);
        zip.SetStoreFolders(false);
        NewArchive();
        Add("a.txt", Text(100));
        Add("sub\\b.bin", Noise(70000, 2));
        Add("c.txt", Text(3));
        Add("SUB\\B.bin", Text(7));
        Add("A.TXT", "");
        ExpectValid(path);
        EXPECT_EQ(Names(path), (QStringList{"c.txt", "SUB/B.bin", "A.TXT"}));
        EXPECT_EQ(RunTool("unzip", {"-p", path, "SUB/B.bin"}).Out.toUtf8(), Text(7));
        EXPECT_EQ(zip.Entries().size(), 3u);
        EXPECT_TRUE(zip.RemoveEntry("c.TXT"));
        ExpectValid(path);
        EXPECT_EQ(Names(path), (QStringList{"SUB/B.bin", "A.TXT"}));
        results.push_back(ReadFile(path));
    }
    EXPECT_EQ(results[1], results[0]);
    EXPECT_EQ(results[2], results[0]);
}

TEST_F(ZipperLib, CompressionLevelFollowsCompressionType) {
    NewArchive();
    const QByteArray data = Text(20000);
    std::map<TCompressionType, qint64> sizes;
    qint64 lastProgress = 0;
    zip.OnCompressFile = [&](TZipper&, qint64 current, qint64) { lastProgress = current; };
    for (TCompressionType type :
         {TCompressionType::ctNone, TCompressionType::ctFast, TCompressionType::ctMaximum}) {
        zip.SetCompressionType(type);
        Add("data.txt", data);
        sizes[type] = zip.Entries().back().Central.CompressedSize;
        EXPECT_EQ(lastProgress, data.size());
    }
    ExpectValid(path);
    EXPECT_GT(sizes[TCompressionType::ctNone], data.size());
    EXPECT_LT(sizes[TCompressionType::ctFast], data.size() / 3);
    EXPECT_LT(sizes[TCompressionType::ctMaximum], sizes[TCompressionType::ctFast]);
    zip.SetCompressionType(TCompressionType::ctUnknown);
    EXPECT_EQ(zip.CompressionType(), TCompressionType::ctNormal);
}

TEST_F(ZipperLib, OpensArchivesWithCommentsOrWithoutDirectory) {
    NewArchive();
    Add("one.txt", Text(10));
    Add("two.bin", Noise(1000, 3));
    zip.CloseArchive();
    const QByteArray original = ReadFile(path);

    // Comments push the end record beyond the first and second search windows.
    for (int commentLength : {300, 5000}) {
        QByteArray bytes = original;
        const QByteArray comment(commentLength, 'c');
        bytes[bytes.size() - 2] = static_cast<char>(commentLength & 0xff);
        bytes[bytes.size() - 1] = static_cast<char>(commentLength >> 8);
        bytes += comment;
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.close();
        zip.OpenArchive(path);
        ASSERT_TRUE(zip.IsZipFile()) << commentLength;
        EXPECT_FALSE(zip.NeedsRebuild());
        EXPECT_EQ(zip.Comment(), comment);
        Add("three.txt", "3");
        ExpectValid(path);
        EXPECT_TRUE(RunTool("unzip", {"-z", path}).Out.contains(QString(comment)));
        zip.CloseArchive();
    }

    // Cut off before the directory: the entries are found from their local headers.
    const qint64 directory = qFromLittleEndian<quint32>(original.constData() + original.size() - 6);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(original.left(directory));
    f.close();
    zip.OpenArchive(path);
    ASSERT_TRUE(zip.IsZipFile());
    EXPECT_TRUE(zip.NeedsRebuild());
    Add("three.txt", "3");
    ExpectValid(path);
    EXPECT_EQ(Names(path), (QStringList{"one.txt", "two.bin", "three.txt"}));
    EXPECT_EQ(RunTool("unzip", {"-p", path, "two.bin"}).Code, 0);
    zip.CloseArchive();

    QFile junk(path);
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write(Noise(3000, 4));
    junk.close();
    zip.OpenArchive(path);
    EXPECT_FALSE(zip.IsZipFile());
    EXPECT_THROW(Add("x", "x"), EZipperError);

    try {
        zip.OpenArchive(dir.filePath("missing.kmz"));
        FAIL();
    } catch (const EZipperError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "File \"" + dir.filePath("missing.kmz").toStdString() + "\" not found!");
    }
}

TEST_F(ZipperLib, EventsReportAdditionsAndRemovals) {
    std::vector<int> changes;
    QStringList items;
    zip.OnZipChange = [&](TZipper&, TZipChangeType c) { changes.push_back(static_cast<int>(c)); };
    zip.OnAddItem = [&](TZipper&, const QString& name) { items << name; };
    NewArchive();
    Add("d\\f.txt", "1");
    Add("D\\F.TXT", "2"); // replaces: no removal is reported
    zip.RemoveEntry("d/F.txt");
    zip.CloseArchive();
    EXPECT_EQ(changes, (std::vector<int>{1, 2, 2, 2, 3, 0}));
    EXPECT_EQ(items, (QStringList{"d/f.txt", "D/F.TXT"}));
}

// A full disk (here a file size limit) must leave the archive as it was, for every method.
TEST_F(ZipperLib, FailedAdditionLeavesTheArchiveIntact) {
    std::signal(SIGXFSZ, SIG_IGN);
    for (TZipSaveMethod method : {TZipSaveMethod::FastSave, TZipSaveMethod::RebuildAll}) {
        zip.CloseArchive();
        zip.SetSaveMethod(method);
        NewArchive();
        Add("kept.txt", Text(50));
        const QByteArray before = ReadFile(path);

        rlimit old{};
        getrlimit(RLIMIT_FSIZE, &old);
        rlimit limited = old;
        limited.rlim_cur = static_cast<rlim_t>(before.size() + 1000);
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
        zip.SetCompressionType(TCompressionType::ctNone);
        EXPECT_THROW(Add("big.bin", Noise(200000, 5)), EZipperError);
        setrlimit(RLIMIT_FSIZE, &old);

        EXPECT_EQ(ReadFile(path), before);
        EXPECT_EQ(zip.Entries().size(), 1u);
        Add("small.txt", "fits now");
        ExpectValid(path);
        EXPECT_EQ(Names(path), (QStringList{"kept.txt", "small.txt"}));
    }
}

// The memory this process may still take: its address space now plus limit, for a scope.
class TAddressSpaceLimit {
public:
    explicit TAddressSpaceLimit(rlim_t extra) {
        getrlimit(RLIMIT_AS, &Old);
        QFile status("/proc/self/status");
        rlim_t used = 0;
        if (status.open(QIODevice::ReadOnly))
            for (const QByteArray& line : status.readAll().split('\n'))
                if (line.startsWith("VmSize:"))
                    used = line.mid(7).trimmed().split(' ').value(0).toULongLong() * 1024;
        rlimit limited = Old;
        limited.rlim_cur = used + extra;
        Active = used > 0 && setrlimit(RLIMIT_AS, &limited) == 0;
    }
    ~TAddressSpaceLimit() { setrlimit(RLIMIT_AS, &Old); }
    bool Active = false;

private:
    rlimit Old{};
};

// A damaged directory must never be believed beyond the file: here one entry claims 4 GiB of
// data and another a header far past the end. Adding or removing an entry rewrites the
// archive; it must neither ask for gigabytes nor keep the lie.
TEST_F(ZipperLib, DamagedDirectorySizesAreCheckedAgainstTheFile) {
    NewArchive();
    Add("files\\Dallas.jpg", Noise(120, 6));
    Add("doc.kml", Text(3));
    zip.CloseArchive();
    const QByteArray good = ReadFile(path);
    const auto directory = qFromLittleEndian<quint32>(good.constData() + good.size() - 6);
    // Central headers in order: files/, files/Dallas.jpg, doc.kml.
    std::vector<qint64> headers;
    for (qint64 at = directory; at + 46 <= good.size() - 22;) {
        headers.push_back(at);
        at += 46 + qFromLittleEndian<quint16>(good.constData() + at + 28);
    }
    ASSERT_EQ(headers.size(), 3u);
    auto patched = [&](qint64 header, int field, quint32 value) {
        QByteArray bytes = good;
        qToLittleEndian<quint32>(value, bytes.data() + header + field);
        return bytes;
    };
    auto write = [&](const QByteArray& bytes) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    };
    constexpr int CompressedSizeField = 20;
    constexpr int LocalOffsetField = 42;

    // The image's size is a lie and the document's header is nowhere: opening asks for a
    // rebuild, which keeps only what can be found.
    QByteArray damaged = patched(headers[1], CompressedSizeField, 0xfffffff0u);
    qToLittleEndian<quint32>(0xffffff00u, damaged.data() + headers[2] + LocalOffsetField);
    for (const bool remove : {false, true}) {
        write(damaged);
        zip.OpenArchive(path);
        ASSERT_TRUE(zip.IsZipFile());
        const TAddressSpaceLimit limit(rlim_t{1} << 30);
        ASSERT_TRUE(limit.Active);
        if (remove)
            EXPECT_NO_THROW(zip.RemoveEntry("doc.kml"));
        else
            EXPECT_NO_THROW(Add("new.txt", "new"));
        zip.CloseArchive();
        ExpectValid(path);
        EXPECT_FALSE(Names(path).contains("files/Dallas.jpg")) << remove;
    }

    // A size that runs into the directory alone: the archive written next must not list it.
    write(patched(headers[1], CompressedSizeField, static_cast<quint32>(good.size())));
    zip.OpenArchive(path);
    ASSERT_TRUE(zip.IsZipFile());
    EXPECT_TRUE(zip.NeedsRebuild());
    Add("new.txt", "new");
    zip.CloseArchive();
    ExpectValid(path);
    EXPECT_EQ(Names(path), (QStringList{"files/", "doc.kml", "new.txt"}));
}

TEST_F(ZipperLib, ReadOnlyArchiveRefusesAdditions) {
    NewArchive();
    Add("kept.txt", "kept");
    zip.CloseArchive();
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup);
    const QByteArray before = ReadFile(path);
    zip.OpenArchive(path);
    EXPECT_TRUE(zip.IsZipFile());
    EXPECT_TRUE(zip.ReadOnly());
    EXPECT_THROW(Add("new.txt", "new"), EZipperError);
    EXPECT_EQ(ReadFile(path), before);
}

} // namespace
