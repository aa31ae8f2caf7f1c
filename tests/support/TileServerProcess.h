#pragma once

// Starts the real varrow-tiles on 127.0.0.1 with an ephemeral port for a test
// and stops it when the object goes away.

#include <QProcess>
#include <QString>
#include <QStringList>

namespace varrow::test {

class TileServerProcess {
public:
    // extraArgs are passed after "--host 127.0.0.1 --port 0", e.g. {"--latency-ms", "20"}.
    explicit TileServerProcess(QStringList extraArgs = {});
    ~TileServerProcess();
    TileServerProcess(const TileServerProcess&) = delete;
    TileServerProcess& operator=(const TileServerProcess&) = delete;

    // Starts the service and waits until it has printed its port. False on failure,
    // with the reason in error().
    bool start();
    void stop();

    int port() const { return m_port; }
    QString baseUrl() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port); }
    QString error() const { return m_error; }

    // Path of the varrow-tiles executable this build made.
    static QString executable();

private:
    QStringList m_args;
    QProcess m_process;
    int m_port = 0;
    QString m_error;
};

} // namespace varrow::test
