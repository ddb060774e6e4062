#include "platform/qt/trash.h"

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QString>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace vtl::platform::qt {

namespace {

    constexpr int kNameMax = 255;
    const QByteArray kInfoSuffix = ".trashinfo";

    QString ErrorText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

    QByteArray ParentOf(const QByteArray& path)
    {
        const int slash = path.lastIndexOf('/');
        return slash <= 0 ? QByteArray("/") : path.left(slash);
    }

    QByteArray Join(const QByteArray& folder, const QByteArray& name)
    {
        return folder.endsWith('/') ? folder + name : folder + '/' + name;
    }

    // The device of `path`, or of the closest folder above it that exists (the home trash is
    // judged by where it will be made).
    std::optional<dev_t> DeviceOfNearest(QByteArray path)
    {
        struct stat info { };
        while (::stat(path.constData(), &info) != 0) {
            if (path == "/")
                return std::nullopt;
            path = ParentOf(path);
        }
        return info.st_dev;
    }

    // A folder of ours: a real folder (not a link to one) owned by this user.
    bool IsOwnFolder(const QByteArray& path)
    {
        struct stat info { };
        return ::lstat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode)
            && info.st_uid == ::getuid();
    }

    // Makes `path` and the folders above it that are missing, each readable by this user only.
    bool MakeFolders(const QByteArray& path)
    {
        QList<QByteArray> missing;
        QByteArray folder = path;
        struct stat info { };
        while (::stat(folder.constData(), &info) != 0) {
            if (errno != ENOENT || folder == "/")
                return false;
            missing.prepend(folder);
            folder = ParentOf(folder);
        }
        for (const QByteArray& each : missing)
            if (::mkdir(each.constData(), 0700) != 0 && errno != EEXIST)
                return false;
        return ::stat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode);
    }

    bool MakeFolder(const QByteArray& path)
    {
        return (::mkdir(path.constData(), 0700) == 0 || errno == EEXIST) && IsOwnFolder(path);
    }

    // The highest folder above `item` that is still on its device: the mount point.
    std::optional<QByteArray> TopDir(const QByteArray& item, dev_t device)
    {
        QByteArray top = ParentOf(item);
        struct stat info { };
        if (::stat(top.constData(), &info) != 0 || info.st_dev != device)
            return std::nullopt; // the item is itself a mount point
        while (top != "/") {
            const QByteArray up = ParentOf(top);
            if (::stat(up.constData(), &info) != 0 || info.st_dev != device)
                break;
            top = up;
        }
        return top;
    }

    // The trash of a mount: the administrator's sticky $topdir/.Trash with a folder per user,
    // else the user's own $topdir/.Trash-$uid. A .Trash that is a link or not sticky is not used.
    std::optional<QByteArray> TopDirTrash(const QByteArray& top)
    {
        const QByteArray uid = QByteArray::number(qulonglong(::getuid()));
        const QByteArray shared = Join(top, ".Trash");
        struct stat info { };
        if (::lstat(shared.constData(), &info) == 0 && S_ISDIR(info.st_mode)
            && (info.st_mode & S_ISVTX)) {
            const QByteArray mine = Join(shared, uid);
            if (MakeFolder(mine))
                return mine;
        }
        const QByteArray own = Join(top, ".Trash-" + uid);
        if (MakeFolder(own))
            return own;
        return std::nullopt;
    }

    // The n-th name tried for `name` in the trash: the name itself, then "a.2.bmp", "a.3.bmp" ...
    // The name is shortened first when its info file's name would be too long.
    QByteArray Candidate(const QByteArray& name, int n)
    {
        const int dot = name.lastIndexOf('.');
        QByteArray stem = dot > 0 ? name.left(dot) : name;
        const QByteArray extension = dot > 0 ? name.mid(dot) : QByteArray();
        const QByteArray number = n > 1 ? "." + QByteArray::number(n) : QByteArray();
        const int room = kNameMax - int(kInfoSuffix.size() + number.size() + extension.size());
        if (stem.size() > room) {
            int cut = std::max(room, 1);
            // Not in the middle of a character.
            while (cut > 1 && (uchar(stem[cut]) & 0xC0) == 0x80)
                --cut;
            stem.truncate(cut);
        }
        return stem + number + extension;
    }

    bool WriteAll(int fd, const QByteArray& bytes)
    {
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            done += n;
        }
        return true;
    }

} // namespace

QString HomeTrashPath()
{
    // A relative XDG_DATA_HOME is not valid and is ignored.
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty() || !QDir::isAbsolutePath(data))
        data = QDir::homePath() + QStringLiteral("/.local/share");
    return QDir::cleanPath(data + QStringLiteral("/Trash"));
}

TrashResult MoveToTrash(const QString& path)
{
    TrashResult result;
    const QByteArray item = QFile::encodeName(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    const QByteArray name = item.mid(item.lastIndexOf('/') + 1);
    struct stat info { };
    if (name.isEmpty() || ::lstat(item.constData(), &info) != 0) {
        result.error = ErrorText(name.isEmpty() ? EINVAL : errno);
        return result;
    }

    // The home trash takes what is on its own device; the rest goes to its mount's trash, where
    // the original place is recorded relative to the mount.
    const QByteArray home = QFile::encodeName(HomeTrashPath());
    QByteArray trash;
    QByteArray recorded = item;
    if (DeviceOfNearest(home) == info.st_dev) {
        if (!MakeFolders(home)) {
            result.error = ErrorText(errno);
            return result;
        }
        trash = home;
    } else {
        const auto top = TopDir(item, info.st_dev);
        const auto mountTrash = top ? TopDirTrash(*top) : std::nullopt;
        if (!mountTrash) {
            result.error = QStringLiteral("このドライブにはごみ箱がありません。");
            return result;
        }
        trash = *mountTrash;
        recorded = *top == "/" ? item.mid(1) : item.mid(top->size() + 1);
    }
    const QByteArray files = Join(trash, "files");
    const QByteArray infos = Join(trash, "info");
    if (!MakeFolder(files) || !MakeFolder(infos)) {
        result.error = ErrorText(errno ? errno : EACCES);
        return result;
    }

    const QByteArray content = "[Trash Info]\nPath=" + recorded.toPercentEncoding("/")
        + "\nDeletionDate="
        + QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss")).toLatin1()
        + "\n";
    for (int n = 1; n <= 100000; ++n) {
        const QByteArray trashName = Candidate(name, n);
        const QByteArray infoPath = Join(infos, trashName + kInfoSuffix);
        const QByteArray target = Join(files, trashName);
        // The info file is made first and exclusively: it claims the name.
        const int fd = ::open(infoPath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            result.error = ErrorText(errno);
            return result;
        }
        struct stat existing { };
        if (::lstat(target.constData(), &existing) == 0) {
            // Something left in "files" without its info: not ours to replace.
            ::close(fd);
            ::unlink(infoPath.constData());
            continue;
        }
        const bool written = WriteAll(fd, content);
        const int writeError = errno;
        if (::close(fd) != 0 || !written) {
            ::unlink(infoPath.constData());
            result.error = ErrorText(written ? errno : writeError);
            return result;
        }
        if (::rename(item.constData(), target.constData()) != 0) {
            const int renameError = errno;
            ::unlink(infoPath.constData());
            result.error = ErrorText(renameError);
            return result;
        }
        result.moved = true;
        result.trashedPath = QFile::decodeName(target);
        return result;
    }
    result.error = ErrorText(EEXIST);
    return result;
}

} // namespace vtl::platform::qt
