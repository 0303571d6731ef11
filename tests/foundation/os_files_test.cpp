#include "foundation/os_files.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <string>

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
    }
    ReadOnlyFile missing(folder / "missing.bgl", false);
    EXPECT_FALSE(missing.isOpen());
    EXPECT_NE(missing.openError(), 0u);
    EXPECT_FALSE(missing.sizeBytes().has_value());
    char byte = 0;
    EXPECT_EQ(missing.read(&byte, 1), 0u);
}
