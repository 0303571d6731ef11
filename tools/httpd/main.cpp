// The test HTTP server for scripted runs: serves the files below a folder laid out as the
// download site (see SITE_LAYOUT.md) on 127.0.0.1 and prints every request.
//   qm_httpd --root <folder> [--port N] [--port-file <file>] [--seconds N]
#include "http_server.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

int wmain(int argc, wchar_t** argv)
{
    std::filesystem::path root;
    std::filesystem::path portFile;
    int port = 0;
    int seconds = 0;
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
        else {
            std::fprintf(stderr, "usage: qm_httpd --root <folder> [--port N] [--port-file <file>] [--seconds N]\n");
            return 2;
        }
    }
    if (root.empty() || !std::filesystem::is_directory(root) || port < 0 || port > 65535) {
        std::fprintf(stderr, "usage: qm_httpd --root <folder> [--port N] [--port-file <file>] [--seconds N]\n");
        return 2;
    }
    qmhttp::Server server;
    server.setFileRoot(root);
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
