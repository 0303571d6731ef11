#include "foundation/unzip_file.h"

#include "foundation/log.h"
#include "foundation/output_file.h"
#include "foundation/run_control.h"
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

} // namespace

void gf_checkDeclaredSizes(const std::vector<ZipEntry>& entries, std::uint64_t capBytes)
{
    std::uint64_t declared = 0;
    for (const ZipEntry& entry : entries) {
        // Compared one by one, so that no sum of huge sizes can wrap around.
        if (entry.size > capBytes - declared)
            throw ZipReadError(-1, fmt::format("entry \"{}\" declares {} bytes, more than the {} bytes allowed in all",
                                               entry.name, entry.size, capBytes));
        declared += entry.size;
    }
}

void gf_copyZipEntry(const ZipArchive& archive, const ZipEntry& entry, std::FILE* out)
{
    archive.readContent(entry, unzipChunkBytes, [out](std::string_view chunk) {
        if (stopRequested.load() || windowClosed.load())
            throw ZipReadError(-1, "stopped, the program is asked to stop");
        return std::fwrite(chunk.data(), 1, chunk.size(), out) == chunk.size();
    });
    if (std::fflush(out) != 0) throw ZipReadError(-1, fmt::format("cannot write entry \"{}\"", entry.name));
}

bool gf_unzipToFile(const std::filesystem::path& zip, const std::string& label, const std::filesystem::path& target,
                    std::uint64_t capBytes)
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
    try {
        gf_checkDeclaredSizes(files, capBytes);
    } catch (const ZipReadError& e) {
        logMarked(fmt::format("unzipping {} failed? {}", label, e.what()));
        return false;
    }
    OutputFile out(target, OutputFile::Mode::replace);
    if (!out.isOpen()) {
        logMarked(fmt::format("unzipping {} failed? could not open {}", label, pathToUtf8(target)));
        return false;
    }
    bool result = true;
    try {
        for (const ZipEntry& entry : files) gf_copyZipEntry(archive, entry, out.get());
    } catch (const ZipReadError& e) {
        result = false;
        logMarked(fmt::format("unzipping {} failed? {}", label, e.what()));
    }
    if (!out.close() && result) {
        result = false;
        logMarked(fmt::format("unzipping {} failed? could not write {}", label, pathToUtf8(target)));
    }
    if (!result) lf_removeIfExists(target);
    return result;
}

} // namespace qtr
