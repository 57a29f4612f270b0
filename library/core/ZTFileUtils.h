#pragma once
// File and drive routines. None of them raises.
//
// There are no drive letters on this system: the "drive" of a path is the mount point of the
// file system that holds it, and a drive is ready when that file system answers. Questions
// that touch a file system (readiness, existence) run on a helper thread and are abandoned
// after a time limit, so a hung network or removable mount never freezes the caller.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>

// Copies source to target, overwriting an existing target. True on success. The target is
// replaced in one step (a whole copy renamed over it), so it is never seen half written; a
// target that cannot be written, and a copy of a file onto itself, fail.
// How ZTCopyFile may make the copy. MayLink: as a second name of the source's content (a hard
// link) where the file system allows it, which copies nothing; only for a source that is never
// changed in place afterwards, only replaced by renaming another file over it.
enum class TZTCopy { Bytes, MayLink };
bool ZTCopyFile(const QString &source, const QString &target, TZTCopy how = TZTCopy::Bytes);
// Makes the file writable when it is read-only, then deletes it. A missing file is no error.
// True when no file is left at the path.
bool ZTDeleteFile(const QString &path);
// Whether the file exists, answered only when its file system answers in time; false for a
// path on a file system that does not answer, and for an empty path. Never raises, never hangs.
bool ZTFileExistsSafe(const QString &path);
// Something is at the path that is not a regular file (nor a link to one): a folder, a FIFO,
// a device or a socket. Its kind in words ("a folder", "a named pipe", ...) when so, else empty.
// Opening such a path to read could block for good (a FIFO without writer) or read forever.
QString ZTNonRegularFileKind(const QString &path);
// Reads a whole regular file (or the file a link names). Never blocks on a FIFO or a device:
// anything that is not a regular file fails. On failure returns false with the reason.
bool ZTReadRegularFile(const QString &path, QByteArray &bytes, QString &reason);
// Whether the regular file at path (or the file a link names) holds exactly these bytes;
// false also when it cannot be read. Compares as it reads, without a copy of the whole file.
bool ZTRegularFileHolds(const QString &path, QByteArrayView bytes);
// Maps the pages of a large buffer (256 KB or more) that is about to be filled, in one step:
// touched page by page, each first touch traps into the system, which on virtual machines
// costs more than filling the page. Where the system cannot do so, nothing happens and the
// pages come one by one on first use; a buffer whose pages are mapped already is left as it
// is. Only a speed-up: the buffer's content is not changed.
void ZTPrepareBuffer(void *data, qsizetype size);
// Writes bytes to path through a temporary file beside it renamed over it, so the path holds
// either its old content or all of the new; true on success, else false with the reason.
bool ZTWriteFileAtomic(const QString &path, const QByteArray &bytes, QString &reason);

// Empty stays empty; a path ending in '/' is unchanged; anything else gets '/'.
QString ZTIncludeTrailingPathDelimiter(const QString &path);
// The mount point of the file system that holds path (a relative path counts from the current
// folder); empty for a network path written with two leading backslashes or slashes. Reads the
// mount table only, so it never touches the file system of the path itself.
QString ZTDriveOf(const QString &path);
// Whether the file system mounted at (or holding) the given folder answers with its size in
// time; false for an empty text.
bool ZTDriveReady(const QString &drive);

// The folder part of a path with its trailing '/' ("" when there is none).
QString ZTExtractFilePath(const QString &path);
// The name part of a path (after the last '/').
QString ZTExtractFileName(const QString &path);
// The extension of the name part, from its last '.' and dot included ("" when it has none).
QString ZTExtractFileExt(const QString &path);
// The path with its extension (from the last '.' of the name part) replaced by ext, which
// includes its dot; a name without extension gets ext appended.
QString ZTChangeFileExt(const QString &path, const QString &ext);

// Test seams for the bounded file-system probes: the time limit in milliseconds (returns the
// previous one), and a hook that runs on the helper thread before each probe (none by default).
int ZTSetFileProbeTimeLimit(int milliseconds);
void ZTSetFileProbeHook(std::function<void()> hook);
