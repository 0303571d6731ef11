#include "foundation/entered_folders.h"
#include "foundation/os_files.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace qtr;

namespace fs = std::filesystem;

// The renames behind every "save beside, then replace" of the program.
TEST(OsFiles, ReplaceAndMoveAside)
{
    const struct {
        const char* name;
        bool targetExists;
        bool aside; // gf_moveFileAside instead of gf_replaceFile
        bool moved;
    } cases[] = {
        {"replace-existing", true, false, true},
        {"replace-missing", false, false, true},
        {"aside-free-name", false, true, true},
        {"aside-taken-name", true, true, false}, // a file already there is never overwritten
    };
    for (const auto& c : cases) {
        const fs::path folder = qtest::freshFolder(c.name);
        const fs::path from = folder / "settings.xml.tmp";
        const fs::path to = folder / "settings.xml";
        qtest::writeFile(from, "new");
        if (c.targetExists) qtest::writeFile(to, "old");
        const bool moved = c.aside ? gf_moveFileAside(from, to) : gf_replaceFile(from, to, true);
        EXPECT_EQ(moved, c.moved) << c.name;
        EXPECT_EQ(qtest::readFile(to), c.moved ? "new" : "old") << c.name;
        EXPECT_EQ(fs::exists(from), !c.moved) << c.name;
    }
    // A missing source moves nothing and leaves the target alone.
    const fs::path folder = qtest::freshFolder("replace-no-source");
    qtest::writeFile(folder / "kept.xml", "old");
    EXPECT_FALSE(gf_replaceFile(folder / "gone.tmp", folder / "kept.xml", false));
    EXPECT_EQ(qtest::readFile(folder / "kept.xml"), "old");
}

TEST(OsFiles, ReadOnlyFileReadsWholeFilesAndReportsAFailedOpen)
{
    const fs::path folder = qtest::freshFolder("read-only");
    // Larger than one read chunk (1 MiB), so that the read loop joins chunks.
    std::string bytes(3u << 19, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
    qtest::writeFile(folder / "scenery.bgl", bytes);
    for (const bool sequential : {false, true}) {
        ReadOnlyFile file(folder / "scenery.bgl", sequential);
        ASSERT_TRUE(file.isOpen());
        EXPECT_EQ(file.openError(), 0u);
        ASSERT_EQ(file.sizeBytes(), bytes.size());
        std::string read(bytes.size() + 10, 'x');
        EXPECT_EQ(file.read(read.data(), read.size()), bytes.size()); // short at the end
        read.resize(bytes.size());
        EXPECT_EQ(read, bytes);
        EXPECT_EQ(file.read(read.data(), 1), 0u);
        // Reads at an offset, wherever the last read left off: across a chunk's end, at the end.
        for (const std::uint64_t offset :
             {std::uint64_t{(1u << 20) - 3}, std::uint64_t{5}, bytes.size() - 4, bytes.size() + 1}) {
            std::string piece(8, 'x');
            const std::uint64_t got = file.readAt(offset, piece.data(), piece.size());
            EXPECT_EQ(got, std::min<std::uint64_t>(8, bytes.size() - std::min<std::uint64_t>(offset, bytes.size())))
                << offset;
            EXPECT_EQ(piece.substr(0, got), bytes.substr(std::min<std::uint64_t>(offset, bytes.size()), got)) << offset;
        }
    }
    ReadOnlyFile missing(folder / "missing.bgl", false);
    EXPECT_FALSE(missing.isOpen());
    EXPECT_NE(missing.openError(), 0u);
    EXPECT_FALSE(missing.sizeBytes().has_value());
    char byte = 0;
    EXPECT_EQ(missing.read(&byte, 1), 0u);
}

// A walk that follows links enters each real folder once: a link back up the tree, a second
// name for a folder walked before and one for a folder walked later are each met as entered,
// whatever order the listing gives. Links are made where the system lets the test make them.
TEST(OsFiles, EnteredFoldersMeetEachRealFolderOnce)
{
    const fs::path root = qtest::freshFolder("entered");
    qtest::writeFile(root / "a" / "deep" / "x.txt", "x");
    qtest::writeFile(root / "b" / "y.txt", "y");
    const bool linked = qtest::folderLink(root / "a" / "up", root) &&
                        qtest::folderLink(root / "b" / "second-a", root / "a") &&
                        qtest::folderLink(root / "a" / "deep" / "second-b", root / "b");
    EnteredFolders entered(root);
    std::vector<std::string> walked, skipped;
    // Bounded, so that a walk that does not see the loop fails instead of running on.
    const auto walk = [&](const auto& self, const fs::path& folder, const fs::path& location, int depth) -> void {
        if (depth > 5) return;
        for (const FolderEntry& entry : gf_listFolder(folder)) {
            if (!entry.isFolder) continue;
            const std::string relative = fs::relative(entry.path, root).generic_string();
            if (const auto inside = entered.enter(location, entry)) {
                walked.push_back(relative);
                self(self, entry.path, *inside, depth + 1);
            } else {
                skipped.push_back(relative);
            }
        }
    };
    walk(walk, root, entered.rootLocation(), 0);
    // Each real folder once (a, a/deep, b), under whichever name the walk met first.
    EXPECT_EQ(walked.size(), 3u);
    EXPECT_EQ(skipped.size(), linked ? 3u : 0u);
    for (const std::string& name : walked) EXPECT_LT(std::count(name.begin(), name.end(), '/'), 3) << name;
}
