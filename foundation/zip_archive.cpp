#include "foundation/zip_archive.h"

#include <fmt/format.h>
#include <zip.h>
#include <zlib.h>

#include <memory>

namespace qtr {

namespace {

struct FileCloser {
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};

} // namespace

ZipArchive::~ZipArchive() { close(); }

bool ZipArchive::open(const std::filesystem::path& path)
{
    close();
    errorText_.clear();
    zip_error_t error;
    zip_error_init(&error);
#ifdef _WIN32
    // The wide-character source, so that any folder name works.
    zip_source_t* source = zip_source_win32w_create(path.c_str(), 0, -1, &error);
#else
    zip_source_t* source = zip_source_file_create(path.c_str(), 0, -1, &error);
#endif
    if (source != nullptr) {
        archive_ = zip_open_from_source(source, ZIP_RDONLY, &error);
        if (archive_ == nullptr) zip_source_free(source);
    }
    if (archive_ == nullptr) errorText_ = zip_error_strerror(&error);
    zip_error_fini(&error);
    return archive_ != nullptr;
}

void ZipArchive::close()
{
    if (archive_ != nullptr) zip_discard(archive_);
    archive_ = nullptr;
}

std::vector<ZipEntry> ZipArchive::entries() const
{
    std::vector<ZipEntry> list;
    if (archive_ == nullptr) return list;
    const zip_int64_t count = zip_get_num_entries(archive_, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (zip_stat_index(archive_, static_cast<zip_uint64_t>(i), 0, &stat) != 0) continue;
        ZipEntry entry;
        entry.index = static_cast<std::uint64_t>(i);
        if (stat.valid & ZIP_STAT_NAME) entry.name = stat.name;
        if (stat.valid & ZIP_STAT_SIZE) entry.size = stat.size;
        if (stat.valid & ZIP_STAT_CRC) {
            entry.crc = stat.crc;
            entry.hasCrc = true;
        }
        list.push_back(std::move(entry));
    }
    return list;
}

void ZipArchive::readContent(const ZipEntry& entry, std::size_t chunkSize,
                             const std::function<bool(std::string_view)>& sink) const
{
    if (archive_ == nullptr) throw ZipReadError(-1, "archive not open");
    if (chunkSize == 0) chunkSize = 1;
    std::unique_ptr<zip_file_t, FileCloser> file(zip_fopen_index(archive_, entry.index, 0));
    if (!file) {
        zip_error_t* error = zip_get_error(archive_);
        throw ZipReadError(zip_error_code_zip(error),
                           fmt::format("cannot open entry \"{}\": {}", entry.name, zip_error_strerror(error)));
    }
    std::string buffer(chunkSize, '\0');
    std::uint64_t total = 0;
    uLong crc = crc32(0L, Z_NULL, 0);
    for (;;) {
        const zip_int64_t n = zip_fread(file.get(), buffer.data(), buffer.size());
        if (n < 0) {
            zip_error_t* error = zip_file_get_error(file.get());
            throw ZipReadError(zip_error_code_zip(error),
                               fmt::format("cannot read entry \"{}\": {}", entry.name, zip_error_strerror(error)));
        }
        if (n == 0) break;
        total += static_cast<std::uint64_t>(n);
        // The declared sizes are what the callers check against their caps: an entry that
        // inflates beyond its size ends here, before the surplus reaches the receiver.
        if (total > entry.size)
            throw ZipReadError(
                -1, fmt::format("entry \"{}\" inflates beyond its declared {} bytes", entry.name, entry.size));
        crc = crc32(crc, reinterpret_cast<const Bytef*>(buffer.data()), static_cast<uInt>(n));
        if (!sink(std::string_view(buffer.data(), static_cast<std::size_t>(n))))
            throw ZipReadError(-1, fmt::format("cannot write entry \"{}\"", entry.name));
    }
    if (total != entry.size)
        throw ZipReadError(-1, fmt::format("entry \"{}\" ended after {} of {} bytes", entry.name, total, entry.size));
    if (entry.hasCrc && static_cast<std::uint32_t>(crc) != entry.crc)
        throw ZipReadError(ZIP_ER_CRC, fmt::format("entry \"{}\" has CRC {:08x}, the archive declares {:08x}",
                                                   entry.name, static_cast<std::uint32_t>(crc), entry.crc));
}

std::string ZipArchive::readAsText(const ZipEntry& entry) const
{
    std::string text;
    readContent(entry, 1 << 16, [&text](std::string_view chunk) {
        text.append(chunk);
        return true;
    });
    return text;
}

} // namespace qtr
