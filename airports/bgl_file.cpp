#include "airports/bgl_file.h"

#include "foundation/log.h"
#include "foundation/os_files.h"
#include "foundation/win_text.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>

namespace qtr {

namespace {

constexpr std::uint64_t recordHeaderSize = 6;
constexpr std::uint64_t sectionEntrySize = 20;
constexpr std::uint64_t subsectionEntrySize = 16;
constexpr std::uint64_t parkingEntrySize = 56;
constexpr std::uint32_t wideSubsectionEntries = 0x10000;

std::uint32_t lf_u32(const char* at)
{
    std::uint32_t value;
    std::memcpy(&value, at, sizeof value); // the program runs on little-endian machines only
    return value;
}

} // namespace

BglFile::BglFile(std::string bytes) : size_(bytes.size())
{
    // The whole file is the one window, never refilled.
    windows_[0].bytes = std::move(bytes);
    windowBytes_ = windows_[0].bytes.size();
}

BglFile::BglFile(std::uint64_t size, Source source, std::size_t windowBytes)
    : size_(size), source_(std::move(source)), windowBytes_(std::max(windowBytes, smallestWindow))
{
}

std::optional<BglFile> BglFile::read(const std::filesystem::path& path, std::size_t windowBytes)
{
    auto file = std::make_shared<ReadOnlyFile>(path, false);
    const std::optional<std::uint64_t> size = file->sizeBytes();
    if (!size) return std::nullopt;
    return BglFile(
        *size,
        [file](std::uint64_t offset, char* into, std::uint64_t count) { return file->readAt(offset, into, count); },
        windowBytes);
}

const char* BglFile::at(std::uint64_t offset, std::uint64_t width) const
{
    if (offset > size_ || width > size_ - offset)
        throw std::out_of_range(
            fmt::format("BGL read of {} bytes at offset {} beyond the file's {} bytes", width, offset, size_));
    for (std::size_t k = 0; k < windows_.size(); ++k) {
        const Window& w = windows_[k];
        if (offset >= w.start && offset - w.start + width <= w.bytes.size()) {
            lastUsed_ = k;
            return w.bytes.data() + (offset - w.start);
        }
    }
    if (!source_) throw std::out_of_range(fmt::format("BGL read at offset {} outside the bytes held", offset));
    // A window starts a little before the read, so that a walk that steps back a few bytes
    // stays in it; a read (at most 8 bytes) always fits in the half that follows.
    lastUsed_ = 1 - lastUsed_;
    Window& w = windows_[lastUsed_];
    w.start = offset - offset % (windowBytes_ / 2);
    w.bytes.resize(static_cast<std::size_t>(std::min<std::uint64_t>(windowBytes_, size_ - w.start)));
    const std::uint64_t got = source_(w.start, w.bytes.data(), w.bytes.size());
    if (got < w.bytes.size()) {
        w.bytes.clear();
        throw std::out_of_range(
            fmt::format("BGL read at offset {}: the file ended after {} bytes of {}", offset, w.start + got, size_));
    }
    return w.bytes.data() + (offset - w.start);
}

std::uint16_t BglFile::u16(std::uint64_t offset) const
{
    std::uint16_t value;
    std::memcpy(&value, at(offset, 2), sizeof value);
    return value;
}

std::uint32_t BglFile::u32(std::uint64_t offset) const { return lf_u32(at(offset, 4)); }

float BglFile::f32(std::uint64_t offset) const
{
    const std::uint32_t bits = u32(offset);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

bool forEachBglRecord(const BglFile& file, std::uint64_t begin, std::uint64_t end,
                      const std::function<bool(const BglRecord&)>& visit)
{
    if (begin > file.size()) return false;
    end = std::min(end, file.size());
    std::uint64_t at = begin;
    while (at < end && end - at >= recordHeaderSize) {
        const BglRecord record{file.u16(at), at, file.u32(at + 2)};
        // A size below the header would never move on; one past the parent reads what is not its.
        if (record.size < recordHeaderSize || record.size > end - at) return false;
        if (!visit(record)) return true;
        at += record.size;
    }
    return true;
}

bool forEachAirportSectionRecord(const BglFile& file, const std::function<bool(const BglRecord&)>& visit)
{
    const std::uint64_t sections = file.u32(20);
    bool more = true;
    bool clean = true;
    for (std::uint64_t i = 0; i < sections && more; ++i) {
        const std::uint64_t entry = bglHeaderSize + sectionEntrySize * i;
        if (file.u32(entry) != bglAirportSection || (file.u32(entry + 4) & wideSubsectionEntries) != 0) continue;
        const std::uint64_t subsections = file.u32(entry + 8);
        const std::uint64_t table = file.u32(entry + 12);
        for (std::uint64_t j = 0; j < subsections && more; ++j) {
            const std::uint64_t subsection = table + subsectionEntrySize * j;
            const std::uint64_t data = file.u32(subsection + 8);
            const std::uint64_t size = file.u32(subsection + 12);
            clean = forEachBglRecord(file, data, data + size,
                                     [&](const BglRecord& record) { return more = visit(record); }) &&
                    clean;
        }
    }
    return clean;
}

std::vector<BglParking> readBglParkings(const BglFile& file, const BglRecord& subrecord)
{
    const std::uint64_t end = subrecord.offset + subrecord.size;
    const std::uint64_t count = file.u16(subrecord.offset + 6);
    std::vector<BglParking> parkings;
    parkings.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(count, subrecord.size / parkingEntrySize)));
    std::uint64_t at = subrecord.offset + 8;
    for (std::uint64_t i = 0; i < count; ++i) {
        if (end - std::min(end, at) < parkingEntrySize)
            throw std::out_of_range(
                fmt::format("parking {} of {} at offset {} beyond its subrecord", i + 1, count, at));
        const std::uint32_t packed = file.u32(at);
        BglParking p;
        p.nameCode = static_cast<std::uint8_t>(packed & 0x3F);
        p.type = static_cast<std::uint8_t>((packed >> 8) & 0xF);
        p.number = static_cast<std::uint16_t>((packed >> 12) & 0xFFF);
        p.airlineCount = static_cast<std::uint8_t>(packed >> 24);
        p.radiusMetres = file.f32(at + 4);
        p.headingDeg = file.f32(at + 8);
        p.position = {bglLatitude(file.u32(at + 32)), bglLongitude(file.u32(at + 28))};
        const std::uint64_t entrySize = parkingEntrySize + 4u * p.airlineCount;
        if (end - at < entrySize)
            throw std::out_of_range(fmt::format("airline codes of parking {} beyond its subrecord", i + 1));
        parkings.push_back(p);
        at += entrySize;
    }
    return parkings;
}

BglHelipad readBglHelipad(const BglFile& file, const BglRecord& subrecord)
{
    if (subrecord.size < 32)
        throw std::out_of_range(fmt::format("helipad of {} bytes at offset {}", subrecord.size, subrecord.offset));
    return {{bglLatitude(file.u32(subrecord.offset + 16)), bglLongitude(file.u32(subrecord.offset + 12))},
            file.f32(subrecord.offset + 28)};
}

double bglLongitude(std::uint32_t value) { return value * 4.470348358154297e-07 - 180.0; }

double bglLatitude(std::uint32_t value) { return 90.0 - value * 3.3527612686157227e-07; }

std::int32_t bglAirportElevationFt(const BglFile& file, const BglRecord& airport)
{
    const long feet = std::lround(file.i32(airport.offset + 20) * 3.2808399 / 1000.0);
    return (feet < -1500 || feet > 20000) ? 0 : static_cast<std::int32_t>(feet);
}

std::string lf_decodeIdentifierOrRegionCode(std::uint32_t code, bool& valid)
{
    std::string text;
    valid = false;
    try {
        std::uint32_t v = code >> 5;
        if (v < 38) return text;
        bool blank = false;
        std::array<char, 8> digits{};
        std::size_t n = 0;
        for (; v > 0 && n < digits.size(); v /= 38) {
            const std::uint32_t d = v % 38;
            blank = blank || d == 0;
            digits[n++] = d == 0 ? ' ' : (d >= 2 && d <= 11) ? static_cast<char>(d + 46) : static_cast<char>(d + 53);
        }
        text.assign(std::make_reverse_iterator(digits.begin() + n), std::make_reverse_iterator(digits.begin()));
        valid = text.size() == 4 && !blank;
    } catch (const std::exception&) {
        logLine(fmt::format("! Exception in {}", "lf_decodeIdentifierOrRegionCode"));
    }
    return text;
}

std::string lf_parkingNameText(std::uint8_t code)
{
    static const char* const names[] = {"", "r", "p", "np", "ep", "sep", "sp", "swp", "wp", "nwp", "g", ""};
    if (code < std::size(names)) return names[code];
    return std::string(1, static_cast<char>(code + 53));
}

bool lf_isBglFile(std::string_view extension) { return extension == ".BGL" || extension == ".bgl"; }

BglQuickPass bglQuickPass(const std::filesystem::path& path)
{
    // One read serves the header and, in nearly every file, the whole section table.
    constexpr std::uint64_t firstRead = 4096;
    ReadOnlyFile file(path, true);
    if (!file.isOpen()) return BglQuickPass::damaged;
    std::string bytes(firstRead, '\0');
    std::uint64_t got = file.read(bytes.data(), firstRead);
    if (got < bglHeaderSize) return BglQuickPass::damaged;
    const std::uint64_t sections = lf_u32(bytes.data() + 20);
    if (sections == 0) return BglQuickPass::noAirport;
    // Scenery files have a few dozen sections at most; a count in the millions is damage.
    constexpr std::uint64_t maxSections = 65536;
    if (sections > maxSections) return BglQuickPass::damaged;
    const std::uint64_t tableEnd = bglHeaderSize + sectionEntrySize * sections;
    if (tableEnd >= got) {
        // A longer table: the file must hold it (and more) before it is read.
        if (got < firstRead) return BglQuickPass::damaged;
        const std::optional<std::uint64_t> size = file.sizeBytes();
        if (!size || *size <= tableEnd) return BglQuickPass::damaged;
        bytes.resize(tableEnd);
        got += file.read(bytes.data() + got, tableEnd - got);
        if (got < tableEnd) return BglQuickPass::damaged;
    }
    for (std::uint64_t i = 0; i < sections; ++i)
        if (lf_u32(bytes.data() + bglHeaderSize + sectionEntrySize * i) == bglAirportSection)
            return BglQuickPass::airport;
    return BglQuickPass::noAirport;
}

bool lf_scanBglForAirports(const std::filesystem::path& path) { return bglQuickPass(path) == BglQuickPass::airport; }

} // namespace qtr
