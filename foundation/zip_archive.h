#pragma once
// A thin owner of a libzip archive opened read-only: list the entries, tell folder entries from
// files, and read an entry whole or in chunks. Every read is checked to the last byte and
// against the CRC-32 that the archive declares for the entry (libzip skips that check for an
// entry declared empty), so a damaged entry is an error, never a short success.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

struct zip;

namespace qtr {

// A failed read of an entry; code is libzip's error code (ZIP_ER_*), or -1 when the entry ended
// early or the receiver refused a chunk.
class ZipReadError : public std::runtime_error {
public:
    ZipReadError(int code, const std::string& message) : std::runtime_error(message), code_(code) {}
    int code() const noexcept { return code_; }

private:
    int code_;
};

struct ZipEntry {
    std::uint64_t index = 0;
    std::string name; // UTF-8, with '/' between folders
    std::uint64_t size = 0;
    std::uint32_t crc = 0; // CRC-32 the archive declares
    bool hasCrc = false;
    // A non-empty name that ends with '/'.
    bool isFolder() const { return !name.empty() && name.back() == '/'; }
};

class ZipArchive {
public:
    ZipArchive() = default;
    ~ZipArchive();
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    // Opens the file read-only, without the (slow) consistency check. False when the file is
    // missing or no zip archive; errorText() then says why.
    bool open(const std::filesystem::path& path);
    bool isOpen() const { return archive_ != nullptr; }
    void close();
    const std::string& errorText() const { return errorText_; }

    // The entries in archive order.
    std::vector<ZipEntry> entries() const;

    // Hands the entry's content to sink in pieces of at most chunkSize bytes; the sink returns
    // false to give up (a failed write). Throws ZipReadError when the entry cannot be read whole
    // or yields more than its declared size (no byte beyond it reaches the sink).
    void readContent(const ZipEntry& entry, std::size_t chunkSize,
                     const std::function<bool(std::string_view)>& sink) const;
    // The entry's whole content. Throws ZipReadError as readContent.
    std::string readAsText(const ZipEntry& entry) const;

private:
    zip* archive_ = nullptr;
    std::string errorText_;
};

} // namespace qtr
