// The owner of a written C file: the mode it opens with, and a final write that fails at the
// close (a full disk) still reported by close(), as the unpacking of downloads relies on.
#include "foundation/output_file.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace qtr;

TEST(OutputFile, ReplacesOrAppendsAndClosesOnce)
{
    struct Case {
        OutputFile::Mode mode;
        const char* expected;
    };
    const std::filesystem::path folder = qtest::freshFolder("output_file");
    for (const Case& c : {Case{OutputFile::Mode::replace, "new"}, Case{OutputFile::Mode::append, "oldnew"}}) {
        const std::filesystem::path path = folder / "file.txt";
        std::ofstream(path, std::ios::binary) << "old";
        OutputFile out(path, c.mode);
        ASSERT_TRUE(out.isOpen());
        ASSERT_EQ(std::fwrite("new", 1, 3, out.get()), 3u);
        EXPECT_TRUE(out.close());
        EXPECT_FALSE(out.isOpen());
        EXPECT_TRUE(out.close()); // nothing left to close
        EXPECT_EQ(qtest::readFile(path), c.expected);
    }
    EXPECT_FALSE(OutputFile(folder / "missing" / "file.txt", OutputFile::Mode::replace).isOpen());
}

// The bytes stay in the C library's buffer until the close writes them: on a full device that
// write fails, and only close() can tell.
TEST(OutputFile, CloseReportsAFinalWriteThatFailed)
{
#ifdef _WIN32
    GTEST_SKIP() << "Wine writes to the full device without a failure";
#endif
    const std::filesystem::path full{"/dev/full"};
    OutputFile out(full, OutputFile::Mode::replace);
    if (!out.isOpen()) GTEST_SKIP() << "no full device here";
    ASSERT_EQ(std::fwrite("lost", 1, 4, out.get()), 4u);
    EXPECT_FALSE(out.close());
}
