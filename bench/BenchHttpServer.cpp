// bench_http_server FILE: serves FILE at /file on 127.0.0.1, prints the port,
// and runs until its standard input closes. Reads the file in 1 MiB blocks,
// so serving costs the same for every client measured against it.
#include <httplib.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <thread>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: bench_http_server FILE\n";
        return 2;
    }
    const std::string path = argv[1];
    std::ifstream probe(path, std::ios::binary | std::ios::ate);
    if (!probe) {
        std::cerr << "cannot read " << path << "\n";
        return 2;
    }
    const auto size = static_cast<std::size_t>(probe.tellg());
    httplib::Server server;
    server.Get("/file", [&](const httplib::Request&, httplib::Response& response) {
        auto file = std::make_shared<std::ifstream>(path, std::ios::binary);
        response.set_content_provider(size, "application/octet-stream",
                                      [file](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                                          std::vector<char> block(std::min<std::size_t>(length, 1 << 20));
                                          file->seekg(static_cast<std::streamoff>(offset));
                                          file->read(block.data(), static_cast<std::streamsize>(block.size()));
                                          return sink.write(block.data(), static_cast<std::size_t>(file->gcount()));
                                      });
    });
    const int port = server.bind_to_any_port("127.0.0.1");
    std::thread listener([&server] { server.listen_after_bind(); });
    std::cout << port << std::endl;
    char byte;
    while (std::cin.get(byte)) {
    }
    server.stop();
    listener.join();
    return 0;
}
