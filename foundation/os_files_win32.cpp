#include "foundation/os_files.h"

#include "foundation/win_text.h"

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>

#include <windows.h>

namespace qtr {

namespace {
constexpr std::intptr_t closedHandle = -1; // INVALID_HANDLE_VALUE

HANDLE asHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }
} // namespace

bool gf_replaceFile(const std::filesystem::path& from, const std::filesystem::path& to, bool writeThrough)
{
    const DWORD flags = MOVEFILE_REPLACE_EXISTING | (writeThrough ? MOVEFILE_WRITE_THROUGH : 0);
    return MoveFileExW(from.c_str(), to.c_str(), flags) != 0;
}

bool gf_moveFileAside(const std::filesystem::path& from, const std::filesystem::path& to)
{
    return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH) != 0;
}

ReadOnlyFile::ReadOnlyFile(const std::filesystem::path& path, bool sequential)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              sequential ? FILE_FLAG_SEQUENTIAL_SCAN : FILE_ATTRIBUTE_NORMAL, nullptr);
    handle_ = reinterpret_cast<std::intptr_t>(file);
    if (file == INVALID_HANDLE_VALUE) {
        openError_ = GetLastError();
        handle_ = closedHandle;
    }
}

ReadOnlyFile::~ReadOnlyFile()
{
    if (isOpen()) CloseHandle(asHandle(handle_));
}

bool ReadOnlyFile::isOpen() const { return handle_ != closedHandle; }

std::uint64_t ReadOnlyFile::read(char* into, std::uint64_t size)
{
    if (!isOpen()) return 0;
    std::uint64_t total = 0;
    while (total < size) {
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::uint64_t>(size - total, 1u << 20));
        if (!ReadFile(asHandle(handle_), into + total, want, &got, nullptr) || got == 0) break;
        total += got;
    }
    return total;
}

std::uint64_t ReadOnlyFile::readAt(std::uint64_t offset, char* into, std::uint64_t size)
{
    if (!isOpen()) return 0;
    std::uint64_t total = 0;
    while (total < size) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset + total);
        at.OffsetHigh = static_cast<DWORD>((offset + total) >> 32);
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::uint64_t>(size - total, 1u << 20));
        if (!ReadFile(asHandle(handle_), into + total, want, &got, &at) || got == 0) break;
        total += got;
    }
    return total;
}

std::optional<std::uint64_t> ReadOnlyFile::sizeBytes() const
{
    LARGE_INTEGER size{};
    if (!isOpen() || !GetFileSizeEx(asHandle(handle_), &size)) return std::nullopt;
    return static_cast<std::uint64_t>(size.QuadPart);
}

namespace {
// Closes a directory search on every way out.
struct FindCloser {
    void operator()(HANDLE handle) const { FindClose(handle); }
};
// Closes an opened file or folder on every way out.
struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using OwnedHandle = std::unique_ptr<void, HandleCloser>;
} // namespace

std::vector<FolderEntry> gf_listFolder(const std::filesystem::path& folder)
{
    std::vector<FolderEntry> entries;
    std::wstring root = folder.wstring();
    while (!root.empty() && (root.back() == L'\\' || root.back() == L'/')) root.pop_back();
    WIN32_FIND_DATAW entry;
    const std::wstring pattern = root + L"\\*";
    HANDLE found = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch, nullptr,
                                    FIND_FIRST_EX_LARGE_FETCH);
    if (found == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) return entries; // an empty folder
        throw std::runtime_error("cannot list " + pathToUtf8(folder) + " (error " + std::to_string(error) + ")");
    }
    const std::unique_ptr<void, FindCloser> closer(found);
    do {
        const std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..") continue;
        entries.push_back(FolderEntry{root + L"\\" + name, name,
                                      (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                                      (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0});
    } while (FindNextFileW(found, &entry));
    return entries;
}

std::optional<std::filesystem::path> gf_folderLocation(const std::filesystem::path& folder)
{
    // Backup semantics opens a folder; no access right is needed to ask for its name.
    HANDLE opened = CreateFileW(folder.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (opened == INVALID_HANDLE_VALUE) return std::nullopt;
    const OwnedHandle handle(opened);
    std::wstring name(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        const DWORD length = GetFinalPathNameByHandleW(handle.get(), name.data(), static_cast<DWORD>(name.size()), 0);
        if (length == 0) return std::nullopt;
        if (length < name.size()) {
            name.resize(length);
            return std::filesystem::path(name);
        }
        name.assign(length, L'\0'); // the length needed, its terminator included
    }
    return std::nullopt;
}

} // namespace qtr
