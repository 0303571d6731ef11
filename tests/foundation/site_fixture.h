#pragma once
// Shared by the download and update tests: zips built with libzip, and a fixture that runs a
// download site on 127.0.0.1 and a fresh program folder with its own log.
#include "foundation/indicators.h"
#include "foundation/download.h"
#include "foundation/log.h"
#include "foundation/parameters/parameter_table.h"
#include "support/test_support.h"

#include "http_server.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qtest {

struct ZipItem {
    std::string name; // ending with '/': a folder entry
    std::string content;
    bool stored = false;
};

// The bytes of a zip archive with the items in this order.
inline std::string makeZip(const std::vector<ZipItem>& items)
{
    const auto path = freshFolder("zip") / "archive.zip";
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_win32w_create(path.c_str(), 0, -1, &error);
    zip_t* archive = source ? zip_open_from_source(source, ZIP_CREATE | ZIP_TRUNCATE, &error) : nullptr;
    EXPECT_NE(archive, nullptr) << zip_error_strerror(&error);
    zip_error_fini(&error);
    if (archive == nullptr) return {};
    for (const ZipItem& item : items) {
        if (!item.name.empty() && item.name.back() == '/') {
            EXPECT_GE(zip_dir_add(archive, item.name.c_str(), ZIP_FL_ENC_UTF_8), 0);
            continue;
        }
        zip_source_t* data = zip_source_buffer(archive, item.content.data(), item.content.size(), 0);
        const zip_int64_t index = zip_file_add(archive, item.name.c_str(), data, ZIP_FL_ENC_UTF_8);
        EXPECT_GE(index, 0);
        if (item.stored) zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0);
    }
    EXPECT_EQ(zip_close(archive), 0);
    return readFile(path);
}

// Damages the data of the archive's first entry in its middle (its CRC no longer fits, or it
// no longer inflates), leaving the directory intact so that the archive still opens.
inline std::string damageFirstEntry(std::string zipBytes)
{
    auto u16 = [&](std::size_t at) {
        return static_cast<std::size_t>(static_cast<unsigned char>(zipBytes[at]) |
                                        static_cast<unsigned char>(zipBytes[at + 1]) << 8);
    };
    auto u32 = [&](std::size_t at) { return u16(at) | u16(at + 2) << 16; };
    const std::size_t dataStart = 30 + u16(26) + u16(28);
    const std::size_t dataSize = u32(18);
    for (std::size_t i = dataSize / 2; i < dataSize / 2 + 8 && i < dataSize; ++i) zipBytes[dataStart + i] ^= 0x5A;
    return zipBytes;
}

// The archive's first entry declared empty (sizes 0 in its local and central headers) while its
// data and CRC stay: a reader that trusts the sizes reads nothing and calls it whole.
inline std::string declareFirstEntryEmpty(std::string zipBytes)
{
    auto zero32 = [&](std::size_t at) {
        for (std::size_t i = 0; i < 4; ++i) zipBytes[at + i] = '\0';
    };
    zero32(18);
    zero32(22);
    const std::size_t central = zipBytes.find(std::string("PK\x01\x02", 4));
    if (central != std::string::npos) {
        zero32(central + 20);
        zero32(central + 24);
    }
    return zipBytes;
}

// The archive's first entry declared to unpack to unpackedSize bytes (in its local and central
// headers) while its data stays: a bomb that hides how far it inflates.
inline std::string declareFirstEntryUnpackedSize(std::string zipBytes, std::uint32_t unpackedSize)
{
    auto put32 = [&](std::size_t at) {
        for (std::size_t i = 0; i < 4; ++i) zipBytes[at + i] = static_cast<char>(unpackedSize >> (8 * i));
    };
    put32(22);
    const std::size_t central = zipBytes.find(std::string("PK\x01\x02", 4));
    if (central != std::string::npos) put32(central + 24);
    return zipBytes;
}

// Bytes that do not compress, so that an entry really is as large as its content.
inline std::string noiseBytes(std::size_t size, std::uint32_t seed)
{
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        seed = seed * 1664525u + 1013904223u;
        c = static_cast<char>(seed >> 24);
    }
    return bytes;
}

// A file's text without the carriage returns of a text-mode file.
inline std::string readText(const std::filesystem::path& path)
{
    std::string text = readFile(path);
    std::string out;
    for (char c : text)
        if (c != '\r') out += c;
    return out;
}

// A download site on 127.0.0.1 with an ephemeral port, a fresh program folder as working folder
// with its own log, an empty status line and a total time limit of 10 s per transfer. Every
// request must carry the user agent "QMSH".
class SiteTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Short enough that a test whose guard is broken cannot write for minutes.
        qtr::DownloadTimeouts limits;
        limits.totalTime = std::chrono::seconds(10);
        qtr::setDownloadTimeouts(limits);
        qtr::forgetUnansweredSites();
        ASSERT_TRUE(server.start());
        qtr::DOWNLOAD_SITE.setValue(server.baseUrl());
        folder = freshFolder("site");
        cwd.emplace(folder);
        qtr::gf_startLog();
        qtr::clearError();
        qtr::clearStatus();
    }

    void TearDown() override
    {
        qtr::closeLog();
        cwd.reset();
        server.stop();
        qtr::setDownloadTimeouts(qtr::DownloadTimeouts{});
        qtr::setDownloadCaps(qtr::DownloadCaps{});
        qtr::forgetUnansweredSites();
        qtr::DOWNLOAD_SITE.setValue(qtr::DOWNLOAD_SITE.defaultValue());
        for (const auto& request : server.requests()) EXPECT_EQ(request.userAgent, "QMSH") << request.path;
    }

    std::string log() const { return readText(folder / "Log.txt"); }

    bool requested(const std::string& path) const
    {
        for (const auto& request : server.requests())
            if (request.path == path) return true;
        return false;
    }

    qmhttp::Server server;
    std::filesystem::path folder;
    std::optional<ScopedCwd> cwd;
};

} // namespace qtest
