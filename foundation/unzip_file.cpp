#include "foundation/unzip_file.h"

#include "foundation/log.h"
#include "foundation/win_text.h"
#include "foundation/zip_archive.h"

#include <fmt/format.h>

#include <vector>

namespace qtr {

namespace {

void lf_removeIfExists(const std::filesystem::path& path)
{
    if (std::filesystem::exists(path)) std::filesystem::remove(path);
}

// Opens for binary writing by the path's own characters (wide on Windows, so that any folder
// name works); null when it cannot be opened.
std::FILE* lf_openForWriting(const std::filesystem::path& path)
{
    std::FILE* out = nullptr;
#ifdef _WIN32
    if (_wfopen_s(&out, path.c_str(), L"wb") != 0) return nullptr;
#else
    out = std::fopen(path.c_str(), "wb");
#endif
    return out;
}

} // namespace

void gf_copyZipEntry(const ZipArchive& archive, const ZipEntry& entry, std::FILE* out)
{
    archive.readContent(entry, unzipChunkBytes, [out](std::string_view chunk) {
        return std::fwrite(chunk.data(), 1, chunk.size(), out) == chunk.size();
    });
    if (std::fflush(out) != 0) throw ZipReadError(-1, fmt::format("cannot write entry \"{}\"", entry.name));
}

bool gf_unzipToFile(const std::filesystem::path& zip, const std::string& label, const std::filesystem::path& target)
{
    ZipArchive archive;
    if (!archive.open(zip)) {
        lf_removeIfExists(target);
        logMarked(fmt::format("unzipping {} failed?", label));
        logIndented(archive.errorText());
        return false;
    }
    // Every file entry, one after the other, into a target that starts from empty (a leftover of
    // an interrupted run is not extended). No file entry: no target.
    lf_removeIfExists(target);
    std::vector<ZipEntry> files = archive.entries();
    std::erase_if(files, [](const ZipEntry& entry) { return entry.isFolder(); });
    if (files.empty()) return true;
    std::FILE* out = lf_openForWriting(target);
    if (out == nullptr) {
        logMarked(fmt::format("unzipping {} failed? could not open {}", label, pathToUtf8(target)));
        return false;
    }
    bool result = true;
    try {
        for (const ZipEntry& entry : files) gf_copyZipEntry(archive, entry, out);
    } catch (const ZipReadError& e) {
        result = false;
        logMarked(fmt::format("unzipping {} failed? {}", label, e.what()));
    }
    if (std::fclose(out) != 0 && result) {
        result = false;
        logMarked(fmt::format("unzipping {} failed? could not write {}", label, pathToUtf8(target)));
    }
    if (!result) lf_removeIfExists(target);
    return result;
}

} // namespace qtr
