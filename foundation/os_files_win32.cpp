#include "foundation/os_files.h"

#include <algorithm>

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

std::optional<std::uint64_t> ReadOnlyFile::sizeBytes() const
{
    LARGE_INTEGER size{};
    if (!isOpen() || !GetFileSizeEx(asHandle(handle_), &size)) return std::nullopt;
    return static_cast<std::uint64_t>(size.QuadPart);
}

} // namespace qtr
