// A test's server process ends with its owner, and with the test process
// when that dies without running any destructor.
#include "netclient/NetTestPeers.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

// A listener that would otherwise wait two minutes.
std::vector<std::string> listenerArgs(int port)
{
    return {"/usr/bin/python3", "-c",
            "import socket, sys, time\n"
            "s = socket.socket()\n"
            "s.bind(('127.0.0.1', int(sys.argv[1])))\n"
            "s.listen()\n"
            "time.sleep(120)\n",
            std::to_string(port)};
}

// Gone, or ended and waiting to be reaped by whoever adopted it.
bool ended(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line))
        return true;
    const size_t close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] == 'Z';
}

bool endsWithin(pid_t pid, std::chrono::seconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!ended(pid)) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

} // namespace

TEST(ChildServer, EndsWithItsOwner)
{
    pid_t pid = -1;
    {
        const int port = nettest::freePort();
        nettest::ChildServer server(listenerArgs(port), port);
        ASSERT_TRUE(server.ready());
        pid = server.pid();
        EXPECT_FALSE(ended(pid));
    }
    EXPECT_TRUE(ended(pid));
}

// A test process killed outright (as a time-out kills it) takes its server
// along.
TEST(ChildServer, EndsWithAKilledTestProcess)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t test = fork();
    ASSERT_GE(test, 0);
    if (test == 0) {
        close(fds[0]);
        const int port = nettest::freePort();
        auto *server = new nettest::ChildServer(listenerArgs(port), port);
        const pid_t peer = server->ready() ? server->pid() : -1;
        (void)!write(fds[1], &peer, sizeof peer);
        kill(getpid(), SIGKILL);
    }
    close(fds[1]);
    pid_t peer = -1;
    const bool got = read(fds[0], &peer, sizeof peer) == sizeof peer;
    close(fds[0]);
    int status = 0;
    waitpid(test, &status, 0);
    ASSERT_TRUE(got);
    ASSERT_GT(peer, 0) << "the server did not start";
    EXPECT_TRUE(endsWithin(peer, std::chrono::seconds(10)));
    if (!ended(peer))
        kill(peer, SIGKILL);
}
