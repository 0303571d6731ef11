#include "foundation/os_files.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qtr {

namespace {
constexpr std::intptr_t closedHandle = -1;

// A rename reaches the disk with its folder's entry, so the folder is synced.
void syncFolderOf(const std::filesystem::path& path)
{
    std::filesystem::path folder = path.parent_path();
    if (folder.empty()) folder = ".";
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}
} // namespace

bool gf_replaceFile(const std::filesystem::path& from, const std::filesystem::path& to, bool writeThrough)
{
    if (::rename(from.c_str(), to.c_str()) != 0) return false;
    if (writeThrough) syncFolderOf(to);
    return true;
}

bool gf_moveFileAside(const std::filesystem::path& from, const std::filesystem::path& to)
{
    // A hard link fails when the name is taken, so an existing file is never replaced.
    if (::link(from.c_str(), to.c_str()) != 0) return false;
    if (::unlink(from.c_str()) != 0) {
        ::unlink(to.c_str());
        return false;
    }
    syncFolderOf(to);
    return true;
}

ReadOnlyFile::ReadOnlyFile(const std::filesystem::path& path, bool sequential)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    handle_ = fd;
    if (fd < 0) {
        openError_ = static_cast<unsigned long>(errno);
        handle_ = closedHandle;
        return;
    }
    if (sequential) ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
}

ReadOnlyFile::~ReadOnlyFile()
{
    if (isOpen()) ::close(static_cast<int>(handle_));
}

bool ReadOnlyFile::isOpen() const { return handle_ != closedHandle; }

std::uint64_t ReadOnlyFile::read(char* into, std::uint64_t size)
{
    if (!isOpen()) return 0;
    std::uint64_t total = 0;
    while (total < size) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(size - total, 1u << 20));
        const ssize_t got = ::read(static_cast<int>(handle_), into + total, want);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        total += static_cast<std::uint64_t>(got);
    }
    return total;
}

std::uint64_t ReadOnlyFile::readAt(std::uint64_t offset, char* into, std::uint64_t size)
{
    if (!isOpen()) return 0;
    std::uint64_t total = 0;
    while (total < size) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(size - total, 1u << 20));
        const ssize_t got = ::pread(static_cast<int>(handle_), into + total, want, static_cast<off_t>(offset + total));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        total += static_cast<std::uint64_t>(got);
    }
    return total;
}

std::optional<std::uint64_t> ReadOnlyFile::sizeBytes() const
{
    struct stat info {};
    if (!isOpen() || ::fstat(static_cast<int>(handle_), &info) != 0) return std::nullopt;
    return static_cast<std::uint64_t>(info.st_size);
}

std::vector<FolderEntry> gf_listFolder(const std::filesystem::path& folder)
{
    std::vector<FolderEntry> entries;
    std::error_code ec;
    std::filesystem::directory_iterator it(folder, ec);
    if (ec) throw std::runtime_error("cannot list " + folder.string() + " (error " + std::to_string(ec.value()) + ")");
    for (const std::filesystem::directory_entry& e : it) {
        std::error_code kindError;
        const bool isLink = e.is_symlink(kindError);
        entries.push_back(FolderEntry{e.path(), e.path().filename(), e.is_directory(kindError), isLink});
    }
    return entries;
}

std::optional<std::filesystem::path> gf_folderLocation(const std::filesystem::path& folder)
{
    std::error_code ec;
    std::filesystem::path location = std::filesystem::canonical(folder, ec);
    if (ec) return std::nullopt;
    return location;
}

} // namespace qtr
