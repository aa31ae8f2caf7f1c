#pragma once

// The progress line varrow-render keeps on standard error while it loads.

#include <QString>

#include <cstdio>

namespace varrow {

struct TLoadStats;

class TRenderProgress {
public:
    // Draws only when enabled (standard error is a terminal and not --quiet).
    TRenderProgress(std::FILE* out, bool enabled) : m_out(out), m_enabled(enabled) {}

    void Update(const TLoadStats& stats);
    // How far the writing of a file is.
    void Writing(const QString& file, int percent);
    // Ends the progress line so that what follows starts on a line of its own.
    void Finish();

private:
    void Show(const QString& line);

    std::FILE* m_out;
    bool m_enabled;
    bool m_drawn = false;
    QString m_last;
};

} // namespace varrow
