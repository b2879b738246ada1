// An updater for the tests: it takes two seconds, as a real one copying files would, then
// ends (and with it whatever the launcher handed on to it).
#include <chrono>
#include <thread>

int main() {
    std::this_thread::sleep_for(std::chrono::seconds(2));
    return 0;
}
