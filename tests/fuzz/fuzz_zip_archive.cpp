// Feeds a zip archive (the download site's installer, add-on package and data base archives)
// to the archive reader: opened from a file, listed, every entry read to its end with its
// length and CRC checked.
#include "foundation/zip_archive.h"
#include "fuzz_support.h"

#include <string_view>

namespace {

// What one entry may unpack to in a run: a few bytes can declare gigabytes (a zip bomb), and
// the fuzzer is after faults of the reader, not after the time inflating takes.
constexpr std::uint64_t entryBudgetBytes = 8u << 20;

void readEntry(const qtr::ZipArchive& archive, const qtr::ZipEntry& entry)
{
    std::uint64_t seen = 0;
    try {
        archive.readContent(entry, 1 << 16, [&seen](std::string_view chunk) {
            seen += chunk.size();
            return seen <= entryBudgetBytes;
        });
    } catch (const qtr::ZipReadError&) {
        // A damaged entry is reported to the caller; that is the expected outcome here.
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qfuzz::start(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto path = qfuzz::writeInput("archive.zip", data, size);
    qtr::ZipArchive archive;
    if (!archive.open(path)) return 0;
    for (const qtr::ZipEntry& entry : archive.entries())
        if (!entry.isFolder()) readEntry(archive, entry);
    return 0;
}
