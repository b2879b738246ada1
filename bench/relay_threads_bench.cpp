// The game relay's threads under a movie that opens many connections to a game server that
// never answers (its queue of connections full, so that connects hang until their time-out),
// and after refreshes of the game, each with a relay of its own. Prints the process's thread
// count at each point. Usage: tavrin_relay_threads_bench [CONNECTS] [REFRESHES]
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

#include "game/game_relay.h"

namespace {

int Threads() {
    int count = 0;
    for ([[maybe_unused]] const auto& task :
         std::filesystem::directory_iterator("/proc/self/task")) {
        ++count;
    }
    return count;
}

// A listener that accepts nothing, its queue filled: further connects get no answer.
std::uint16_t SilentServer(std::vector<int>& keep) {
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(listener, 0) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        std::perror("listen");
        std::exit(1);
    }
    keep.push_back(listener);
    for (int i = 0; i < 4; ++i) {  // fill the queue
        const int filler = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address);
        keep.push_back(filler);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    return ntohs(address.sin_port);
}

// The most threads seen over `ms`.
int MostThreadsOver(int ms) {
    int most = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        most = std::max(most, Threads());
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return most;
}

}  // namespace

int main(int argc, char** argv) {
    const int connects = argc > 1 ? std::atoi(argv[1]) : 200;
    const int refreshes = argc > 2 ? std::atoi(argv[2]) : 3;
    std::vector<int> keep;
    const std::uint16_t port = SilentServer(keep);
    std::printf("threads_at_start %d\n", Threads());
    std::unique_ptr<tavrin::GameRelay> relay;
    for (int movie = 0; movie <= refreshes; ++movie) {
        // The refreshed game's relay comes before the old one goes, as in the front ends.
        auto next = std::make_unique<tavrin::GameRelay>(
            std::vector<tavrin::SocketEndpoint>{{"127.0.0.1", port}},
            std::vector<std::string>{"127.0.0.1"});
        next->SetMovie("http://127.0.0.1:8080/game.swf");
        // Outcomes come only once a connect has given up: none within the measurement.
        auto settled = std::make_shared<std::atomic<int>>(0);
        next->SetObserver([settled](const tavrin::GameRelay::Answer&) { ++*settled; });
        if (!next->Start()) {
            return 1;
        }
        relay = std::move(next);
        const std::string proxy = relay->Proxies().front().url;
        for (int i = 0; i < connects; ++i) {
            relay->Connect(proxy, [](const tavrin::GameRelay::Answer&) {});
        }
        const int most = MostThreadsOver(1500);
        std::printf("movie %d: most_threads %d attempts_in_flight %d settled %d\n", movie, most,
                    relay->AttemptsInFlight(), settled->load());
    }
    relay.reset();
    std::printf("threads_after_the_last_relay %d\n", MostThreadsOver(300));
    for (const int s : keep) {
        close(s);
    }
    return 0;
}
