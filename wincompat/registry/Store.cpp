// Hive files on disk: the registry folder (WINCOMPAT_REGISTRY_DIR, else the user's data folder), a
// cached copy read again when the file changes, and changes saved under a file lock through a
// synced temporary file.
#include "registry/Store.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

namespace wincompat {
namespace registry {
namespace {

// Tells whether the file on disk is still the one the cache was read from.
struct FileIdentity {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};

    static FileIdentity Of(const struct stat& st) {
        FileIdentity id;
        id.exists = true;
        id.device = st.st_dev;
        id.inode = st.st_ino;
        id.size = st.st_size;
        id.modified = st.st_mtim;
        id.changed = st.st_ctim;
        return id;
    }
    bool operator==(const FileIdentity& o) const {
        return exists == o.exists && device == o.device && inode == o.inode && size == o.size &&
               modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec &&
               changed.tv_sec == o.changed.tv_sec && changed.tv_nsec == o.changed.tv_nsec;
    }
};

class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    int release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

void Report(const std::string& message) {
    std::string text = "wincompat registry: " + message + "\n";
    OutputDebugStringA(text.c_str());
}

bool MakeDirectories(const std::string& path) {
    std::string partial;
    size_t pos = 0;
    while (pos != std::string::npos) {
        pos = path.find('/', pos + 1);
        partial = path.substr(0, pos);
        if (partial.empty()) continue;
        if (mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    return true;
}

bool ReadAll(int fd, std::string& out) {
    out.clear();
    char buffer[65536];
    while (true) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return true;
        out.append(buffer, static_cast<size_t>(n));
    }
}

bool WriteAll(int fd, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

// Holds flock on the hive's lock file for its lifetime.
class HiveFileLock {
public:
    explicit HiveFileLock(const std::string& lockPath)
        : fd_(open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
        if (fd_.get() < 0) return;
        while (flock(fd_.get(), LOCK_EX) != 0) {
            if (errno != EINTR) return;
        }
        locked_ = true;
    }
    ~HiveFileLock() {
        if (locked_) flock(fd_.get(), LOCK_UN);
    }
    bool locked() const { return locked_; }

private:
    FileDescriptor fd_;
    bool locked_ = false;
};

class HiveFile {
public:
    HiveFile(std::string directory, HiveId hive) : directory_(std::move(directory)), rootName_(HiveRootName(hive)) {
        path_ = directory_ + "/" + rootName_ + ".reg";
        lockPath_ = directory_ + "/" + rootName_ + ".lock";
    }

    LONG Read(const std::function<LONG(const Key&)>& read) {
        std::lock_guard<std::mutex> guard(mutex_);
        LONG status = Refresh();
        if (status != ERROR_SUCCESS) return status;
        return read(root_);
    }

    LONG Modify(const std::function<LONG(Key&, bool&)>& change) {
        std::lock_guard<std::mutex> guard(mutex_);
        if (!MakeDirectories(directory_)) {
            Report("cannot create the registry folder " + directory_ + ": " + strerror(errno));
            return ERROR_CANTWRITE;
        }
        HiveFileLock lock(lockPath_);
        if (!lock.locked()) {
            Report("cannot lock " + lockPath_ + ": " + strerror(errno));
            return ERROR_CANTWRITE;
        }
        // Another process may have saved since we last looked: work on its result.
        LONG status = Refresh();
        if (status != ERROR_SUCCESS) return status;
        std::unique_ptr<Key> before = root_.Clone();
        bool changed = false;
        status = change(root_, changed);
        if (status != ERROR_SUCCESS) {
            root_ = std::move(*before);
            return status;
        }
        if (!changed) return ERROR_SUCCESS;
        status = Save();
        if (status != ERROR_SUCCESS) {
            root_ = std::move(*before);
        }
        return status;
    }

private:
    LONG Refresh() {
        FileDescriptor fd(open(path_.c_str(), O_RDONLY | O_CLOEXEC));
        if (fd.get() < 0) {
            if (errno != ENOENT) {
                Report("cannot open " + path_ + ": " + strerror(errno));
                return ERROR_CANTREAD;
            }
            if (identity_.exists || !loaded_) {
                root_ = Key();
                identity_ = FileIdentity();
                loaded_ = true;
            }
            return ERROR_SUCCESS;
        }
        struct stat st {};
        if (fstat(fd.get(), &st) != 0) return ERROR_CANTREAD;
        FileIdentity identity = FileIdentity::Of(st);
        if (loaded_ && identity == identity_) return ERROR_SUCCESS;
        std::string text;
        if (!ReadAll(fd.get(), text)) {
            Report("cannot read " + path_ + ": " + strerror(errno));
            return ERROR_CANTREAD;
        }
        Key parsed;
        ParseError error;
        if (!Parse(text, rootName_, parsed, error)) {
            // Never treat a damaged hive as empty: that would lose every registration at the next save.
            Report(path_ + " is damaged and is not used (line " + std::to_string(error.line) + ": " + error.message +
                   "); repair or remove it");
            loaded_ = false;
            return ERROR_BADDB;
        }
        root_ = std::move(parsed);
        identity_ = identity;
        loaded_ = true;
        return ERROR_SUCCESS;
    }

    LONG Save() {
        std::string text = Serialize(root_, rootName_);
        std::string temp = path_ + ".XXXXXX";
        std::vector<char> tempName(temp.begin(), temp.end());
        tempName.push_back('\0');
        FileDescriptor fd(mkostemp(tempName.data(), O_CLOEXEC));
        if (fd.get() < 0) {
            Report("cannot create a temporary file beside " + path_ + ": " + strerror(errno));
            return ERROR_CANTWRITE;
        }
        fchmod(fd.get(), 0600);
        struct stat st {};
        if (!WriteAll(fd.get(), text) || fsync(fd.get()) != 0 || fstat(fd.get(), &st) != 0 ||
            rename(tempName.data(), path_.c_str()) != 0) {
            Report("cannot save " + path_ + ": " + strerror(errno));
            unlink(tempName.data());
            loaded_ = false;
            return ERROR_CANTWRITE;
        }
        // The data reached the disk before the rename: after a crash the hive is
        // either the old file or the new one, never a torn mix.
        identity_ = FileIdentity::Of(st);
        return ERROR_SUCCESS;
    }

    std::string directory_;
    std::string rootName_;
    std::string path_;
    std::string lockPath_;
    std::mutex mutex_;
    Key root_;
    FileIdentity identity_;
    bool loaded_ = false;
};

HiveFile& FileFor(HiveId hive) {
    static std::mutex* tableLock = new std::mutex;
    static auto* table = new std::map<std::string, std::unique_ptr<HiveFile>>;
    std::string directory = RegistryDirectory();
    std::string key = directory + "|" + HiveRootName(hive);
    std::lock_guard<std::mutex> guard(*tableLock);
    std::unique_ptr<HiveFile>& slot = (*table)[key];
    if (!slot) slot = std::make_unique<HiveFile>(directory, hive);
    return *slot;
}

}  // namespace

std::string RegistryDirectory() {
    if (const char* dir = getenv("WINCOMPAT_REGISTRY_DIR"); dir && *dir) return dir;
    if (const char* data = getenv("XDG_DATA_HOME"); data && *data) return std::string(data) + "/wincompat/registry";
    const char* home = getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/.local/share/wincompat/registry";
}

const char* HiveRootName(HiveId hive) {
    switch (hive) {
        case HiveId::LocalMachine: return "HKEY_LOCAL_MACHINE";
        case HiveId::CurrentUser: return "HKEY_CURRENT_USER";
        case HiveId::Users: return "HKEY_USERS";
    }
    return "HKEY_LOCAL_MACHINE";
}

LONG ReadHive(HiveId hive, const std::function<LONG(const Key&)>& read) { return FileFor(hive).Read(read); }

LONG ModifyHive(HiveId hive, const std::function<LONG(Key&, bool&)>& change) { return FileFor(hive).Modify(change); }

}  // namespace registry
}  // namespace wincompat
