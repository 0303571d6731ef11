// Entry of every test executable: a private program folder and application-data root, then
// GoogleTest.
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    const auto& root = qtest::processRoot();
#ifdef _WIN32
    _wputenv_s(L"QUILLMARSH_APPDATA_ROOT", (root / "appdata").c_str());
#else
    setenv("QUILLMARSH_APPDATA_ROOT", (root / "appdata").c_str(), 1);
#endif
    std::filesystem::current_path(root / "program");
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    std::error_code ec;
    if (result == 0 && !std::getenv("QM_KEEP_TEST_FILES")) std::filesystem::remove_all(root, ec);
    return result;
}
