// Feeds the data base document (the XML inside "dbase.zip": types, airlines, wing spans,
// publishers, scrambled registrations) to its reader, which unscrambles every code.
#include "foundation/errors.h"
#include "liveries/type_data_base.h"
#include "fuzz_support.h"

#include <stdexcept>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qfuzz::start(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto path = qfuzz::writeInput(qtr::dataBaseTempPath, data, size);
    try {
        qtr::readDataBaseFile(path);
    } catch (const qtr::UserErrorException&) {
        // Not XML (60) or a required section without value (61): user errors by design.
    } catch (const std::runtime_error&) {
        // A failure in the publishers or wing spans, reported to the worker.
    }
    qtr::clearTypeDataBase();
    return 0;
}
