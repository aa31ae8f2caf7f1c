#pragma once

// Ways to make a file write fail that work for root as well as for other users.

#include <QString>

#include <sys/resource.h>

namespace varrow::test {

// Makes a plain file "plain" in parent and returns the path of a folder below it, which
// cannot be created, not even by root. Empty when the plain file cannot be written.
QString UncreatableFolder(const QString& parent);

// A full disk, played by a limit on the size of the files this process writes; writes past
// it fail with EFBIG instead of raising SIGXFSZ. Both are restored when the object goes.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
};

} // namespace varrow::test
