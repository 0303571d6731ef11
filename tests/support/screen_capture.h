#pragma once
// Pictures of real windows for the tests that check what was drawn: the client area of a window
// as pixels, and PNG files of them kept as test artifacts below the build folder.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <windows.h>

namespace qtest {

struct Capture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels; // 0x00RRGGBB, rows top down

    // The pixel as a COLORREF (RGB macro order); black outside the picture.
    COLORREF at(int x, int y) const;
    // Pixels of exactly this colour inside the box (right and bottom exclusive).
    int count(const RECT& box, COLORREF colour) const;
};

// The window's client area as it is on screen now (children included).
Capture captureClient(HWND window);
// Writes the capture as an 8-bit RGB PNG; false when the file cannot be written.
bool writePng(const Capture& capture, const std::filesystem::path& path);
// build/test-artifacts/<name>: where tests keep their pictures (created when missing).
std::filesystem::path artifactPath(const std::string& name);

} // namespace qtest
