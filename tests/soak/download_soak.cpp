// Soaks the downloader against the chaos peer: many downloads with short time-outs and
// varying retry settings. Each result is judged against what the peer actually did, the
// target is checked after every download and watched while it runs (a file under its final
// name is the whole body or nothing), and descriptors and threads are counted before and
// after. Exits non-zero when any check failed.
//
//   tavrin_download_soak [--downloads N] [--seed S] [--threads T] [--timeout-ms MS]
//                        [--slack-ms MS] [--only N] [--verbose]
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "net/http_download.h"
#include "soak/chaos_peer.h"
#include "support/temp_dir.h"

namespace tavrin {
namespace {

using test::Chaos;
using test::ChaosName;
using test::Mix;
using test::ServedRequest;
using Clock = std::chrono::steady_clock;

// What the downloader may do after a reply of each kind.
enum class After {
    Ends,       // the download ends with this reply
    Retries,    // retried within the budget; when the budget is spent the download fails
    MayRetry,   // the download fails at once or the request is retried within the budget
    Redirects,  // the next request goes where the reply points, up to the redirect limit
};

constexpr unsigned Bit(int result) {
    return 1u << result;
}
constexpr unsigned kOk = Bit(DL_OK);
constexpr unsigned kFailed = Bit(DL_FAILED);
constexpr unsigned kNotFound = Bit(DL_NOT_FOUND);

struct Expectation {
    Chaos chaos;
    unsigned allowed;  // the results a download ending with this reply may give
    After after;
};

// The outcome each behaviour allows. A good body must arrive whole (checked byte for byte),
// stamped with the reply's Last-Modified when it had a valid one, else with the time of the
// download.
const Expectation kExpected[] = {
    {Chaos::Good, kOk, After::Ends},
    {Chaos::Unusual, kOk, After::Ends},
    {Chaos::Trickle, kOk, After::Ends},
    {Chaos::Chunked, kOk, After::Ends},
    {Chaos::LongLine, kOk | kFailed, After::Ends},
    {Chaos::BadDate, kOk, After::Ends},
    {Chaos::DupLengthSame, kOk | kFailed, After::Ends},
    {Chaos::TruncHeader, kFailed, After::Retries},
    {Chaos::TruncBody, kFailed, After::Retries},
    {Chaos::Reset, kFailed, After::Retries},
    {Chaos::SilentHeader, kFailed, After::Retries},
    {Chaos::SilentBody, kFailed, After::Retries},
    {Chaos::ServerError, kFailed, After::Retries},
    {Chaos::NotFound, kNotFound, After::Ends},
    {Chaos::Redirect, kFailed, After::Redirects},
    {Chaos::Junk, kFailed, After::Ends},
    {Chaos::NoStatus, kFailed, After::Ends},
    {Chaos::HugeHeader, kFailed, After::Ends},
    {Chaos::BadChunk, kFailed, After::Ends},
    {Chaos::BadLength, kFailed, After::MayRetry},
    {Chaos::DupLengthDiffer, kFailed, After::MayRetry},
};

Expectation Expect(const ServedRequest& served) {
    if (served.abandoned) {
        // The client gave up waiting before the peer answered: to it, silence.
        return {served.chaos, kFailed, After::Retries};
    }
    Expectation e{served.chaos, 0, After::Ends};
    for (const Expectation& row : kExpected) {
        if (row.chaos == served.chaos) {
            e = row;
        }
    }
    // The downloader refuses an empty body announced by Content-Length: 0 (an empty game
    // file is never right); an empty chunked body is taken.
    if (served.emptyLength && (e.allowed & kOk) != 0) {
        e.allowed = kFailed;
    }
    // The peer itself stood still past half the time-out: a time-out there is no fault.
    if (served.slow && e.after == After::Ends) {
        e.allowed |= kFailed;
        e.after = After::MayRetry;
    }
    return e;
}

struct Options {
    int downloads = 1000;
    std::uint64_t seed = 1;
    int threads = 2;
    int timeoutMs = 300;
    int slackMs = 600;
    int only = -1;
    bool verbose = false;
};

// Allowance per request and per download for what the time-outs do not cover: scheduling
// on a busy machine, writing and renaming the file.
constexpr int kSlackPerRequestMs = 60;

struct Settings {
    int mode = 0;
    unsigned maxRetries = 0;
    unsigned delayMs = 0;
    int stopAfterMs = -1;  // a stop from another thread after this long, or none
    bool fresh = false;    // a new downloader object rather than the worker's last one
};

Settings SettingsFor(std::uint64_t seed, int n) {
    std::uint64_t state = Mix(seed * 0x9E3779B97F4A7C15ull + static_cast<std::uint64_t>(n));
    auto roll = [&state](int below) {
        state = Mix(state + 0x9E3779B97F4A7C15ull);
        return static_cast<int>(state % static_cast<std::uint64_t>(below));
    };
    Settings s;
    const int mode = roll(100);
    if (mode < 40) {
        s.mode = 0;
    } else if (mode < 92) {
        s.mode = 1;
        s.maxRetries = static_cast<unsigned>(1 + roll(3));
    } else {
        // Retrying forever ends only by a stop.
        s.mode = 2;
        s.stopAfterMs = 20 + roll(600);
    }
    s.delayMs = s.mode == 2    ? static_cast<unsigned>(20 + roll(31))
                : roll(2) == 0 ? 0
                               : static_cast<unsigned>(5 + roll(46));
    if (s.mode != 2 && roll(100) < 5) {
        s.stopAfterMs = roll(300);
    }
    s.fresh = roll(100) < 30;
    return s;
}

int CountEntries(const char* folder) {
    DIR* dir = opendir(folder);
    if (dir == nullptr) {
        return -1;
    }
    int count = 0;
    for (const dirent* entry = readdir(dir); entry != nullptr; entry = readdir(dir)) {
        count += entry->d_name[0] != '.' ? 1 : 0;
    }
    closedir(dir);
    return count;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

double MsSince(Clock::time_point start, Clock::time_point end) {
    return std::chrono::duration<double, std::milli>(end - start).count();
}

// Watches the targets of the running downloads: a file under a final name must have the
// whole body's size whenever it is there.
class Watcher {
public:
    explicit Watcher(int slots) : m_slots(static_cast<std::size_t>(slots)) {
        m_thread = std::thread([this] { Run(); });
    }
    ~Watcher() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }
    void Watch(int slot, int download, const std::string& path, std::size_t size) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_slots[static_cast<std::size_t>(slot)] = {true, download, path, size};
    }
    void Unwatch(int slot) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_slots[static_cast<std::size_t>(slot)].active = false;
    }
    // Problems seen for a download, taken.
    std::vector<std::string> Take(int download) {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::vector<std::string> taken = std::move(m_found[download]);
        m_found.erase(download);
        return taken;
    }
    long Looks() const { return m_looks; }

private:
    struct Slot {
        bool active = false;
        int download = -1;
        std::string path;
        std::size_t size = 0;
    };

    void Run() {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (!m_stop) {
            for (const Slot& slot : m_slots) {
                struct stat st;
                if (!slot.active || stat(slot.path.c_str(), &st) != 0) {
                    continue;
                }
                ++m_looks;
                if (static_cast<std::size_t>(st.st_size) != slot.size) {
                    auto& found = m_found[slot.download];
                    const std::string text = "the target appeared with " +
                                             std::to_string(st.st_size) + " bytes of " +
                                             std::to_string(slot.size);
                    if (found.size() < 3 &&
                        std::find(found.begin(), found.end(), text) == found.end()) {
                        found.push_back(text);
                    }
                }
            }
            m_wake.wait_for(lock, std::chrono::milliseconds(1));
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::vector<Slot> m_slots;
    std::map<int, std::vector<std::string>> m_found;
    bool m_stop = false;
    std::atomic<long> m_looks{0};
    std::thread m_thread;
};

// One failed check: its kind (no numbers, to count alike problems together) and the details.
struct Problem {
    std::string kind;
    std::string text;
};

// A reply's behaviour and the kind of its variant, as problems name it.
std::string Tag(const ServedRequest& served) {
    return std::string(ChaosName(served.chaos)) + "/" + served.label;
}

struct Record {
    int download = 0;
    int result = -1;
    double ms = 0;
    double boundMs = 0;
    Settings settings;
    std::vector<ServedRequest> served;
    std::vector<Problem> problems;
    bool stopSent = false;
    int tempLeft = 0;
};

class Soak {
public:
    Soak(const Options& options, test::ChaosPeer& peer, const std::string& folder)
        : m_options(options),
          m_peer(peer),
          m_folder(folder),
          m_mutexPrefix("_MUTEX_soak" + test::UniqueSuffix()),
          m_watcher(options.threads) {}

    void Run() {
        std::vector<std::thread> workers;
        for (int w = 0; w < m_options.threads; ++w) {
            workers.emplace_back([this, w] { Work(w); });
        }
        for (std::thread& worker : workers) {
            worker.join();
        }
        std::sort(m_records.begin(), m_records.end(),
                  [](const Record& a, const Record& b) { return a.download < b.download; });
    }

    const std::vector<Record>& Records() const { return m_records; }
    long WatcherLooks() const { return m_watcher.Looks(); }

private:
    void Work(int worker) {
        std::unique_ptr<CHttpDownload> download;
        for (;;) {
            int n = m_next++;
            if (m_options.only >= 0) {
                if (n > 0) {
                    break;
                }
                n = m_options.only;
            } else if (n >= m_options.downloads) {
                break;
            }
            Record record = RunOne(worker, n, download);
            if (m_options.verbose || !record.problems.empty()) {
                Print(record);
            }
            std::lock_guard<std::mutex> lock(m_mutex);
            m_records.push_back(std::move(record));
        }
    }

    Record RunOne(int worker, int n, std::unique_ptr<CHttpDownload>& download) {
        Record record;
        auto problem = [&record](const std::string& kind, const std::string& text) {
            record.problems.push_back({kind, text});
        };
        record.download = n;
        record.settings = SettingsFor(m_options.seed, n);
        const Settings& s = record.settings;
        if (!download || s.fresh) {
            download = std::make_unique<CHttpDownload>();
            download->Options().mutexPrefix = m_mutexPrefix;
            download->Options().tempSuffix = ".down" + std::to_string(worker);
        }
        CHttpDownload& dl = *download;
        dl.Options().connectTimeoutMs = m_options.timeoutMs;
        dl.Options().recvTimeoutMs = m_options.timeoutMs;
        dl.Options().sendTimeoutMs = m_options.timeoutMs;
        dl.Options().retry.mode = s.mode;
        dl.Options().retry.maxRetries = s.maxRetries;
        dl.Options().retry.delayMs = s.delayMs;

        const std::string prefix = "/dl/" + std::to_string(n) + "/";
        const std::string resource = prefix + "a/r" + std::to_string(n) + ".bin";
        const std::string folder = m_folder + "d" + std::to_string(n);
        const std::string name = "got" + std::to_string(worker) + ".bin";
        const std::string target = folder + "/" + name;
        const std::size_t size = m_peer.BodySize(resource);
        m_watcher.Watch(worker, n, target, size);

        // The stop is repeated until the download returns: a stop that lands before
        // Download() has cleared the flag would otherwise be lost.
        std::mutex stopMutex;
        std::condition_variable stopWake;
        bool finished = false;
        Clock::time_point stopAt{};
        std::thread stopper;
        const auto start = Clock::now();
        const auto wallStart = std::chrono::system_clock::now();
        if (s.stopAfterMs >= 0) {
            stopper = std::thread([&] {
                std::unique_lock<std::mutex> lock(stopMutex);
                if (stopWake.wait_until(lock, start + std::chrono::milliseconds(s.stopAfterMs),
                                        [&] { return finished; })) {
                    return;
                }
                stopAt = Clock::now();
                record.stopSent = true;
                do {
                    dl.Stop();
                } while (!stopWake.wait_for(lock, std::chrono::milliseconds(10),
                                            [&] { return finished; }));
            });
        }
        record.result = dl.Download(m_peer.Url(resource), target).result;
        const auto end = Clock::now();
        const auto wallEnd = std::chrono::system_clock::now();
        if (stopper.joinable()) {
            {
                std::lock_guard<std::mutex> lock(stopMutex);
                finished = true;
            }
            stopWake.notify_all();
            stopper.join();
            // A stop sent after the return reached nothing.
            record.stopSent = record.stopSent && stopAt < end;
        }
        record.ms = MsSince(start, end);

        // The target right away, before anything else can touch it.
        struct stat st;
        const bool exists = stat(target.c_str(), &st) == 0;
        const std::string content = exists ? ReadAll(target) : std::string();
        m_watcher.Unwatch(worker);

        if (!m_peer.WaitSettled(prefix, 5000)) {
            problem("the peer did not settle", "the peer did not settle this download's requests");
        }
        record.served = m_peer.Take(prefix);
        Judge(record);
        for (std::string& found : m_watcher.Take(n)) {
            problem("the target appeared with the wrong size", found);
        }
        // A download led to another resource gets another body: that is the redirect's fault.
        const bool strayed =
            std::any_of(record.served.begin(), record.served.end(),
                        [&](const ServedRequest& r) { return r.resource != resource; });
        const std::string last = strayed                 ? "a redirect followed elsewhere"
                                 : record.served.empty() ? "-"
                                                         : Tag(record.served.back());

        if (record.result == DL_OK) {
            if (!exists) {
                problem("DL_OK without a target", "DL_OK without a target");
            } else if (content != m_peer.Body(resource)) {
                problem("DL_OK with a wrong body, ending on " + last,
                        "DL_OK with " + std::to_string(content.size()) +
                            " bytes that are not the body of " + std::to_string(size));
            } else if (!record.served.empty()) {
                const std::int64_t stamp = record.served.back().stamp;
                const auto wall = [](std::chrono::system_clock::time_point t) {
                    return static_cast<std::int64_t>(
                        std::chrono::duration_cast<std::chrono::seconds>(t.time_since_epoch())
                            .count());
                };
                const std::int64_t mtime = st.st_mtime;
                if (stamp >= 0 && mtime != stamp) {
                    problem("modified other than the Last-Modified, on " + last,
                            "modified " + std::to_string(mtime) + " rather than Last-Modified " +
                                std::to_string(stamp));
                } else if (stamp < 0 &&
                           (mtime < wall(wallStart) - 2 || mtime > wall(wallEnd) + 2)) {
                    problem("modified at a time the reply never gave, on " + last,
                            "modified " + std::to_string(mtime) +
                                " though no valid Last-Modified came");
                }
            }
        } else if (exists) {
            problem("a target after result " + std::to_string(record.result),
                    "result " + std::to_string(record.result) + " but a target of " +
                        std::to_string(content.size()) + " bytes");
        }

        // Whatever else is left in the folder is the temporary file of a failed attempt.
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
            const std::string left = entry.path().filename().string();
            if (left != name) {
                ++record.tempLeft;
                if (left != name + ".down" + std::to_string(worker)) {
                    problem("an unexpected file beside the target", "an unexpected file " + left);
                }
            }
        }
        std::filesystem::remove_all(folder, error);

        // The bound: per request one wait for the connection, one for sending and one for
        // receiving after the peer's last byte; the retry pauses; a stop is honoured within
        // one request's bound.
        const int waits = 3 * m_options.timeoutMs;
        double bound = m_options.slackMs;
        int longestRequest = 0;
        unsigned retries = 0;
        for (std::size_t i = 0; i < record.served.size(); ++i) {
            const ServedRequest& r = record.served[i];
            bound += waits + r.sendMs + kSlackPerRequestMs;
            longestRequest = std::max(longestRequest, r.sendMs);
            const After after = Expect(r).after;
            if (i + 1 < record.served.size() &&
                (after == After::Retries || after == After::MayRetry)) {
                ++retries;
            }
        }
        bound += static_cast<double>(retries) * s.delayMs;
        record.boundMs = bound;
        if (record.ms > bound) {
            problem("over the time bound, ending on " + last,
                    "took " + std::to_string(static_cast<int>(record.ms)) +
                        " ms, over the bound of " + std::to_string(static_cast<int>(bound)) +
                        " ms");
        }
        if (record.stopSent) {
            const double late = MsSince(stopAt, end);
            const double stopBound = waits + longestRequest + kSlackPerRequestMs +
                                     static_cast<double>(s.delayMs) + m_options.slackMs;
            if (late > stopBound) {
                problem(
                    "a stop honoured late",
                    "returned " + std::to_string(static_cast<int>(late)) + " ms after the stop");
            }
        }
        return record;
    }

    static void Judge(Record& record) {
        const Settings& s = record.settings;
        const int result = record.result;
        auto problem = [&record](const std::string& kind, const std::string& text) {
            record.problems.push_back({kind, text});
        };
        const std::string code = std::to_string(result);
        if (result != DL_OK && result != DL_STOPPED && result != DL_FAILED &&
            result != DL_NOT_FOUND) {
            problem("no download result", "result " + code + " is no download result");
            return;
        }
        const bool stopped = result == DL_STOPPED;
        if (stopped && !record.stopSent) {
            problem("DL_STOPPED without a stop", "DL_STOPPED though nobody stopped it");
        }
        const unsigned budget = s.mode == 0 ? 0 : s.mode == 1 ? s.maxRetries : UINT_MAX;
        if (record.served.empty()) {
            if (!stopped) {
                problem("no request", "no request reached the peer");
            }
            return;
        }
        unsigned retries = 0;
        int redirects = 0;
        const auto allows = [&](const Expectation& e) { return (e.allowed & Bit(result)) != 0; };
        for (std::size_t i = 0; i < record.served.size(); ++i) {
            const ServedRequest& r = record.served[i];
            const bool last = i + 1 == record.served.size();
            const std::string what = std::string(ChaosName(r.chaos)) + " (" + r.variant + ")";
            const std::string tag = Tag(r);
            if (!r.requestOk) {
                problem("a malformed request", "a malformed request for " + r.path);
            }
            const Expectation e = Expect(r);
            switch (e.after) {
                case After::Redirects:
                    if (++redirects > CHttpDownload::kMaxRedirects) {
                        if (!last) {
                            problem("followed too many redirects",
                                    "followed more than " +
                                        std::to_string(CHttpDownload::kMaxRedirects) +
                                        " redirects");
                        } else if (!stopped && result != DL_FAILED) {
                            problem("result " + code + " after too many redirects",
                                    "result " + code + " after too many redirects");
                        }
                    } else if (!last) {
                        if (r.slow && record.served[i + 1].path == r.path) {
                            --redirects;  // timed out on a slow redirect: a retry
                            if (++retries > budget) {
                                problem("retried beyond the budget, on " + tag,
                                        "retried " + what + " beyond a budget of " +
                                            std::to_string(budget));
                            }
                        } else if (record.served[i + 1].path != r.nextPath) {
                            problem("a redirect followed elsewhere, on " + tag,
                                    "after " + what + " asked for " + record.served[i + 1].path +
                                        " rather than " + r.nextPath);
                        }
                    } else if (!stopped && !(r.slow && result == DL_FAILED)) {
                        problem("result " + code + " without following " + tag,
                                "result " + code + " without following " + what);
                    }
                    break;
                case After::Retries:
                case After::MayRetry:
                    if (!last) {
                        if (++retries > budget) {
                            problem("retried beyond the budget, on " + tag,
                                    "retried " + what + " beyond a budget of " +
                                        std::to_string(budget));
                        }
                        if (record.served[i + 1].path != r.path) {
                            problem("retried another path, on " + tag,
                                    "after " + what + " retried with " + record.served[i + 1].path);
                        }
                    } else if (!stopped && !allows(e)) {
                        problem("result " + code + " after " + tag,
                                "result " + code + " after " + what);
                    } else if (!stopped && e.after == After::Retries && retries < budget) {
                        problem("gave up with retries left, on " + tag,
                                "gave up after " + std::to_string(retries) + " of " +
                                    std::to_string(budget) + " retries, on " + what);
                    }
                    break;
                case After::Ends:
                    if (!last) {
                        problem("went on after " + tag, "went on after " + what);
                    } else if (!stopped && !allows(e)) {
                        problem("result " + code + " after " + tag,
                                "result " + code + " after " + what);
                    }
                    break;
            }
        }
    }

    void Print(const Record& r) {
        std::lock_guard<std::mutex> lock(m_printMutex);
        std::printf(
            "download %d: result %d in %.0f ms (bound %.0f), mode %d, retries %u, pause %u ms%s\n",
            r.download, r.result, r.ms, r.boundMs, r.settings.mode, r.settings.maxRetries,
            r.settings.delayMs, r.stopSent ? ", stopped from outside" : "");
        for (const ServedRequest& s : r.served) {
            std::printf("    %-14s %s%s  [%s, %d ms]\n", ChaosName(s.chaos), s.variant.c_str(),
                        s.abandoned ? " (abandoned)" : "", s.path.c_str(), s.sendMs);
        }
        for (const Problem& p : r.problems) {
            std::printf("  PROBLEM: %s\n", p.text.c_str());
        }
        std::fflush(stdout);
    }

    const Options& m_options;
    test::ChaosPeer& m_peer;
    std::string m_folder;
    std::string m_mutexPrefix;
    Watcher m_watcher;
    std::atomic<int> m_next{0};
    std::mutex m_mutex;
    std::mutex m_printMutex;
    std::vector<Record> m_records;
};

bool ParseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        auto number = [&] { return std::strtoll(argv[++i], nullptr, 10); };
        if (arg == "--downloads" && hasValue) {
            o.downloads = static_cast<int>(number());
        } else if (arg == "--seed" && hasValue) {
            o.seed = static_cast<std::uint64_t>(number());
        } else if (arg == "--threads" && hasValue) {
            o.threads = static_cast<int>(number());
        } else if (arg == "--timeout-ms" && hasValue) {
            o.timeoutMs = static_cast<int>(number());
        } else if (arg == "--slack-ms" && hasValue) {
            o.slackMs = static_cast<int>(number());
        } else if (arg == "--only" && hasValue) {
            o.only = static_cast<int>(number());
        } else if (arg == "--verbose") {
            o.verbose = true;
        } else {
            std::fprintf(stderr,
                         "usage: %s [--downloads N] [--seed S] [--threads T] [--timeout-ms MS] "
                         "[--slack-ms MS] [--only N] [--verbose]\n",
                         argv[0]);
            return false;
        }
    }
    if (o.only >= 0) {
        o.threads = 1;
        o.verbose = true;
    }
    return o.downloads > 0 && o.threads > 0 && o.timeoutMs > 0;
}

int Main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        return 2;
    }
    for (int k = 0; k < static_cast<int>(Chaos::Count); ++k) {
        const auto rows =
            std::count_if(std::begin(kExpected), std::end(kExpected),
                          [k](const Expectation& e) { return static_cast<int>(e.chaos) == k; });
        if (rows != 1) {
            std::fprintf(stderr, "the table of expected outcomes has %d rows for %s\n",
                         static_cast<int>(rows), ChaosName(static_cast<Chaos>(k)));
            return 2;
        }
    }
    const int fdsBefore = CountEntries("/proc/self/fd");
    const int threadsBefore = CountEntries("/proc/self/task");
    if (SocketStartup() != 0) {
        std::fprintf(stderr, "no sockets\n");
        return 1;
    }
    const auto start = Clock::now();
    std::vector<Record> records;
    std::uint64_t connections = 0;
    int incomplete = 0;
    int maxConcurrent = 0;
    long looks = 0;
    {
        test::TempDir folder;
        test::ChaosOptions chaos;
        chaos.seed = options.seed;
        // Longer than any one request's bound: a client that ignored its time-outs must run
        // into the bound rather than be rescued by the peer hanging up.
        chaos.silenceMs = 3 * options.timeoutMs + kSlackPerRequestMs + options.slackMs + 1000;
        chaos.slowMs = options.timeoutMs / 2;
        test::ChaosPeer peer(chaos);
        if (!peer.Listening()) {
            std::fprintf(stderr, "the chaos peer cannot listen\n");
            return 1;
        }
        std::printf("soak: %d downloads, seed %llu, %d threads, time-outs %d ms, peer on port %u\n",
                    options.only >= 0 ? 1 : options.downloads,
                    static_cast<unsigned long long>(options.seed), options.threads,
                    options.timeoutMs, peer.Port());
        std::fflush(stdout);
        {
            Soak soak(options, peer, folder.Path());
            soak.Run();
            records = soak.Records();
            looks = soak.WatcherLooks();
        }
        peer.Stop();
        connections = peer.Connections();
        incomplete = peer.IncompleteRequests();
        maxConcurrent = peer.MaxConcurrent();
    }
    SocketCleanup();
    const double totalMs = MsSince(start, Clock::now());
    const int fdsAfter = CountEntries("/proc/self/fd");
    const int threadsAfter = CountEntries("/proc/self/task");

    constexpr int kResults = 5;
    const char* const kResultNames[kResults] = {"DL_OK", "1?", "DL_STOPPED", "DL_FAILED",
                                                "DL_NOT_FOUND"};
    int byResult[kResults + 1] = {};
    constexpr auto kKinds = static_cast<std::size_t>(Chaos::Count);
    long servedBy[kKinds] = {};
    int endedBy[kKinds][kResults + 1] = {};
    int problems = 0;
    int withProblems = 0;
    int tempLeft = 0;
    int stopsSent = 0;
    int slow = 0;
    int abandoned = 0;
    int stopsPlanned = 0;
    int byMode[3] = {};
    long requests = 0;
    const Record* longest = nullptr;
    const Record* tightest = nullptr;
    // Per kind: how often, and the first few downloads it happened in.
    std::map<std::string, std::pair<int, std::string>> problemKinds;
    for (const Record& r : records) {
        const int slot = r.result >= 0 && r.result < kResults ? r.result : kResults;
        ++byResult[slot];
        for (const ServedRequest& s : r.served) {
            ++servedBy[static_cast<std::size_t>(s.chaos)];
            slow += s.slow ? 1 : 0;
            abandoned += s.abandoned ? 1 : 0;
        }
        requests += static_cast<long>(r.served.size());
        if (!r.served.empty()) {
            ++endedBy[static_cast<std::size_t>(r.served.back().chaos)][slot];
        }
        problems += static_cast<int>(r.problems.size());
        withProblems += r.problems.empty() ? 0 : 1;
        for (const Problem& p : r.problems) {
            auto& [count, examples] = problemKinds[p.kind];
            if (++count <= 4) {
                examples += (examples.empty() ? "#" : ", #") + std::to_string(r.download);
            }
        }
        tempLeft += r.tempLeft;
        stopsSent += r.stopSent ? 1 : 0;
        stopsPlanned += r.settings.stopAfterMs >= 0 ? 1 : 0;
        ++byMode[r.settings.mode];
        if (longest == nullptr || r.ms > longest->ms) {
            longest = &r;
        }
        if (tightest == nullptr || r.ms / r.boundMs > tightest->ms / tightest->boundMs) {
            tightest = &r;
        }
    }

    std::printf("\n== summary (seed %llu)\n", static_cast<unsigned long long>(options.seed));
    std::printf(
        "downloads %zu, requests %ld, peer connections %llu (incomplete %d, at most %d at once)\n",
        records.size(), requests, static_cast<unsigned long long>(connections), incomplete,
        maxConcurrent);
    std::printf("results:");
    for (int i = 0; i < kResults; ++i) {
        if (i != 1) {
            std::printf(" %s %d", kResultNames[i], byResult[i]);
        }
    }
    std::printf(" other %d\n", byResult[1] + byResult[kResults]);
    std::printf("%-16s %8s %8s %6s %6s %6s %6s\n", "behaviour", "served", "last-of", "OK", "STOP",
                "FAIL", "404");
    for (std::size_t k = 0; k < kKinds; ++k) {
        const int* e = endedBy[k];
        std::printf("%-16s %8ld %8d %6d %6d %6d %6d\n", ChaosName(static_cast<Chaos>(k)),
                    servedBy[k], e[0] + e[1] + e[2] + e[3] + e[4] + e[5], e[DL_OK], e[DL_STOPPED],
                    e[DL_FAILED], e[DL_NOT_FOUND]);
    }
    if (longest != nullptr) {
        std::printf("longest download: #%d %.0f ms (bound %.0f ms), %zu requests, ending on %s\n",
                    longest->download, longest->ms, longest->boundMs, longest->served.size(),
                    longest->served.empty() ? "-" : ChaosName(longest->served.back().chaos));
        std::printf("closest to its bound: #%d %.0f ms of %.0f ms (%.0f%%)\n", tightest->download,
                    tightest->ms, tightest->boundMs, 100.0 * tightest->ms / tightest->boundMs);
    }
    std::printf(
        "retry modes: 0 (none) %d, 1 (up to 1-3) %d, 2 (forever, then stopped) %d; "
        "stops planned %d, sent before the end %d\n",
        byMode[0], byMode[1], byMode[2], stopsPlanned, stopsSent);
    std::printf("temporary files left by failed downloads %d, target looks by the watcher %ld\n",
                tempLeft, looks);
    std::printf(
        "replies the peer itself held up past %d ms %d, requests given up before the "
        "reply %d\n",
        options.timeoutMs / 2, slow, abandoned);
    std::printf("total %.1f s, %.1f downloads/s\n", totalMs / 1000,
                records.size() * 1000.0 / totalMs);
    std::printf("descriptors %d before, %d after; threads %d before, %d after\n", fdsBefore,
                fdsAfter, threadsBefore, threadsAfter);
    bool failed = problems > 0;
    if (fdsAfter != fdsBefore) {
        std::printf("LEAK: %d descriptors\n", fdsAfter - fdsBefore);
        failed = true;
    }
    if (threadsAfter != threadsBefore) {
        std::printf("LEAK: %d threads\n", threadsAfter - threadsBefore);
        failed = true;
    }
    // A stop may come between the connection and the request: one such connection per stop.
    if (incomplete > stopsSent) {
        std::printf("PROBLEM: %d connections without a complete request, %d stops\n", incomplete,
                    stopsSent);
        failed = true;
    }
    std::printf("problems %d in %d downloads\n", problems, withProblems);
    for (const auto& [kind, seen] : problemKinds) {
        std::printf("  %5d  %s (%s)\n", seen.first, kind.c_str(), seen.second.c_str());
    }
    if (withProblems > 0) {
        std::printf("replay one with: --seed %llu --only N\n",
                    static_cast<unsigned long long>(options.seed));
    }
    std::printf("%s\n", failed ? "SOAK FAILED" : "soak passed");
    return failed ? 1 : 0;
}

}  // namespace
}  // namespace tavrin

int main(int argc, char** argv) {
    return tavrin::Main(argc, argv);
}
