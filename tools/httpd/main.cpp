// The test HTTP server for scripted runs: serves the files below a folder laid out as the
// download site (see SITE_LAYOUT.md) on 127.0.0.1 and prints every request. A run can make one
// path (or, with "*", every path) misbehave as a bad site does:
//   stall    the first half of the file at that path, then silence with more announced
//   endless  the file at that path again and again without end
//   silent   the connection is taken and never answered
//   qm_httpd --root <folder> [--port N] [--port-file <file>] [--seconds N] [--route <path> <kind>]...
#include "http_server.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

int usage()
{
    std::fprintf(stderr, "usage: qm_httpd --root <folder> [--port N] [--port-file <file>] [--seconds N]\n"
                         "                [--route <path> stall|endless|silent]...\n");
    return 2;
}

std::string fileBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The misbehaving route of a kind, made from the file the path names below the root (none for
// an unknown kind).
std::optional<qmhttp::Route> misbehaving(const std::wstring& kind, const std::filesystem::path& file)
{
    if (kind == L"silent") return qmhttp::Route::silent();
    const std::string bytes = fileBytes(file);
    if (kind == L"stall") return qmhttp::Route::stall(bytes.substr(0, bytes.size() / 2));
    if (kind == L"endless") return qmhttp::Route::endless(bytes);
    return std::nullopt;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    std::filesystem::path root;
    std::filesystem::path portFile;
    int port = 0;
    int seconds = 0;
    std::vector<std::pair<std::wstring, std::wstring>> routes;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::wstring option = argv[i];
        if (option == L"--root")
            root = argv[i + 1];
        else if (option == L"--port")
            port = std::wcstol(argv[i + 1], nullptr, 10);
        else if (option == L"--port-file")
            portFile = argv[i + 1];
        else if (option == L"--seconds")
            seconds = std::wcstol(argv[i + 1], nullptr, 10);
        else if (option == L"--route" && i + 2 < argc) {
            routes.emplace_back(argv[i + 1], argv[i + 2]);
            ++i;
        } else
            return usage();
    }
    if (root.empty() || !std::filesystem::is_directory(root) || port < 0 || port > 65535) return usage();
    qmhttp::Server server;
    server.setFileRoot(root);
    for (const auto& [path, kind] : routes) {
        const auto route = misbehaving(kind, root / std::filesystem::path(path).relative_path());
        if (!route) return usage();
        // Request paths are plain ASCII on this site.
        server.setRoute(std::string(path.begin(), path.end()), *route);
    }
    server.setRequestLogger([](const qmhttp::Request& request, int status) {
        std::printf("%d GET %s (User-Agent: %s)\n", status, request.path.c_str(), request.userAgent.c_str());
        std::fflush(stdout);
    });
    if (!server.start(static_cast<std::uint16_t>(port))) {
        std::fprintf(stderr, "qm_httpd: cannot listen on 127.0.0.1:%d\n", port);
        return 1;
    }
    if (!portFile.empty()) std::ofstream(portFile) << server.port() << "\n";
    std::printf("serving %s on %s\n", root.string().c_str(), server.baseUrl().c_str());
    std::fflush(stdout);
    if (seconds > 0)
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
    else
        for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
    server.stop();
    return 0;
}
