#pragma once
// Unpacking a zip of text data into one file: shared by the downloads and by the data the program
// ships with, so that a shipped archive reads exactly like a fetched one.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace qtr {

class ZipArchive;
struct ZipEntry;

// Size of the pieces in which entries are copied into files.
inline constexpr std::size_t unzipChunkBytes = 524288;

// Throws ZipReadError when the declared sizes of the entries exceed capBytes together. A few
// kilobytes of zip can declare gigabytes: checked before anything is written. An entry cannot
// yield more than its declared size (see ZipArchive), so what passes here unpacks to no more.
void gf_checkDeclaredSizes(const std::vector<ZipEntry>& entries, std::uint64_t capBytes);

// Copies one entry into the open output file in pieces; throws ZipReadError (also for a failed
// write, and when the program is asked to stop, seen between pieces so that a large entry does
// not hold the program's end). The caller removes the file when it throws.
void gf_copyZipEntry(const ZipArchive& archive, const ZipEntry& entry, std::FILE* out);

// Writes the content of all file entries of the archive at zip, in archive order, to target
// (which starts from empty; an archive without file entries leaves no target). False, with a
// marked log line naming label and the target removed, when the archive or an entry cannot be
// read, when the entries exceed capBytes together (declared or unpacked), when the program is
// asked to stop, or when the target cannot be written. The archive itself is left as it is.
bool gf_unzipToFile(const std::filesystem::path& zip, const std::string& label, const std::filesystem::path& target,
                    std::uint64_t capBytes);

} // namespace qtr
