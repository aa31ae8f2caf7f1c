#include "SourceTiles.h"

#include "NetLib.h"
#include "TileDiskCache.h"
#include "TileSource.h"
#include "WebImageLoader.h"
#include "geo/WebMercator.h"

#include <chrono>

namespace varrow {

namespace {

// How often a worker waiting for another's fetch looks whether it was aborted.
constexpr auto AbortCheckInterval = std::chrono::milliseconds(10);

QString KeyOf(const TSourceTileId& id) {
    return QStringLiteral("%1/%2/%3/%4").arg(id.Layer).arg(id.Z).arg(id.X).arg(id.Y);
}

std::size_t BytesOf(const QImage& image) {
    return static_cast<std::size_t>(image.sizeInBytes());
}

QImage Decode(const QByteArray& body, const QString& url) {
    QImage image;
    DecodeImage(body, url, image, QSize(MercatorTileSize, MercatorTileSize));
    return image;
}

} // namespace

TSourceTiles::TSourceTiles(std::size_t memoryBytes) : m_memoryBytes(memoryBytes) {}

TSourceTiles& TSourceTiles::Shared() {
    // Never destroyed: workers may still be finishing while the program exits.
    static TSourceTiles* shared = new TSourceTiles;
    return *shared;
}

int TSourceTiles::NetworkFetches() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_networkFetches;
}

void TSourceTiles::ClearMemory() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_kept.clear();
    m_index.clear();
    m_bytes = 0;
}

bool TSourceTiles::LookupLocked(const QString& key, QImage& image) {
    const auto it = m_index.find(key);
    if (it == m_index.end()) return false;
    m_kept.splice(m_kept.begin(), m_kept, it->second);
    image = it->second->Image;
    return true;
}

void TSourceTiles::KeepLocked(const QString& key, const QImage& image) {
    if (m_index.count(key)) return;
    m_kept.push_front({key, image});
    m_index.emplace(key, m_kept.begin());
    m_bytes += BytesOf(image);
    while (m_kept.size() > 1 && m_bytes > m_memoryBytes) {
        m_bytes -= BytesOf(m_kept.back().Image);
        m_index.erase(m_kept.back().Key);
        m_kept.pop_back();
    }
}

void TSourceTiles::Finish(const QString& key, const std::shared_ptr<TFetching>& entry) {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        entry->Done = true;
        if (entry->Error.isEmpty() && !entry->GivenUp) KeepLocked(key, entry->Image);
        m_fetching.erase(key);
    }
    m_finished.notify_all();
}

QImage TSourceTiles::FetchOne(const TSourceTileId& id, const TSourceTileFetch& fetch,
                              TIdHTTPEx& client) {
    const QString url = fetch.Url(id);
    QByteArray body;
    if (fetch.Disk && fetch.Disk->Read(id.Layer, id.Z, id.X, id.Y, body)) {
        try {
            return Decode(body, url);
        } catch (const std::exception&) {
            // A damaged file costs one fetch, not the tile.
            fetch.Disk->Remove(id.Layer, id.Z, id.X, id.Y);
        }
    }
    if (fetch.Offline)
        throw TTileError("Offline: the disk cache does not hold every map tile this view needs.");
    {
        std::lock_guard<std::mutex> guard(m_lock);
        ++m_networkFetches;
    }
    client.GetBody(url);
    body = client.Body;
    QImage image = Decode(body, url);
    // Only tiles that decoded are kept: an error page never is. A disk that
    // cannot take the file only costs the cache.
    if (fetch.Disk) {
        try {
            fetch.Disk->Write(id.Layer, id.Z, id.X, id.Y, body);
        } catch (const std::exception&) {
        }
    }
    return image;
}

std::vector<QImage> TSourceTiles::Get(const std::vector<TSourceTileId>& ids,
                                      const TSourceTileFetch& fetch, TIdHTTPEx& client) {
    std::vector<QImage> images(ids.size());
    std::vector<bool> settled(ids.size(), false); // had, or failed with an answer
    std::vector<QString> keys;
    keys.reserve(ids.size());
    for (const TSourceTileId& id : ids)
        keys.push_back(KeyOf(id));
    // A tile the service answered for with an error does not end the call:
    // the others are still asked for, so that one retry can find them all
    // rather than each retry meeting the next tile's failure.
    QString firstError;
    const auto failAnswered = [&](std::size_t i, const QString& error) {
        settled[i] = true;
        if (firstError.isEmpty()) firstError = error;
    };

    for (;;) {
        std::size_t mine = ids.size(), waiting = ids.size();
        std::shared_ptr<TFetching> entry;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            bool missing = false;
            for (std::size_t i = 0; i < ids.size(); ++i) {
                if (settled[i]) continue;
                if (LookupLocked(keys[i], images[i])) {
                    settled[i] = true;
                    continue;
                }
                missing = true;
                const auto running = m_fetching.find(keys[i]);
                if (running != m_fetching.end()) {
                    if (waiting == ids.size()) waiting = i;
                } else if (mine == ids.size()) {
                    mine = i;
                }
            }
            if (!missing) {
                if (!firstError.isEmpty()) throw TTileError(firstError.toStdString());
                return images;
            }
            if (mine < ids.size()) {
                entry = std::make_shared<TFetching>();
                m_fetching.emplace(keys[mine], entry);
            } else {
                entry = m_fetching.at(keys[waiting]);
            }
        }

        if (mine < ids.size()) {
            // Ours to fetch; whatever happens, the waiting workers hear of it.
            try {
                entry->Image = FetchOne(ids[mine], fetch, client);
            } catch (const THttpClosed&) {
                entry->GivenUp = true;
                Finish(keys[mine], entry);
                throw;
            } catch (const THttpStatusError& e) {
                entry->Error = QString::fromUtf8(e.what());
                entry->Answered = true;
            } catch (const THttpError& e) {
                // No answer (refused, timed out): the next tile would fare no better.
                entry->Error = QString::fromUtf8(e.what());
                Finish(keys[mine], entry);
                throw;
            } catch (const std::exception& e) {
                // Undecodable, or not on the disk when offline.
                entry->Error = QString::fromUtf8(e.what());
                entry->Answered = true;
            } catch (...) {
                entry->GivenUp = true;
                Finish(keys[mine], entry);
                throw;
            }
            Finish(keys[mine], entry);
            if (entry->Error.isEmpty()) {
                images[mine] = entry->Image;
                settled[mine] = true;
            } else {
                failAnswered(mine, entry->Error);
            }
            continue;
        }

        // Another worker fetches it: wait, but stop when this worker is aborted.
        {
            std::unique_lock<std::mutex> lock(m_lock);
            while (!entry->Done) {
                if (client.CloseRequestedPending()) break;
                m_finished.wait_for(lock, AbortCheckInterval);
            }
            if (!entry->Done) {
                lock.unlock();
                client.ThrowIfClosed();
                continue;
            }
        }
        // Its failure is this call's too, so a failing tile is not asked for
        // again by every worker that needs it.
        if (entry->GivenUp) continue;
        if (entry->Error.isEmpty()) {
            images[waiting] = entry->Image;
            settled[waiting] = true;
        } else if (entry->Answered) {
            failAnswered(waiting, entry->Error);
        } else {
            throw TTileError(entry->Error.toStdString());
        }
    }
}

} // namespace varrow
