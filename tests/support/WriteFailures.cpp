#include "WriteFailures.h"

#include <QFile>

#include <csignal>

namespace varrow::test {

QString UncreatableFolder(const QString& parent) {
    QFile plain(parent + QStringLiteral("/plain"));
    if (!plain.open(QIODevice::WriteOnly)) return QString();
    plain.close();
    return parent + QStringLiteral("/plain/sub");
}

FileSizeLimit::FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &m_old);
    m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = m_old;
    small.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &small);
}

FileSizeLimit::~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &m_old);
    std::signal(SIGXFSZ, m_oldHandler);
}

} // namespace varrow::test
