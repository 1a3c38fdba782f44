#include "platform/storage/files.h"

#include "platform/error.h"
#include "platform/storage/text.h"

#include <QList>
#include <QString>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace platform {

namespace {

thread_local std::string g_lastSystemReason;

// A file size limit (ulimit -f) must fail the write that meets it with "Disk full", not end the
// program: every program of the project links this library, so the signal is ignored here,
// before any main runs.
[[maybe_unused]] const bool g_sizeLimitSignalIgnored = [] {
    std::signal(SIGXFSZ, SIG_IGN);
    return true;
}();

// The runtime's error for a failed system call. notFound is what a missing name means at
// that place (53 for a file being read, 76 for a folder).
[[noreturn]] void raiseErrno(int err, int notFound = 76) {
    g_lastSystemReason = std::strerror(err);
    switch (err) {
    case ENOENT: raise(notFound);
    case ENOTDIR: raise(76);
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY: raise(70);
    case ENOSPC:
    case EDQUOT:
    case EFBIG: raise(61);
    case EIO: raise(57);
    default: raise(75);
    }
}

std::string parentOf(const std::string& p) {
    auto slash = p.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return p.substr(0, slash);
}

bool isDir(const std::string& p) {
    struct stat st {};
    return !p.empty() && ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Closes on every way out.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    void release() { fd_ = -1; }
    void reset(int fd) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }
    // Closes now and reports the error a delayed write may only show here.
    int close() {
        int r = ::close(fd_);
        fd_ = -1;
        return r == 0 ? 0 : errno;
    }

private:
    int fd_;
};

// 0 or the errno of the failed write.
int writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) return ENOSPC;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return 0;
}

// Why a name that opened is not a file to read.
const char* notAFile(mode_t mode) {
    if (S_ISDIR(mode)) return "is a folder";
    if (S_ISFIFO(mode)) return "is a pipe (FIFO), not a file";
    return "is a device or special file, not a file";
}

[[noreturn]] void raiseTooLarge(std::size_t maxBytes) {
    g_lastSystemReason.clear();
    raise(7, "File too large: more than " + std::to_string(maxBytes / (1024 * 1024)) + " MB");
}

std::string readAll(std::string_view path, std::size_t maxBytes) {
    Fd fd(openFileForReading(path, maxBytes));
    std::string data;
    char chunk[65536];
    while (true) {
        ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            raiseErrno(errno, 53);
        }
        if (n == 0) break;
        // The file may have grown since it was measured.
        if (maxBytes != kAnySize && data.size() + static_cast<std::size_t>(n) > maxBytes) raiseTooLarge(maxBytes);
        data.append(chunk, static_cast<std::size_t>(n));
    }
    return data;
}

// Writes a whole file through a temporary file beside it, so that a failure at any point
// leaves the old file (or no file) and never a truncated one.
void writeAtomically(std::string_view path, const std::string& data) {
    g_lastSystemReason.clear();
    std::string p = diskPath(path);
    if (p.empty()) raise(75);
    std::error_code ec;
    if (fs::is_symlink(p, ec)) {
        // Replace the file the link points at, and keep the link.
        fs::path target = fs::weakly_canonical(p, ec);
        if (!ec) p = target.string();
    }
    struct stat st {};
    bool existed = ::stat(p.c_str(), &st) == 0;
    if (existed) {
        // Replacing a pipe or a device (/dev/null as root) with a file would break what uses it.
        if (!S_ISREG(st.st_mode)) {
            g_lastSystemReason = notAFile(st.st_mode);
            raise(75);
        }
        if (::access(p.c_str(), W_OK) != 0) raiseErrno(errno);
    }

    // A hidden name, so that a file list never shows it.
    static std::atomic<unsigned> counter{0};
    std::string dir = parentOf(p);
    std::string base = p.substr(p.find_last_of('/') + 1);
    std::string tmp;
    Fd fd;
    for (int attempt = 0;; ++attempt) {
        tmp = (dir == "/" ? "" : dir) + "/." + base + ".tmp" + std::to_string(::getpid()) + "-" +
              std::to_string(counter++);
        int f = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (f >= 0) {
            fd.reset(f);
            break;
        }
        if (errno != EEXIST || attempt > 100) raiseErrno(errno);
    }
    auto fail = [&](int err) {
        ::unlink(tmp.c_str());
        raiseErrno(err);
    };
    if (existed) ::fchmod(fd.get(), st.st_mode & 07777);
    if (int err = writeAll(fd.get(), data.data(), data.size())) {
        fd.close();
        fail(err);
    }
    if (::fsync(fd.get()) != 0 && errno != EINVAL) {
        int err = errno;
        fd.close();
        fail(err);
    }
    if (int err = fd.close()) fail(err);
    if (::rename(tmp.c_str(), p.c_str()) != 0) fail(errno);
}

std::string linesToCp1252(const std::vector<std::string>& lines) {
    std::string data;
    for (const auto& line : lines) {
        data += utf8ToCp1252(line);
        data += "\r\n";
    }
    return data;
}

std::u32string folded(std::string_view s) {
    QString q = QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())).toCaseFolded();
    auto ucs4 = q.toUcs4();
    return std::u32string(ucs4.begin(), ucs4.end());
}

// "*" any run (also empty), "?" exactly one character, everything else itself.
bool globMatch(const std::u32string& name, const std::u32string& pat) {
    std::size_t n = 0, p = 0, starP = std::u32string::npos, starN = 0;
    while (n < name.size()) {
        if (p < pat.size() && (pat[p] == U'?' || pat[p] == name[n])) {
            ++n;
            ++p;
        } else if (p < pat.size() && pat[p] == U'*') {
            starP = p++;
            starN = n;
        } else if (starP != std::u32string::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pat.size() && pat[p] == U'*') ++p;
    return p == pat.size();
}

bool lessNoCase(const std::string& a, const std::string& b) {
    int c = QString::fromUtf8(a).compare(QString::fromUtf8(b), Qt::CaseInsensitive);
    return c != 0 ? c < 0 : a < b;
}

std::string trimBlanks(std::string_view s) {
    auto b = s.find_first_not_of(" \t");
    if (b == std::string_view::npos) return {};
    auto e = s.find_last_not_of(" \t");
    return std::string(s.substr(b, e - b + 1));
}

// The entries of a folder that pass keep(), visible ones only, sorted.
template <typename Keep>
std::vector<std::string> listFolder(std::string_view folder, Keep keep) {
    std::string p = diskPath(folder);
    if (p.empty()) p = ".";
    std::error_code ec;
    fs::directory_iterator it(p, ec);
    if (ec) raiseErrno(ec.value());
    std::vector<std::string> names;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) raiseErrno(ec.value());
        std::string name = it->path().filename().string();
        if (name.empty() || name[0] == '.') continue;
        if (keep(*it, name)) names.push_back(std::move(name));
    }
    if (ec) raiseErrno(ec.value());
    std::sort(names.begin(), names.end(), lessNoCase);
    return names;
}

} // namespace

bool isAbsolutePath(std::string_view path) {
    if (!path.empty() && path[0] == '/') return true;
    return path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
           (path[2] == '\\' || path[2] == '/');
}

std::string appPath() {
    std::string home;
    if (const char* k = std::getenv("KORVELLA_HOME"); k && *k) {
        home = k;
    } else {
        std::string user;
        if (const char* h = std::getenv("HOME"); h && *h) {
            user = h;
        } else if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) {
            user = pw->pw_dir;
        } else {
            user = "/tmp";
        }
        while (user.size() > 1 && user.back() == '/') user.pop_back();
        home = (user == "/" ? "" : user) + "/.local/share/korvella";
    }
    while (home.size() > 1 && home.back() == '/') home.pop_back();
    std::error_code ec;
    fs::create_directories(home, ec);
    if (!isDir(home)) {
        g_lastSystemReason = ec ? ec.message() : "not a folder";
        raise(76, "Path not found: the program folder " + home + " cannot be used (" + g_lastSystemReason + ")");
    }
    return home;
}

std::string diskPath(std::string_view path) {
    std::string p(path);
    std::replace(p.begin(), p.end(), '\\', '/');
    return p;
}

bool fileExists(std::string_view path) {
    std::string p = diskPath(path);
    struct stat st {};
    return !p.empty() && ::stat(p.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool dirExists(std::string_view path) { return isDir(diskPath(path)); }

void mkDir(std::string_view path) {
    std::string p = diskPath(path);
    if (p.empty()) raise(75);
    if (::mkdir(p.c_str(), 0777) == 0) return;
    int err = errno;
    if (err == ENOENT || err == ENOTDIR) raise(76);
    // An existing name, and a folder we may not create, are both access errors to the runtime.
    raise(75);
}

int openFileForReading(std::string_view path, std::size_t maxBytes) {
    g_lastSystemReason.clear();
    std::string p = diskPath(path);
    if (p.empty()) raise(75);
    // Not blocking: a pipe or a device named as a file is refused below instead of hanging here.
    Fd fd(::open(p.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) {
        int err = errno;
        if (err == ENOENT && !isDir(parentOf(p))) raise(76);
        raiseErrno(err, 53);
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) raiseErrno(errno, 53);
    if (!S_ISREG(st.st_mode)) {
        g_lastSystemReason = notAFile(st.st_mode);
        raise(75);
    }
    if (maxBytes != kAnySize && static_cast<std::uint64_t>(st.st_size) > maxBytes) raiseTooLarge(maxBytes);
    // Reads of a regular file wait for the disk as usual.
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags >= 0) ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
    const int result = fd.get();
    fd.release();
    return result;
}

std::vector<std::string> readTextLines(std::string_view path, std::size_t maxBytes) {
    std::string data = readAll(path, maxBytes);
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < data.size(); ++i) {
        char c = data[i];
        if (c != '\r' && c != '\n') continue;
        lines.push_back(cp1252ToUtf8(std::string_view(data).substr(start, i - start)));
        if (c == '\r' && i + 1 < data.size() && data[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < data.size()) lines.push_back(cp1252ToUtf8(std::string_view(data).substr(start)));
    return lines;
}

void writeTextLines(std::string_view path, const std::vector<std::string>& lines) {
    writeAtomically(path, linesToCp1252(lines));
}

void appendTextLine(std::string_view path, std::string_view line) {
    std::string p = diskPath(path);
    if (p.empty()) raise(75);
    g_lastSystemReason.clear();
    bool existed = ::access(p.c_str(), F_OK) == 0;
    // Not blocking: opening a pipe for writing would wait for a reader.
    Fd fd(::open(p.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666));
    if (fd.get() < 0) {
        int err = errno;
        if (err == EISDIR) {
            g_lastSystemReason = "is a folder";
            raise(75);
        }
        if (err == ENXIO) {
            g_lastSystemReason = notAFile(S_IFIFO);
            raise(75);
        }
        raiseErrno(err);
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) raiseErrno(errno);
    if (!S_ISREG(st.st_mode)) {
        g_lastSystemReason = notAFile(st.st_mode);
        raise(75);
    }
    std::string data = utf8ToCp1252(line) + "\r\n";
    int err = writeAll(fd.get(), data.data(), data.size());
    if (err == 0) err = fd.close();
    if (err != 0) {
        // Take back the part that did get written.
        if (existed) {
            if (::truncate(p.c_str(), st.st_size) != 0) { /* the error raised below is the one that matters */ }
        } else {
            ::unlink(p.c_str());
        }
        raiseErrno(err);
    }
}

std::vector<std::uint8_t> readFileBytes(std::string_view path, std::size_t maxBytes) {
    std::string data = readAll(path, maxBytes);
    return std::vector<std::uint8_t>(data.begin(), data.end());
}

void writeFileBytes(std::string_view path, const std::vector<std::uint8_t>& bytes) {
    writeAtomically(path, std::string(bytes.begin(), bytes.end()));
}

bool matchesPattern(std::string_view name, std::string_view pattern) {
    std::u32string n = folded(name);
    std::u32string pat = folded(pattern);
    if (globMatch(n, pat)) return true;
    // "name.*" also finds "name" (and "*.*" every file), as the system's file search does.
    if (pat.size() >= 2 && pat.ends_with(U".*") && globMatch(n, pat.substr(0, pat.size() - 2))) return true;
    // "name." finds "name" when it has no extension.
    if (!pat.empty() && pat.back() == U'.' && n.find(U'.') == std::u32string::npos &&
        globMatch(n, pat.substr(0, pat.size() - 1)))
        return true;
    return false;
}

std::vector<std::string> listFiles(std::string_view folder, std::string_view patterns) {
    std::vector<std::string> pats;
    std::size_t pos = 0;
    while (pos <= patterns.size()) {
        auto semi = patterns.find(';', pos);
        if (semi == std::string_view::npos) semi = patterns.size();
        std::string pat = trimBlanks(patterns.substr(pos, semi - pos));
        if (!pat.empty()) pats.push_back(std::move(pat));
        pos = semi + 1;
    }
    if (pats.empty()) pats.emplace_back("*.*");
    return listFolder(folder, [&](const fs::directory_entry& e, const std::string& name) {
        std::error_code ec;
        if (!e.is_regular_file(ec)) return false;
        return std::any_of(pats.begin(), pats.end(), [&](const std::string& pat) { return matchesPattern(name, pat); });
    });
}

std::vector<std::string> listDirs(std::string_view folder) {
    return listFolder(folder, [](const fs::directory_entry& e, const std::string&) {
        std::error_code ec;
        return e.is_directory(ec);
    });
}

std::string lastSystemReason() { return g_lastSystemReason; }

} // namespace platform
