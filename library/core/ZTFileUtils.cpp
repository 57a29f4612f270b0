#include "ZTFileUtils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

namespace fs = std::filesystem;

namespace {

std::atomic<int> probeTimeLimit{3000};

std::mutex hookMutex;
std::function<void()> probeHook;

fs::path ToPath(const QString &path)
{
    return fs::path(path.toStdU16String());
}

bool IsNetworkPath(const QString &path)
{
    return path.startsWith(QLatin1String("\\\\")) || path.startsWith(QLatin1String("//"));
}

// Runs question on a helper thread and waits for it at most the probe time limit. A question
// that does not answer in time counts as false; its thread finishes (or stays blocked in the
// file system) on its own, holding only its own copy of what it needs.
bool BoundedProbe(std::function<bool()> question)
{
    struct TState {
        std::mutex mutex;
        std::condition_variable answered;
        bool done = false;
        bool result = false;
    };
    auto state = std::make_shared<TState>();
    std::function<void()> hook;
    {
        std::lock_guard<std::mutex> lock(hookMutex);
        hook = probeHook;
    }
    try {
        std::thread([state, hook, question = std::move(question)] {
            bool result = false;
            try {
                if (hook)
                    hook();
                result = question();
            } catch (...) {
                result = false;
            }
            std::lock_guard<std::mutex> lock(state->mutex);
            state->result = result;
            state->done = true;
            state->answered.notify_all();
        }).detach();
    } catch (...) {
        return false; // no thread could be started
    }
    std::unique_lock<std::mutex> lock(state->mutex);
    state->answered.wait_for(lock, std::chrono::milliseconds(probeTimeLimit.load()), [&] { return state->done; });
    return state->done && state->result;
}

bool FileSystemAnswers(const QByteArray &folder)
{
    struct statvfs info;
    return ::statvfs(folder.constData(), &info) == 0;
}

// The folder that holds the file, taken from the path text alone; the probe asks its file
// system first (a folder that does not exist cannot hold the file either).
QString ProbeFolder(const QString &absolute)
{
    QString folder = QFileInfo(absolute).absolutePath();
    return folder.isEmpty() ? QStringLiteral("/") : folder;
}

} // namespace

bool ZTCopyFile(const QString &source, const QString &target, TZTCopy how)
{
    // The copy is made under a temporary name beside the target and then renamed over it, so
    // the target is at every moment either the file it was or the whole copy, also when the
    // process ends in the middle of the copy.
    try {
        if (source.isEmpty() || target.isEmpty())
            return false;
        std::error_code error;
        const fs::path from = ToPath(source);
        const fs::path to = ToPath(target);
        if (!fs::is_regular_file(from, error) || fs::equivalent(from, to, error))
            return false;
        // A target that cannot be written is not replaced.
        if (fs::exists(to, error) && ::access(QFile::encodeName(target).constData(), W_OK) != 0)
            return false;
        // A second name needs the source itself to be a file (a link to one would be named
        // instead of the content) and a file system with hard links; else the bytes are copied.
        bool link = how == TZTCopy::MayLink && fs::is_regular_file(fs::symlink_status(from, error));
        for (int attempt = 0; attempt < 8; ++attempt) {
            fs::path temporary = to;
            temporary += ".copy-" + std::to_string(QRandomGenerator::global()->generate64());
            error.clear();
            if (link) {
                fs::create_hard_link(from, temporary, error);
                if (error == std::errc::file_exists)
                    continue;
                if (error) {
                    link = false;
                    error.clear();
                }
            }
            if (!link && !fs::copy_file(from, temporary, fs::copy_options::none, error)) {
                if (error == std::errc::file_exists)
                    continue;
                fs::remove(temporary, error);
                return false;
            }
            fs::rename(temporary, to, error);
            if (!error)
                return true;
            std::error_code ignored;
            fs::remove(temporary, ignored);
            return false;
        }
        return false;
    } catch (...) {
        return false;
    }
}

namespace {

QString KindOfMode(mode_t mode)
{
    if (S_ISREG(mode))
        return QString();
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    if (S_ISFIFO(mode))
        return QStringLiteral("a named pipe");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("a device");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    return QStringLiteral("not a regular file");
}

QString SystemReason(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

} // namespace

QString ZTNonRegularFileKind(const QString &path)
{
    struct stat info;
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &info) != 0)
        return QString();
    return KindOfMode(info.st_mode);
}

void ZTPrepareBuffer(void *data, qsizetype size)
{
    constexpr qsizetype Worth = qsizetype(256) << 10;
    if (size < Worth)
        return;
    const auto page = std::uintptr_t(::sysconf(_SC_PAGESIZE));
    const std::uintptr_t first = (std::uintptr_t(data) + page - 1) & ~(page - 1);
    const std::uintptr_t last = (std::uintptr_t(data) + std::uintptr_t(size)) & ~(page - 1);
#ifdef MADV_POPULATE_WRITE
    if (last <= first)
        return;
    // Memory the process used before (a buffer freed and taken again) is mapped already:
    // walking its pages once more would cost without gain. Its last page tells.
    unsigned char resident = 0;
    if (::mincore(reinterpret_cast<void *>(last - page), page, &resident) == 0 && (resident & 1) != 0)
        return;
    ::madvise(reinterpret_cast<void *>(first), last - first, MADV_POPULATE_WRITE);
#endif
}

namespace {

// Opens a regular file (or the file a link names) to read, without waiting: a FIFO without
// writer would otherwise block the open itself. What was opened is then checked, so a path
// swapped after a check cannot slip through. -1 with the reason on failure.
int OpenRegularFile(const QString &path, struct stat &info, QString &reason)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        reason = SystemReason(errno);
        return -1;
    }
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        reason = QStringLiteral("The path is %1, not a file.").arg(KindOfMode(info.st_mode));
        ::close(fd);
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

} // namespace

bool ZTRegularFileHolds(const QString &path, QByteArrayView bytes)
{
    // Read piece by piece into one small buffer and compared as it comes: no copy of the
    // whole file is made, and the first difference ends the reading.
    struct stat info;
    QString reason;
    const int fd = OpenRegularFile(path, info, reason);
    if (fd < 0)
        return false;
    char buffer[65536];
    qsizetype at = 0;
    bool same = qsizetype(info.st_size) == bytes.size();
    while (same) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            same = n == 0 && at == bytes.size();
            break;
        }
        same = at + n <= bytes.size() && std::memcmp(buffer, bytes.data() + at, std::size_t(n)) == 0;
        at += n;
    }
    ::close(fd);
    return same;
}

bool ZTReadRegularFile(const QString &path, QByteArray &bytes, QString &reason)
{
    bytes.clear();
    struct stat info;
    const int fd = OpenRegularFile(path, info, reason);
    if (fd < 0)
        return false;
    // Read straight into the array, sized to the file plus one byte, so that a file of the
    // size it had is read in one call and its end is seen at once; a file that grows meanwhile
    // is read on to its end.
    qsizetype used = 0;
    bytes.resize(qsizetype(info.st_size) + 1);
    ZTPrepareBuffer(bytes.data(), bytes.size());
    for (;;) {
        if (used == bytes.size())
            bytes.resize(2 * bytes.size());
        const ssize_t n = ::read(fd, bytes.data() + used, std::size_t(bytes.size() - used));
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            reason = SystemReason(errno);
            ::close(fd);
            bytes.clear();
            return false;
        }
        used += qsizetype(n);
    }
    ::close(fd);
    bytes.resize(used);
    return true;
}

bool ZTWriteFileAtomic(const QString &path, const QByteArray &bytes, QString &reason)
{
    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        reason = file.errorString();
        file.cancelWriting();
        return false;
    }
    return true;
}

bool ZTDeleteFile(const QString &path)
{
    try {
        if (path.isEmpty())
            return true;
        std::error_code error;
        const fs::path p = ToPath(path);
        const fs::file_status status = fs::symlink_status(p, error);
        if (status.type() == fs::file_type::not_found)
            return true;
        if (error || fs::is_directory(status))
            return false;
        if (!fs::is_symlink(status) && (status.permissions() & fs::perms::owner_write) == fs::perms::none)
            fs::permissions(p, fs::perms::owner_write, fs::perm_options::add, error);
        error.clear();
        fs::remove(p, error);
        return !error;
    } catch (...) {
        return false;
    }
}

bool ZTFileExistsSafe(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QString absolute = QFileInfo(path).absoluteFilePath();
    const QByteArray folder = QFile::encodeName(ProbeFolder(absolute));
    const QByteArray file = QFile::encodeName(absolute);
    const bool network = IsNetworkPath(path);
    return BoundedProbe([folder, file, network] {
        // A file system that does not answer for the folder cannot hold the file; a network
        // path is asked directly.
        if (!network && !FileSystemAnswers(folder))
            return false;
        struct stat info;
        return ::stat(file.constData(), &info) == 0 && !S_ISDIR(info.st_mode);
    });
}

QString ZTIncludeTrailingPathDelimiter(const QString &path)
{
    if (path.isEmpty() || path.endsWith(QLatin1Char('/')))
        return path;
    return path + QLatin1Char('/');
}

QString ZTDriveOf(const QString &path)
{
    if (IsNetworkPath(path))
        return QString();
    const QString absolute = QDir::cleanPath(QFileInfo(path.isEmpty() ? QStringLiteral(".") : path).absoluteFilePath());
    QFile mounts(QStringLiteral("/proc/self/mounts"));
    QString best = QStringLiteral("/");
    if (!mounts.open(QIODevice::ReadOnly))
        return best;
    // Each line: device, mount point (with blanks written as octal escapes), type, options...
    const auto unescape = [](const QByteArray &field) {
        QByteArray out;
        for (qsizetype i = 0; i < field.size(); ++i) {
            if (field.at(i) == '\\' && i + 3 < field.size()) {
                bool ok = false;
                const int code = field.mid(i + 1, 3).toInt(&ok, 8);
                if (ok) {
                    out.append(char(code));
                    i += 3;
                    continue;
                }
            }
            out.append(field.at(i));
        }
        return QFile::decodeName(out);
    };
    while (!mounts.atEnd()) {
        const QList<QByteArray> fields = mounts.readLine().split(' ');
        if (fields.size() < 2)
            continue;
        const QString point = unescape(fields.at(1));
        if (point.isEmpty())
            continue;
        const bool holds = point == QLatin1String("/") || absolute == point || absolute.startsWith(point + QLatin1Char('/'));
        if (holds && point.size() > best.size())
            best = point;
    }
    return best;
}

bool ZTDriveReady(const QString &drive)
{
    if (drive.isEmpty())
        return false;
    const QByteArray folder = QFile::encodeName(QFileInfo(drive).absoluteFilePath());
    return BoundedProbe([folder] { return FileSystemAnswers(folder); });
}

QString ZTExtractFilePath(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : path.left(slash + 1);
}

QString ZTExtractFileName(const QString &path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString ZTExtractFileExt(const QString &path)
{
    const QString name = ZTExtractFileName(path);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot);
}

QString ZTChangeFileExt(const QString &path, const QString &ext)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot > slash)
        return path.left(dot) + ext;
    return path + ext;
}

int ZTSetFileProbeTimeLimit(int milliseconds)
{
    return probeTimeLimit.exchange(qMax(0, milliseconds));
}

void ZTSetFileProbeHook(std::function<void()> hook)
{
    std::lock_guard<std::mutex> lock(hookMutex);
    probeHook = std::move(hook);
}
