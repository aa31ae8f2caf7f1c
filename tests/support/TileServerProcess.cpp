#include "TileServerProcess.h"

#include <QElapsedTimer>
#include <QRegularExpression>

#include <csignal>
#include <sys/prctl.h>

namespace varrow::test {

TileServerProcess::TileServerProcess(QStringList extraArgs) : m_args(std::move(extraArgs)) {}

TileServerProcess::~TileServerProcess() { stop(); }

QString TileServerProcess::executable() { return QStringLiteral(VARROW_TILES_EXECUTABLE); }

bool TileServerProcess::start() {
    QStringList args{"--host", "127.0.0.1", "--port", "0"};
    args += m_args;
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    // A test that dies (a crash, a timeout's kill) must not leave its service
    // running: the service goes with the thread that started it.
    m_process.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
    m_process.start(executable(), args);
    if (!m_process.waitForStarted(5000)) {
        m_error = QStringLiteral("cannot start %1: %2").arg(executable(), m_process.errorString());
        return false;
    }
    // The service prints "listening on http://127.0.0.1:PORT" once it accepts.
    static const QRegularExpression listening(QStringLiteral("listening on \\S+:(\\d+)"));
    QByteArray seen;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 10000) {
        if (!m_process.waitForReadyRead(200) && m_process.state() != QProcess::Running)
            break;
        seen += m_process.readAllStandardOutput();
        const QRegularExpressionMatch m = listening.match(QString::fromUtf8(seen));
        if (m.hasMatch()) {
            m_port = m.captured(1).toInt();
            return true;
        }
    }
    m_error = QStringLiteral("varrow-tiles did not report its port; output: %1 %2")
                  .arg(QString::fromUtf8(seen), QString::fromUtf8(m_process.readAllStandardError()));
    stop();
    return false;
}

void TileServerProcess::stop() {
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(2000);
    }
}

} // namespace varrow::test
