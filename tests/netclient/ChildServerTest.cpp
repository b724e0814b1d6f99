// A test's server process ends with its owner, and with the test process
// when that dies without running any destructor.
#include "netclient/NetTestPeers.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

// A listener that would otherwise wait two minutes. A patient one keeps
// trying to bind its port for a minute instead of ending (nginx tries for
// a few seconds).
std::vector<std::string> listener(int port, bool patient)
{
    const std::string bind = "s.bind(('127.0.0.1', int(sys.argv[1])))\n";
    return {"/usr/bin/python3", "-c",
            "import socket, sys, time\n"
            "s = socket.socket()\n" +
                (patient ? "for i in range(600):\n"
                           "    try:\n"
                           "        " + bind + "        break\n"
                           "    except OSError:\n"
                           "        time.sleep(0.1)\n"
                         : bind) +
                "s.listen()\n"
                "time.sleep(120)\n",
            std::to_string(port)};
}

std::vector<std::string> listenerArgs(int port) { return listener(port, false); }
std::vector<std::string> patientListenerArgs(int port) { return listener(port, true); }

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
        nettest::ChildServer server(listenerArgs);
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
        auto *server = new nettest::ChildServer(listenerArgs);
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

// A port taken between its choice and the server's start, by a listener or
// by a socket that only holds it bound: the server is started again on
// another port, which the test is given, and it is the server that answers
// there.
TEST(ChildServer, PortTakenMeanwhileIsReplaced)
{
    struct Case {
        const char *name;
        nettest::ChildServer::OnePortCommand command;
        bool listening;  // how the port is taken
    } cases[] = {
        {"a server that ends, port listened on", listenerArgs, true},
        {"a server that ends, port held bound", listenerArgs, false},
        {"a server that waits, port listened on", patientListenerArgs, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<nettest::Listener> listener;
        std::unique_ptr<nettest::ClosedPort> held;
        int taken;
        if (c.listening) {
            listener = std::make_unique<nettest::Listener>();
            taken = listener->port();
        } else {
            held = std::make_unique<nettest::ClosedPort>();
            taken = held->port();
        }
        int picks = 0;
        const auto start = std::chrono::steady_clock::now();
        nettest::ChildServer server(c.command, [&] { return picks++ == 0 ? taken : nettest::freePort(); });
        ASSERT_TRUE(server.ready());
        EXPECT_EQ(picks, 2);
        EXPECT_NE(server.port(), taken);
        // Not by waiting out the time limit of a start.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
        // The server's own port: a connection there is accepted, and the
        // taken port's owner got none.
        const int fd = nettest::connectTo(server.port());
        EXPECT_GE(fd, 0);
        if (fd >= 0)
            close(fd);
        if (listener) {
            EXPECT_EQ(listener->accept(0), -1);
        }
    }
}
