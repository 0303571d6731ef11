#pragma once
// Shared by the fuzz harnesses. Readers that take a path (or look for files relative to the
// working folder, like "input/..." and "airports/...") get a folder of the process's own under
// the system's temporary folder, made the working folder once: parallel fuzz jobs never meet,
// and nothing lands in the source or build tree. The program log is never opened here, so
// every log line is dropped instead of filling a disk during millions of runs.
#include <unistd.h>

#include <cstring>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>

namespace qfuzz {

// The process's working folder ("<root>/qm-fuzz-<pid>", root /tmp by default), made and entered at the first call,
// removed when the process ends normally. Owned by this function; every harness runs on one
// thread, so the first call needs no lock.
inline const std::filesystem::path& workFolder()
{
    static const std::filesystem::path folder = [] {
        // libFuzzer ends a timed run without the exit handlers, so the runner names a root of
        // its own (QM_FUZZ_WORK_ROOT) and empties it after each target.
        const char* root = std::getenv("QM_FUZZ_WORK_ROOT");
        const std::filesystem::path base = root && *root ? std::filesystem::path(root)
                                                         : std::filesystem::temp_directory_path();
        const std::filesystem::path made = base / ("qm-fuzz-" + std::to_string(static_cast<long long>(::getpid())));
        std::filesystem::create_directories(made);
        std::filesystem::current_path(made);
        std::atexit([] {
            std::error_code ec;
            std::filesystem::current_path(std::filesystem::temp_directory_path(), ec);
            std::filesystem::remove_all(workFolder(), ec);
        });
        return made;
    }();
    return folder;
}

// Writes the bytes as the file at relative (below the work folder; folders made as needed),
// replacing any earlier content, and returns its full path.
inline std::filesystem::path writeInput(const std::filesystem::path& relative, const std::uint8_t* data,
                                        std::size_t size)
{
    const std::filesystem::path path = workFolder() / relative;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    return path;
}

// Empties a folder below the work folder, so that what one run left does not steer the next.
inline void clearFolder(const std::filesystem::path& relative)
{
    std::error_code ec;
    std::filesystem::remove_all(workFolder() / relative, ec);
}

// The start of every harness (from LLVMFuzzerInitialize, which libFuzzer calls before it reads
// its arguments): the relative paths among the arguments (corpus folders, inputs, -dict=,
// -artifact_prefix= and the like) are made absolute, then the work folder is entered, so that
// a relative corpus path still names the folder the caller meant.
inline void start(int* argc, char*** argv)
{
    for (int i = 1; argc && argv && i < *argc; ++i) {
        std::string arg = (*argv)[i];
        std::string prefix;
        if (arg.starts_with("-")) {
            const auto equals = arg.find('=');
            if (equals == std::string::npos) continue;
            prefix = arg.substr(0, equals + 1);
            arg = arg.substr(equals + 1);
            if (arg.empty() || arg.find_first_not_of("0123456789-.") == std::string::npos) continue;
        }
        if (std::filesystem::path(arg).is_absolute()) continue;
        const std::string absolute = (std::filesystem::current_path() / arg).string();
        // Kept for the process's life: libFuzzer holds on to its argument texts.
        (*argv)[i] = ::strdup((prefix + absolute + (arg.ends_with("/") ? "/" : "")).c_str());
    }
    workFolder();
}

inline std::string_view asText(const std::uint8_t* data, std::size_t size)
{
    return {reinterpret_cast<const char*>(data), size};
}

// Puts the bytes into a UDP reader's buffer as its receive loop does with a datagram: at most
// one byte short of the buffer (the loop refuses a datagram that fills it), closed by a NUL.
template <class Reader>
void receiveDatagram(Reader& reader, const std::uint8_t* data, std::size_t size, std::size_t bufferSize)
{
    const std::size_t count = size < bufferSize - 1 ? size : bufferSize - 1;
    std::memcpy(reader.buffer.data(), data, count);
    reader.buffer[count] = '\0';
    reader.data = std::string_view(reader.buffer.data(), count);
}

} // namespace qfuzz
