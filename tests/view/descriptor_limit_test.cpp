// lumivane-view as a process under a limit of 1,024 open descriptors, with
// 1,100 idle connections open: a normal client is still served.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr rlim_t kViewLimit = 1024;
constexpr int kIdle = 1100;
constexpr int kChecks = 10;

// The view started under the lowered limit, its port read from its start line.
class LimitedView {
public:
    LimitedView() {
        int out[2];
        if (pipe(out) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            const rlimit limit{kViewLimit, kViewLimit};
            setrlimit(RLIMIT_NOFILE, &limit);
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            close(out[1]);
            const std::string dir = std::filesystem::temp_directory_path().string();
            execl(LUMIVANE_VIEW_EXE, LUMIVANE_VIEW_EXE, "--listen", "127.0.0.1:0", dir.c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        close(out[1]);
        FILE* lines = fdopen(out[0], "r");
        char line[512] = {};
        if (lines && std::fgets(line, sizeof line, lines))
            std::sscanf(line, "Lumivane view: http://127.0.0.1:%d/", &port_);
        if (lines) std::fclose(lines);
    }
    ~LimitedView() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    int port() const { return port_; }

private:
    pid_t pid_ = -1;
    int port_ = 0;
};

int ConnectTo(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    timeval wait{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// True when GET /screen.json on a fresh connection is answered 200 in time.
bool Served(int port) {
    const int fd = ConnectTo(port);
    if (fd < 0) return false;
    const std::string request =
        "GET /screen.json HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    std::string reply;
    if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
        static_cast<ssize_t>(request.size())) {
        char chunk[4096];
        ssize_t got;
        while ((got = recv(fd, chunk, sizeof chunk, 0)) > 0) reply.append(chunk, got);
    }
    close(fd);
    return reply.rfind("HTTP/1.1 200 OK\r\n", 0) == 0;
}

TEST(DescriptorLimit, ANormalClientIsServedPast1100IdleSockets) {
    // This process holds the idle sockets itself: it needs the room.
    rlimit own{};
    getrlimit(RLIMIT_NOFILE, &own);
    own.rlim_cur = own.rlim_max;
    setrlimit(RLIMIT_NOFILE, &own);
    if (own.rlim_cur < kIdle + 200) GTEST_SKIP() << "the hard limit here is " << own.rlim_max;

    LimitedView view;
    ASSERT_NE(view.port(), 0);
    std::vector<int> idle;
    for (int i = 0; i < kIdle; ++i) {
        const int fd = ConnectTo(view.port());
        ASSERT_GE(fd, 0) << "idle connection " << i;
        idle.push_back(fd);
    }
    int served = 0;
    for (int check = 0; check < kChecks; ++check) served += Served(view.port()) ? 1 : 0;
    std::printf("%d of %d health checks served with %d idle sockets open\n", served, kChecks,
                kIdle);
    EXPECT_EQ(served, kChecks);
    for (const int fd : idle) close(fd);
}

}  // namespace
