#include "TileDiskCache.h"

#include "io/AtomicFile.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <vector>

namespace varrow {

namespace {

const QString TileSuffix = QStringLiteral(".tile");
// Trimming goes below the limit by this share, so that the next writes do
// not trim again at once.
constexpr double TrimTo = 0.9;
// Other processes write into the folder too: recount after this many writes.
constexpr int WritesBetweenCounts = 512;
// A temporary file this old belongs to a writer that died.
constexpr qint64 StaleTemporarySeconds = 600;

struct TTileFile {
    qint64 Time; // last use, milliseconds since the epoch
    qint64 Bytes;
    QString Path;
};

std::vector<TTileFile> ListTiles(const QString& folder, std::vector<QString>* stale) {
    std::vector<TTileFile> files;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info = it.fileInfo();
        const qint64 time = info.lastModified().toMSecsSinceEpoch();
        if (path.endsWith(TileSuffix))
            files.push_back({time, info.size(), path});
        else if (stale && now - time > StaleTemporarySeconds * 1000)
            stale->push_back(path);
    }
    return files;
}

} // namespace

QString TTileDiskCache::DefaultFolder() {
    QString root = qEnvironmentVariable("VARROW_CACHE");
    if (root.isEmpty()) root = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    return TilesFolderOf(root);
}

QString TTileDiskCache::TilesFolderOf(const QString& root) {
    return QDir::cleanPath(root + QStringLiteral("/tiles"));
}

TTileDiskCache::TTileDiskCache(QString folder, qint64 limitBytes)
    : m_folder(QDir::cleanPath(std::move(folder))), m_limit(std::max<qint64>(limitBytes, 0)) {}

std::shared_ptr<TTileDiskCache> TTileDiskCache::Shared(const QString& folder, qint64 limitBytes) {
    static std::mutex lock;
    static std::map<QString, std::weak_ptr<TTileDiskCache>> caches;
    const QString key = QDir::cleanPath(folder);
    std::lock_guard<std::mutex> guard(lock);
    std::shared_ptr<TTileDiskCache> cache = caches[key].lock();
    if (cache) {
        cache->SetLimitBytes(limitBytes);
    } else {
        cache = std::make_shared<TTileDiskCache>(key, limitBytes);
        caches[key] = cache;
    }
    return cache;
}

void TTileDiskCache::SetLimitBytes(qint64 limitBytes) {
    m_limit.store(std::max<qint64>(limitBytes, 0));
}

QString TTileDiskCache::PathOf(const QString& layer, int z, int x, int y) const {
    return QStringLiteral("%1/%2/%3/%4/%5%6")
        .arg(m_folder, layer)
        .arg(z)
        .arg(x)
        .arg(y)
        .arg(TileSuffix);
}

bool TTileDiskCache::Read(const QString& layer, int z, int x, int y, QByteArray& body) const {
    const QString path = PathOf(layer, z, x, y);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    body = file.readAll();
    if (file.error() != QFileDevice::NoError || body.isEmpty()) return false;
    // The file's time is its last use: what trimming goes by.
    utimensat(AT_FDCWD, QFile::encodeName(path).constData(), nullptr, 0);
    return true;
}

void TTileDiskCache::Write(const QString& layer, int z, int x, int y, const QByteArray& body) {
    const qint64 limit = m_limit.load();
    if (limit <= 0 || body.isEmpty()) return;
    const QString path = PathOf(layer, z, x, y);
    if (!QDir().mkpath(QFileInfo(path).path()))
        throw EFileWriteError(path, QStringLiteral("cannot create its folder"));
    WriteFileAtomically(path, body);

    bool trim = false;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_estimate < 0 || ++m_writesSinceCount >= WritesBetweenCounts) {
            m_writesSinceCount = 0;
            m_estimate = -1; // counted below, outside the lock
        } else {
            m_estimate += body.size();
        }
        trim = m_estimate < 0 || m_estimate > limit;
    }
    if (!trim) return;
    const qint64 size = SizeBytes();
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_estimate = size;
    }
    if (size > limit) Trim(static_cast<qint64>(static_cast<double>(limit) * TrimTo));
}

void TTileDiskCache::Remove(const QString& layer, int z, int x, int y) {
    QFile::remove(PathOf(layer, z, x, y));
}

qint64 TTileDiskCache::SizeBytes() const {
    qint64 total = 0;
    for (const TTileFile& f : ListTiles(m_folder, nullptr))
        total += f.Bytes;
    return total;
}

void TTileDiskCache::Trim(qint64 keepBytes) {
    // One trim at a time in this process; a trim of another process at the
    // same moment only deletes a little more.
    std::unique_lock<std::mutex> trimming(m_trimLock, std::try_to_lock);
    if (!trimming.owns_lock()) return;
    std::vector<QString> stale;
    std::vector<TTileFile> files = ListTiles(m_folder, &stale);
    for (const QString& path : stale)
        QFile::remove(path);
    qint64 total = 0;
    for (const TTileFile& f : files)
        total += f.Bytes;
    std::sort(files.begin(), files.end(),
              [](const TTileFile& a, const TTileFile& b) { return a.Time < b.Time; });
    for (const TTileFile& f : files) {
        if (total <= keepBytes) break;
        if (QFile::remove(f.Path) || !QFileInfo::exists(f.Path)) total -= f.Bytes;
    }
    std::lock_guard<std::mutex> guard(m_lock);
    m_estimate = total;
    m_writesSinceCount = 0;
}

bool TTileDiskCache::Clear(const QString& folder) {
    QDir dir(folder);
    return !dir.exists() || dir.removeRecursively();
}

} // namespace varrow
