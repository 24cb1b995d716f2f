#pragma once

#include "document/pPageRoot.h"
#include "document/pPageRootThread.h"
#include "platform/thread/MainThread.h"
#include "support/TestSupport.h"

#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <functional>
#include <string>
#include <chrono>
#include <thread>

namespace paxid::test {

// Runs the expansion on the loader thread and pumps the main thread until it ends.
inline void LoadAll(TPageRoot& root, TQueueMainThread& mainThread) {
    root.StartAllLevelsExpandThread();
    mainThread.WaitUntil([&root] { return root.FPageRootThread == nullptr || root.FPageRootThread->Finished(); });
    root.StopAllLevelsExpandThread();
}

inline TPageListObj& AddSource(TPageRoot& root, const std::string& name) {
    TPageListObj& node = *root.AddChild();
    node.URLName = name;
    return node;
}

// A real HTTP server on 127.0.0.1 with a free port, serving on its own thread.
class THttpServer {
public:
    THttpServer() {
        FPort = FServer.bind_to_any_port("127.0.0.1");
        FThread = std::thread([this] { FServer.listen_after_bind(); });
        while (!FServer.is_running()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    ~THttpServer() {
        Stopping = true;
        FServer.stop();
        FThread.join();
    }
    httplib::Server& Server() { return FServer; }
    std::string URL(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(FPort) + path; }
    int Port() const { return FPort; }

    std::atomic<bool> Stopping{false};

private:
    httplib::Server FServer;
    int FPort = 0;
    std::thread FThread;
};

// A TCP server that answers every connection with fixed bytes (or nothing)
// and then closes it or keeps it open.
class TRawServer {
public:
    TRawServer(std::string reply, bool keepOpen) : FReply(std::move(reply)), FKeepOpen(keepOpen) {
        FSocket = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(FSocket, reinterpret_cast<sockaddr*>(&address), sizeof address);
        socklen_t length = sizeof address;
        ::getsockname(FSocket, reinterpret_cast<sockaddr*>(&address), &length);
        FPort = ntohs(address.sin_port);
        ::listen(FSocket, 8);
        FThread = std::thread([this] { Serve(); });
    }
    ~TRawServer() {
        FStop = true;
        ::shutdown(FSocket, SHUT_RDWR);
        ::close(FSocket);
        FThread.join();
        for (const int client : FClients) {
            ::close(client);
        }
    }
    std::string URL(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(FPort) + path; }

private:
    void Serve() {
        while (!FStop) {
            const int client = ::accept(FSocket, nullptr, nullptr);
            if (client < 0) {
                return;
            }
            char request[4096];
            (void)!::recv(client, request, sizeof request, 0);
            (void)!::send(client, FReply.data(), FReply.size(), MSG_NOSIGNAL);
            if (FKeepOpen) {
                FClients.push_back(client);
            } else {
                ::close(client);
            }
        }
    }

    std::string FReply;
    bool FKeepOpen;
    int FSocket = -1;
    int FPort = 0;
    std::atomic<bool> FStop{false};
    std::vector<int> FClients;
    std::thread FThread;
};

}  // namespace paxid::test
