#include "foundation/update.h"

#include "foundation/indicators.h"
#include "foundation/download.h"
#include "foundation/errors.h"
#include "foundation/log.h"
#include "foundation/output_file.h"
#include "foundation/parameters/parameter_table.h"
#include "foundation/unzip_file.h"
#include "foundation/utilities.h"
#include "foundation/win_text.h"
#include "foundation/zip_archive.h"

#include <fmt/format.h>

#include <cstdio>
#include <system_error>

namespace qtr {

namespace {

const std::string addonPackageName = "myvendrake24";
const std::filesystem::path addonArchive{"my_vendrake2024.zip"};

void lf_removeIfExists(const std::filesystem::path& path)
{
    if (std::filesystem::exists(path)) std::filesystem::remove(path);
}

std::filesystem::path lf_withSuffix(const std::filesystem::path& path, const wchar_t* suffix)
{
    return std::filesystem::path(path.native() + suffix);
}

// Unpacks every file entry of the archive into folder; false (logged) when one cannot be read
// or written.
bool lf_unpackAddon(const ZipArchive& archive, const std::filesystem::path& archivePath,
                    const std::filesystem::path& folder, int& fileCount)
{
    try {
        const std::vector<ZipEntry> entries = archive.entries();
        gf_checkDeclaredSizes(entries, downloadCaps().addonPackageBytes);
        for (const ZipEntry& entry : entries) extractAddonEntry(fileCount, archive, entry, folder);
        return true;
    } catch (const std::exception& e) {
        logMarked(fmt::format("unzipping {} failed? {}", pathToUtf8(archivePath), e.what()));
        return false;
    }
}

// Every entry of the installer archive in turn, unless together they declare more than the
// installer's cap.
void lf_extractInstallerEntries(bool& written, const std::filesystem::path& archivePath, const ZipArchive& archive)
{
    const std::vector<ZipEntry> entries = archive.entries();
    try {
        gf_checkDeclaredSizes(entries, downloadCaps().installerBytes);
    } catch (const ZipReadError& e) {
        logMarked(fmt::format("unzipping error code : {}", e.code()));
        logIndented(e.what());
        return;
    }
    for (const ZipEntry& entry : entries) extractInstaller(written, archivePath, archive, entry);
}

// Replaces folder by the complete new one. On a failure the old folder is put back and the
// filesystem error thrown.
void lf_swapFolder(const std::filesystem::path& fresh, const std::filesystem::path& folder)
{
    const std::filesystem::path old = lf_withSuffix(folder, L".old");
    std::filesystem::remove_all(old);
    const bool hadFolder = std::filesystem::exists(folder);
    if (hadFolder) std::filesystem::rename(folder, old);
    try {
        std::filesystem::rename(fresh, folder);
    } catch (...) {
        std::error_code ec;
        if (hadFolder) std::filesystem::rename(old, folder, ec);
        std::filesystem::remove_all(fresh, ec);
        throw;
    }
    std::error_code ec;
    std::filesystem::remove_all(old, ec);
    if (ec) logLine(fmt::format("{} could not be removed: {}", pathToUtf8(old), ec.message()));
}

} // namespace

const std::filesystem::path& addonFolder()
{
    static const std::filesystem::path folder = std::filesystem::path("airports") / "my_vendrake";
    return folder;
}

const std::filesystem::path& installerFile()
{
    static const std::filesystem::path file{"install_new_version.exe"};
    return file;
}

std::string formatWithProgramName(std::string_view format, const std::string& first, const std::string& third)
{
    return fmt::format(fmt::runtime(format), first, programName, third);
}

VersionData fetchProgramVersionJson()
{
    CurlHandle handle = makeCurlHandle();
    return getServerVersion(handle.get(), downloadSiteRoot() + "release/version.json");
}

VersionData fetchPackageVersionJson(const std::string& packageName)
{
    CurlHandle handle = makeCurlHandle();
    return getServerVersion(handle.get(), downloadSiteRoot() + packageName + "/version.json");
}

void checkForNewVersion()
{
    const VersionData published = fetchProgramVersionJson();
    if (published == VersionData{}) {
        logMarked("Program Version file not found?");
        return;
    }
    if (!(published > programVersion())) return;
    if (downloadProgramInstaller(published)) {
        // The installer lies in the program's folder, the working folder of this process.
        const std::filesystem::path installer = std::filesystem::current_path() / installerFile();
        throw UserErrorException(
            99, formatWithProgramName("New version {} available, exit {}. Run as administrator: \"{}\"",
                                      published.toString(), pathToUtf8(installer)));
    }
    setStatus("The downloading/unzipping of the new version failed? Try manually via harlowden website", true);
}

bool downloadProgramInstaller(const VersionData& version)
{
    const std::string archiveName = fmt::format("setup_{}_d_v{}.zip", programName, version.toString());
    const std::filesystem::path archivePath = pathFromUtf8(archiveName);
    CurlHandle handle = makeCurlHandle();
    bool written = false;
    if (!downloadToFile(handle.get(), downloadSiteRoot() + "release/" + archiveName, archivePath, true,
                        DownloadKind::installer)) {
        setStatus(fmt::format("Downloading program installer file version {} failed", version.toString()), true);
    } else {
        logLine(fmt::format("downloaded {}", archiveName));
        ZipArchive archive;
        if (!archive.open(archivePath)) {
            logMarked(fmt::format("could not open {}", archiveName));
            logIndented(archive.errorText());
        } else {
            lf_extractInstallerEntries(written, archivePath, archive);
            archive.close();
        }
    }
    lf_removeIfExists(archivePath);
    return written;
}

void extractInstaller(bool& written, const std::filesystem::path& archivePath, const ZipArchive& archive,
                      const ZipEntry& entry)
{
    if (entry.isFolder()) return;
    const std::filesystem::path temp = lf_withSuffix(installerFile(), L".part");
    lf_removeIfExists(temp);
    OutputFile out(temp, OutputFile::Mode::replace);
    if (!out.isOpen()) {
        logMarked(fmt::format("could not open {}", pathToUtf8(temp)));
        return;
    }
    try {
        gf_copyZipEntry(archive, entry, out.get());
    } catch (const ZipReadError& e) {
        out.close(); // an open file cannot be removed on Windows
        lf_removeIfExists(temp);
        logMarked(fmt::format("unzipping error code : {}", e.code()));
        logIndented(e.what());
        return;
    }
    if (!out.close()) {
        lf_removeIfExists(temp);
        logMarked(fmt::format("could not write {}", pathToUtf8(temp)));
        return;
    }
    // Only a complete installer replaces the previous one.
    lf_removeIfExists(installerFile());
    std::filesystem::rename(temp, installerFile());
    logLine(fmt::format("{} unzipped to {}", pathToUtf8(archivePath), pathToUtf8(installerFile())));
    written = true;
}

bool addonPackageMissing() { return !std::filesystem::exists(addonFolder()); }

void extractAddonEntry(int& fileCount, const ZipArchive& archive, const ZipEntry& entry,
                       const std::filesystem::path& folder)
{
    if (entry.isFolder()) return;
    // Only the entry's stem names the target, so no entry can write outside the folder.
    std::filesystem::path target = folder / pathFromUtf8(entry.name).filename().stem();
    target += ".txt";
    // "NUL.csv" would be written to a device and counted as unpacked without a file.
    if (gf_isDeviceFileName(pathToUtf8(target.filename()))) {
        logMarked(fmt::format("entry \"{}\" names a device of Windows and is skipped", entry.name));
        return;
    }
    ++fileCount;
    OutputFile out(target, OutputFile::Mode::append);
    if (!out.isOpen()) throw ZipReadError(-1, fmt::format("could not open {}", pathToUtf8(target)));
    gf_copyZipEntry(archive, entry, out.get());
    if (!out.close()) throw ZipReadError(-1, fmt::format("could not write {}", pathToUtf8(target)));
}

void updateAddonPackage()
{
    const VersionData published = fetchPackageVersionJson(addonPackageName);
    if (published == VersionData{}) {
        logMarked("No myvendrake version info found at the QMSH server?");
        return;
    }
    const VersionData installed(MYVENDRAKE24_VERSION.value());
    if (installed < published || addonPackageMissing()) {
        CurlHandle handle = makeCurlHandle();
        const std::string url = downloadSiteRoot() + addonPackageName + "/" + pathToUtf8(addonArchive);
        if (downloadToFile(handle.get(), url, addonArchive, true, DownloadKind::addonPackage)) {
            ZipArchive archive;
            if (!archive.open(addonArchive)) {
                logMarked(fmt::format("could not open {}", pathToUtf8(addonArchive)));
                logIndented(archive.errorText());
            } else {
                // Unpacked beside the installed package, which stays until the new one is whole.
                const std::filesystem::path fresh = lf_withSuffix(addonFolder(), L".part");
                std::filesystem::remove_all(fresh);
                std::filesystem::create_directories(fresh);
                int fileCount = 0;
                const bool complete = lf_unpackAddon(archive, addonArchive, fresh, fileCount);
                archive.close();
                if (!complete) {
                    std::filesystem::remove_all(fresh);
                } else {
                    lf_swapFolder(fresh, addonFolder());
                    setStatus(fmt::format("{} unzipped {} files", pathToUtf8(addonArchive), fileCount), true);
                    MYVENDRAKE24_VERSION.set(published.toString());
                    setStatus(fmt::format("myvendrake has been updated to version {}", published.toString()), true);
                }
            }
        }
    }
    lf_removeIfExists(addonArchive);
}

} // namespace qtr
