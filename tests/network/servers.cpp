#include "servers.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace network_test {
namespace {

constexpr auto StartLimit = milliseconds(10000);

// From the kernel's table of sockets rather than by connecting: a server
// with one port to serve would take the probe for its client.
bool Listens(int port)
{
    std::ifstream table("/proc/net/tcp");
    char wanted[16];
    std::snprintf(wanted, sizeof wanted, ":%04X ", port);
    std::string line;
    while (std::getline(table, line))
        if (line.find(wanted) != std::string::npos && line.find(" 0A ") != std::string::npos)
            return true;
    return false;
}

} // namespace

int UnusedPort()
{
    const int probe = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
    getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
    close(probe);
    return ntohs(address.sin_port);
}

ServerProcess::~ServerProcess()
{
    Stop();
}

// The whole group: ser2net outlives a SIGTERM (and `timeout`, which would
// pass one on), and the servers keep nothing worth a graceful end.
void ServerProcess::Stop()
{
    if (pid_ > 0) {
        kill(-pid_, SIGKILL);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
    pid_ = -1;
    if (output_ >= 0)
        close(output_);
    output_ = -1;
}

std::string ServerProcess::Address() const
{
    return "rfc2217://127.0.0.1:" + std::to_string(port_);
}

void ServerProcess::Start(const std::vector<std::string>& argv)
{
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0)
        throw std::runtime_error("no pipe for the server");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    const int failed = posix_spawnp(&pid_, args[0], &actions, &attributes, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(pipeEnds[1]);
    output_ = pipeEnds[0];
    if (failed != 0) {
        pid_ = -1;
        throw std::runtime_error("cannot start " + argv[0]);
    }
}

std::string ServerProcess::NextLine(milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        const std::size_t newline = pending_.find('\n');
        if (newline != std::string::npos) {
            std::string line = pending_.substr(0, newline);
            pending_.erase(0, newline + 1);
            return line;
        }
        const auto left =
            std::chrono::duration_cast<milliseconds>(end - std::chrono::steady_clock::now()).count();
        pollfd readable{output_, POLLIN, 0};
        if (left <= 0 || poll(&readable, 1, static_cast<int>(left)) <= 0)
            return std::string();
        char chunk[256];
        const ssize_t got = read(output_, chunk, sizeof chunk);
        if (got <= 0)
            return std::string();
        pending_.append(chunk, static_cast<std::size_t>(got));
    }
}

std::string ServerProcess::LineStartingWith(const std::string& prefix, milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        std::string line =
            NextLine(std::chrono::duration_cast<milliseconds>(end - std::chrono::steady_clock::now()));
        if (line.compare(0, prefix.size(), prefix) == 0)
            return line;
    }
    return std::string();
}

void ServerProcess::AwaitListening()
{
    if (!tty_test::WaitUntil([this] { return Listens(port_); }, StartLimit))
        throw std::runtime_error("the server did not listen on port " + std::to_string(port_));
}

FaultServer::FaultServer(const std::string& mode)
{
    Start({QUORVEL_PYTHON, QUORVEL_NETWORK_SCRIPTS "/fault_server.py", mode});
    const std::string first = NextLine(StartLimit);
    if (first.compare(0, 5, "port ") != 0)
        throw std::runtime_error("the fault server did not start");
    port_ = std::atoi(first.c_str() + 5);
}

PortManagerServer::PortManagerServer()
{
    Start({QUORVEL_PYTHON, QUORVEL_NETWORK_SCRIPTS "/port_manager.py"});
    const std::string first = NextLine(StartLimit);
    if (first.compare(0, 5, "port ") != 0)
        throw std::runtime_error("pyserial's port manager did not start");
    port_ = std::atoi(first.c_str() + 5);
}

// ser2net finds no free port itself: one is picked and handed over. No UUCP
// lock: it is killed, not stopped, and a guest's /var/lock is read-only.
Ser2netServer::Ser2netServer(const std::string& device)
{
    char folder[] = "/tmp/quorvel-ser2net-XXXXXX";
    if (mkdtemp(folder) == nullptr)
        throw std::runtime_error("no folder for ser2net");
    folder_ = folder;
    port_ = UnusedPort();
    std::ofstream(folder_ + "/ser2net.yaml")
        << "connection: &port\n"
        << "  accepter: telnet(rfc2217),tcp,127.0.0.1," << port_ << "\n"
        << "  connector: serialdev(nouucplock)," << device << ",9600n81,local\n";
    Start({"timeout", "-s", "KILL", "120", "ser2net", "-n", "-d", "-c", folder_ + "/ser2net.yaml", "-P",
           folder_ + "/ser2net.pid"});
    AwaitListening();
}

Ser2netServer::~Ser2netServer()
{
    Stop();
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

} // namespace network_test
