#pragma once
// The few file operations the standard library does not offer with the guarantees the program
// relies on: a rename that replaces its target in one step (a crash mid-save leaves the old or
// the new file, never neither), and a plain read-only handle for whole-file and sequential reads.
// One implementation per operating system; everything above it stays portable.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qtr {

// Renames from over to, replacing an existing to. With writeThrough the call returns only once
// the rename is on disk. False (from left in place) when the rename fails.
bool gf_replaceFile(const std::filesystem::path& from, const std::filesystem::path& to, bool writeThrough);
// Renames from to a name that must be free; false when to exists or the rename fails. Written
// through to disk, as it moves a damaged file aside before a fresh one is written.
bool gf_moveFileAside(const std::filesystem::path& from, const std::filesystem::path& to);

// One entry of a folder listing: its path (the folder's path, a separator and the name) and kind.
struct FolderEntry {
    std::filesystem::path path;
    std::filesystem::path name;
    bool isFolder = false;
    // A link to elsewhere (a junction, a symbolic link, a mount point): only through one of these
    // can a walk meet a folder twice.
    bool isLink = false;
};
// The entries of one folder in the order the file system gives them, without "." and "..". The
// listing gives each entry's kind, so no entry costs a query of its own; folders that are links
// (junctions) count as folders. An empty folder gives none; a failure (a missing folder among
// them) throws std::runtime_error naming the folder and the system's error number.
std::vector<FolderEntry> gf_listFolder(const std::filesystem::path& folder);

// Where a folder really is, whatever path leads to it: its full path with every link on the way
// resolved, as the system spells it. Walks that follow links ask it of the links only (a folder
// that is no link is where its parent is, under its own name), so a walk costs no open per
// folder; and it needs no file number, which some network and ReFS drives give as 0 for every
// folder. Nothing when the folder cannot be opened.
std::optional<std::filesystem::path> gf_folderLocation(const std::filesystem::path& folder);

// A file opened for reading, shared with other readers only, closed when the object goes.
class ReadOnlyFile {
public:
    // sequential hints that the file is read once from start to end.
    ReadOnlyFile(const std::filesystem::path& path, bool sequential);
    ~ReadOnlyFile();
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    bool isOpen() const;
    // The system's error number of a failed open (0 when open), for the log.
    unsigned long openError() const { return openError_; }
    // Reads up to size bytes from the current position; the count read (short at the end or on
    // a failure, 0 when nothing could be read).
    std::uint64_t read(char* into, std::uint64_t size);
    // Reads up to size bytes from offset, whatever the current position (where read goes on
    // afterwards is not defined); the count read (short at the end or on a failure).
    std::uint64_t readAt(std::uint64_t offset, char* into, std::uint64_t size);
    // The file's size in bytes; nothing when it cannot be found.
    std::optional<std::uint64_t> sizeBytes() const;

private:
    // The system's handle: a HANDLE on Windows, a file descriptor elsewhere.
    std::intptr_t handle_;
    unsigned long openError_ = 0;
};

} // namespace qtr
