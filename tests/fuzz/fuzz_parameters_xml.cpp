// Feeds the settings file "parameters.xml" to the program's parameter load: every parameter
// read (or added with its default), the file saved again, a broken file moved aside, and the
// version check that follows. The data folder is redirected below the work folder.
#include "foundation/parameters/parameter_table.h"
#include "foundation/paths.h"
#include "foundation/win_text.h"
#include "fuzz_support.h"

#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qfuzz::start(argc, argv);
    const auto& folder = qfuzz::workFolder();
    // Before the first use of the data folder, which is fixed for the process from then on.
    ::setenv(qtr::appDataRootVariable, (folder / "appdata").c_str(), 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The load writes the file back and keeps broken ones aside; each run starts afresh.
    qfuzz::clearFolder("appdata");
    const std::filesystem::path& path = qtr::parametersXmlPath();
    std::filesystem::create_directories(path.parent_path());
    qfuzz::writeInput(std::filesystem::relative(path, qfuzz::workFolder()), data, size);
    qtr::loadParameters();
    return 0;
}
