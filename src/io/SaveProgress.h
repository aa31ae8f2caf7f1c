#pragma once

// Progress of a long save: a 75 × 75 map takes seconds to write, and the
// user may give up on it. Cancelling leaves no file behind (saves are written
// beside and renamed).

#include "io/AtomicFile.h"

#include <functional>

namespace varrow {

// Told the share done now and then; returns false to cancel.
using TSaveProgress = std::function<bool(int percent)>;

class ESaveCancelled : public EFileWriteError {
public:
    ESaveCancelled() : EFileWriteError("The save was cancelled") {}
};

// Counts the rows a writer reads, in one or more passes over the picture, and
// tells the progress every so often; throws ESaveCancelled when told to stop.
class TRowProgress {
public:
    TRowProgress(const TSaveProgress* progress, int rows, int passes)
        : m_progress(progress != nullptr && *progress ? progress : nullptr),
          m_total(static_cast<long long>(rows) * (passes > 0 ? passes : 1)) {}

    void Row() {
        if (m_progress == nullptr || ++m_done % Every != 0) return;
        if (!(*m_progress)(static_cast<int>(100 * m_done / m_total))) throw ESaveCancelled();
    }

private:
    static constexpr long long Every = 64;
    const TSaveProgress* m_progress;
    long long m_total;
    long long m_done = 0;
};

} // namespace varrow
