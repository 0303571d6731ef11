#include "support/screen_capture.h"

#include <zlib.h>

#include <fstream>

namespace qtest {

namespace {

void putU32(std::string& out, std::uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>((v >> shift) & 0xFF));
}

void putChunk(std::string& out, const char* type, const std::string& data)
{
    putU32(out, static_cast<std::uint32_t>(data.size()));
    const std::string body = std::string(type, 4) + data;
    out += body;
    putU32(out, static_cast<std::uint32_t>(
                    crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
}

} // namespace

COLORREF Capture::at(int x, int y) const
{
    if (x < 0 || y < 0 || x >= width || y >= height) return RGB(0, 0, 0);
    const std::uint32_t p = pixels[static_cast<std::size_t>(y) * width + x];
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

int Capture::count(const RECT& box, COLORREF colour) const
{
    int n = 0;
    for (int y = box.top; y < box.bottom; ++y)
        for (int x = box.left; x < box.right; ++x)
            if (at(x, y) == colour) ++n;
    return n;
}

Capture captureClient(HWND window)
{
    Capture capture;
    RECT client{};
    GetClientRect(window, &client);
    capture.width = client.right;
    capture.height = client.bottom;
    HDC windowDc = GetDC(window);
    HDC memory = CreateCompatibleDC(windowDc);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = capture.width;
    info.bmiHeader.biHeight = -capture.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(windowDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, capture.width, capture.height, windowDc, 0, 0, SRCCOPY);
    GdiFlush();
    const auto* p = static_cast<const std::uint32_t*>(bits);
    capture.pixels.assign(p, p + static_cast<std::size_t>(capture.width) * capture.height);
    for (auto& pixel : capture.pixels) pixel &= 0x00FFFFFF;
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window, windowDc);
    return capture;
}

bool writePng(const Capture& capture, const std::filesystem::path& path)
{
    std::string raw;
    raw.reserve(static_cast<std::size_t>(capture.height) * (capture.width * 3 + 1));
    for (int y = 0; y < capture.height; ++y) {
        raw.push_back('\0'); // no filter
        for (int x = 0; x < capture.width; ++x) {
            const std::uint32_t p = capture.pixels[static_cast<std::size_t>(y) * capture.width + x];
            raw.push_back(static_cast<char>((p >> 16) & 0xFF));
            raw.push_back(static_cast<char>((p >> 8) & 0xFF));
            raw.push_back(static_cast<char>(p & 0xFF));
        }
    }
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(packed.data()), &size, reinterpret_cast<const Bytef*>(raw.data()),
                  static_cast<uLong>(raw.size()), 6) != Z_OK)
        return false;
    packed.resize(size);
    std::string header;
    putU32(header, static_cast<std::uint32_t>(capture.width));
    putU32(header, static_cast<std::uint32_t>(capture.height));
    header += std::string("\x08\x02\x00\x00\x00", 5); // 8 bits, RGB, deflate, no filter, no interlace
    std::string png = "\x89PNG\r\n\x1a\n";
    putChunk(png, "IHDR", header);
    putChunk(png, "IDAT", packed);
    putChunk(png, "IEND", "");
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << png;
    return static_cast<bool>(out);
}

std::filesystem::path artifactPath(const std::string& name)
{
    // build/tests/bin -> build/test-artifacts (a path without "..": Wine maps the build machine's
    // folders by their plain names).
    const std::filesystem::path folder =
        std::filesystem::path(QM_TEST_BIN_DIR).parent_path().parent_path() / "test-artifacts";
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    return folder / name;
}

} // namespace qtest
