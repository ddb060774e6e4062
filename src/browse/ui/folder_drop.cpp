#include "browse/ui/folder_drop.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace vtl::browse::ui {

namespace {
    QString U(const char* s) { return QString::fromUtf8(s); }

    QString ErrorText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

    // Something is at `path`, a broken link included.
    bool Occupied(const QString& path)
    {
        struct stat info { };
        return ::lstat(QFile::encodeName(path).constData(), &info) == 0;
    }

    // Copies one entry to `to`, whose folder is made first: a link as a link, a folder as an
    // empty folder with the original's permissions, a file with its permissions and time.
    bool CopyEntry(const QString& from, const QString& to, QString& error)
    {
        const QByteArray source = QFile::encodeName(from);
        const QByteArray target = QFile::encodeName(to);
        struct stat info { };
        if (::lstat(source.constData(), &info) != 0) {
            error = ErrorText(errno);
            return false;
        }
        if (!QDir().mkpath(QFileInfo(to).path())) {
            error = ErrorText(EACCES);
            return false;
        }
        if (S_ISLNK(info.st_mode)) {
            // The link itself: following it could copy a folder into itself.
            std::vector<char> text(size_t(info.st_size > 0 ? info.st_size : 4096) + 1);
            const ssize_t n = ::readlink(source.constData(), text.data(), text.size());
            if (n < 0 || size_t(n) >= text.size()) {
                error = ErrorText(n < 0 ? errno : ENAMETOOLONG);
                return false;
            }
            text[size_t(n)] = '\0';
            if (::symlink(text.data(), target.constData()) != 0) {
                error = ErrorText(errno);
                return false;
            }
            return true;
        }
        if (S_ISDIR(info.st_mode)) {
            // Writable by us until everything is in it; then the original's permissions.
            if (::mkdir(target.constData(), 0700) != 0 && errno != EEXIST) {
                error = ErrorText(errno);
                return false;
            }
            return true;
        }
        if (!S_ISREG(info.st_mode)) {
            error = U("特殊なファイルはコピーできません。");
            return false;
        }
        QFile file(from);
        if (!file.copy(to)) {
            error = file.errorString();
            return false;
        }
        QFile copied(to);
        if (copied.open(QIODevice::ReadWrite))
            copied.setFileTime(QFileInfo(from).lastModified(), QFileDevice::FileModificationTime);
        return true;
    }

    // Gives the copied folders the permissions of their originals, deepest first, once nothing
    // more is to be written into them.
    void CopyFolderPermissions(const std::vector<std::pair<QString, QString>>& folders)
    {
        for (auto it = folders.rbegin(); it != folders.rend(); ++it) {
            struct stat info { };
            if (::stat(QFile::encodeName(it->first).constData(), &info) == 0)
                ::chmod(QFile::encodeName(it->second).constData(), info.st_mode & 07777);
        }
    }

    void RemoveItem(const QString& path)
    {
        const QFileInfo info(path);
        if (info.isDir() && !info.isSymLink())
            QDir(path).removeRecursively();
        else
            QFile::remove(path);
    }

    // Copies `source` to `target` (which must not exist), a folder with everything in it. On
    // failure whatever was made of the copy is removed again.
    bool CopyTree(const QString& source, const QString& target, QString& error)
    {
        if (!CopyEntry(source, target, error))
            return false;
        const QFileInfo info(source);
        if (!info.isDir() || info.isSymLink())
            return true;
        std::vector<std::pair<QString, QString>> folders { { source, target } };
        const QDir base(source);
        // Links to folders are copied as links, not entered.
        QDirIterator it(source,
            QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
            QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString from = it.next();
            const QString to = target + QLatin1Char('/') + base.relativeFilePath(from);
            if (!CopyEntry(from, to, error)) {
                error = from + QStringLiteral(": ") + error;
                RemoveItem(target);
                return false;
            }
            if (it.fileInfo().isDir() && !it.fileInfo().isSymLink())
                folders.emplace_back(from, to);
        }
        CopyFolderPermissions(folders);
        return true;
    }

    bool DeleteOriginal(const QString& source)
    {
        const QFileInfo info(source);
        if (info.isDir() && !info.isSymLink())
            return QDir(source).removeRecursively();
        return QFile::remove(source);
    }

    QString Canonical(const QString& path)
    {
        const QString canonical = QFileInfo(path).canonicalFilePath();
        return canonical.isEmpty() ? QDir::cleanPath(QFileInfo(path).absoluteFilePath())
                                   : canonical;
    }
}

DropResult CopyOrMoveInto(const QStringList& sources, const QString& folder, bool copy)
{
    DropResult result;
    QStringList& errors = result.errors;
    const QString into = Canonical(folder);
    for (const QString& dropped : sources) {
        const QString source = QDir::cleanPath(QFileInfo(dropped).absoluteFilePath());
        const QString name = QFileInfo(source).fileName();
        const QString failed = copy ? U("%1 をコピーできません。").arg(source)
                                    : U("%1 を移動できません。").arg(source);
        if (name.isEmpty() || !Occupied(source)) {
            errors << failed + QLatin1Char('\n') + ErrorText(ENOENT);
            continue;
        }
        const QFileInfo sourceInfo(source);
        const QString real = sourceInfo.isSymLink() ? source : Canonical(source);
        if (sourceInfo.isDir() && !sourceInfo.isSymLink()
            && (into == real || into.startsWith(real + QLatin1Char('/')))) {
            errors << failed + QLatin1Char('\n') + U("フォルダをそれ自身の中には入れられません。");
            continue;
        }
        // A move to where the item already is does nothing.
        if (!copy && Canonical(sourceInfo.path()) == into)
            continue;
        const QString target = into + QLatin1Char('/') + name;
        if (Occupied(target)) {
            errors << failed + QLatin1Char('\n') + U("%1 はすでにあります。").arg(target);
            continue;
        }
        QString error;
        if (copy) {
            if (CopyTree(source, target, error))
                ++result.done;
            else
                errors << failed + QLatin1Char('\n') + error;
            continue;
        }
        if (::rename(QFile::encodeName(source).constData(), QFile::encodeName(target).constData())
            == 0) {
            ++result.done;
            continue;
        }
        if (errno != EXDEV) {
            errors << failed + QLatin1Char('\n') + ErrorText(errno);
            continue;
        }
        // Another file system: the original goes only once the whole copy is there.
        if (!CopyTree(source, target, error)) {
            errors << failed + QLatin1Char('\n') + error;
            continue;
        }
        if (DeleteOriginal(source))
            ++result.done;
        else
            errors << U("%1 はコピーしましたが、元を削除できません。").arg(source);
    }
    return result;
}

} // namespace vtl::browse::ui
