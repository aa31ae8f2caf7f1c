#pragma once

// Source tiles of the web map services kept on disk, so that a map seen once
// comes back without the network, also offline and in the next run. One file
// per tile, <folder>/<layer>/<z>/<x>/<y>.tile, holding the body as the
// service sent it. Files are written beside and renamed, so two Varrow
// processes can share the folder; each keeps it under the size limit by
// deleting the least recently used files (a read makes a file recent).

#include <QByteArray>
#include <QString>

#include <atomic>
#include <memory>
#include <mutex>

namespace varrow {

class TTileDiskCache {
public:
    static constexpr qint64 DefaultLimitBytes = qint64(2) << 30; // 2 GiB

    // $VARROW_CACHE when set, otherwise the platform's cache folder of the
    // application; the tiles go into its "tiles" subfolder.
    static QString DefaultFolder();
    // root's "tiles" subfolder, the only one the cache ever writes or clears.
    static QString TilesFolderOf(const QString& root);

    // folder: where the tiles go (the "tiles" subfolder of a root).
    // limitBytes 0: nothing is written, and what is there is still read.
    TTileDiskCache(QString folder, qint64 limitBytes);
    // The cache of a folder, shared by every source of this process that
    // uses it (the newest limit applies).
    static std::shared_ptr<TTileDiskCache> Shared(const QString& folder, qint64 limitBytes);

    const QString& Folder() const { return m_folder; }
    qint64 LimitBytes() const { return m_limit.load(); }
    void SetLimitBytes(qint64 limitBytes);

    // Any thread. The tile's body, false when the cache does not hold it.
    bool Read(const QString& layer, int z, int x, int y, QByteArray& body) const;
    // Any thread. Keeps body, then trims the folder when it has grown past
    // the limit. Throws EFileWriteError when the file cannot be written.
    void Write(const QString& layer, int z, int x, int y, const QByteArray& body);
    // Forgets a tile whose file turned out to be no image.
    void Remove(const QString& layer, int z, int x, int y);

    // Bytes of tiles in the folder now, counted file by file.
    qint64 SizeBytes() const;
    // Deletes the least recently used tiles until at most keepBytes remain.
    void Trim(qint64 keepBytes);
    // Deletes every tile of the folder.
    static bool Clear(const QString& folder);

private:
    QString PathOf(const QString& layer, int z, int x, int y) const;

    QString m_folder;
    std::atomic<qint64> m_limit;
    // What this process believes the folder holds: counted at the first
    // write and again every so many writes, since other processes add too.
    std::mutex m_lock;
    qint64 m_estimate = -1;
    int m_writesSinceCount = 0;
    std::mutex m_trimLock;
};

} // namespace varrow
