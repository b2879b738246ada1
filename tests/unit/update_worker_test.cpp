// The update check end to end against a scripted HTTP server, with a recording stand-in for
// starting the updater.
#include "update/update_worker.h"

#include <minizip/zip.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <map>
#include <mutex>

#include "net/socket_transport.h"
#include "platform/file_system.h"
#include "platform/named_mutex.h"
#include "support/http_peer.h"
#include "support/temp_dir.h"

namespace tavrin {
namespace {

using test::UniqueSuffix;

using test::HttpPeer;
using test::HttpReply;
using test::HttpRequest;

struct ZipFile {
    std::string name;
    std::string content;
    std::uint32_t unixMode;  // with the file type bits
};

// A ZIP archive as a Unix zip tool makes it.
std::string MakeZip(const test::TempDir& tmp, const std::vector<ZipFile>& files) {
    const std::string path = tmp / ("made-" + UniqueSuffix() + ".zip");
    zipFile zip = zipOpen(path.c_str(), APPEND_STATUS_CREATE);
    for (const ZipFile& f : files) {
        zip_fileinfo info{};
        info.external_fa = static_cast<uLong>(f.unixMode) << 16;
        zipOpenNewFileInZip4(zip, f.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                             Z_DEFLATED, Z_DEFAULT_COMPRESSION, 0, -MAX_WBITS, DEF_MEM_LEVEL,
                             Z_DEFAULT_STRATEGY, nullptr, 0, 3 << 8 | 20, 0);
        zipWriteInFileInZip(zip, f.content.data(), static_cast<unsigned>(f.content.size()));
        zipCloseFileInZip(zip);
    }
    zipClose(zip, nullptr);
    return test::ReadFile(path);
}

HttpReply Ok(const std::string& body) {
    return {"HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
            "\r\nConnection: close\r\n\r\n" + body};
}

class UpdateCheck : public ::testing::Test {
protected:
    UpdateCheck()
        : m_peer([this](const HttpRequest& r) {
              std::lock_guard<std::mutex> lock(m_mutex);
              for (const auto& [prefix, body] : m_files) {
                  if (r.target.rfind(prefix, 0) == 0) {
                      return Ok(body);
                  }
              }
              return HttpReply{"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n"};
          }) {}

    void SetUp() override {
        ASSERT_EQ(SocketStartup(), 0);
        m_settings.baseName = "Launcher" + UniqueSuffix();
        m_settings.dataDir = m_tmp / "data/";
        m_settings.updateUrl = m_peer.Url("/update.ini?t=");
        m_settings.modulePath = "/opt/games/Launcher";
        m_settings.launch = [this](const std::string& program, const std::string& argument) {
            m_launched.push_back(program + " " + argument);
            return m_launchWorks;
        };
    }
    void TearDown() override { SocketCleanup(); }

    void Offer(const std::string& version, bool withProgram = true) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_files["/update.ini"] = "[update]\r\nversionNum=" + version +
                                 "\r\nGameUrl=" + m_peer.Url("/pkg/Game.zip") +
                                 "\r\nupdateUrl=" + m_peer.Url("/pkg/update.zip") + "\r\n";
        m_files["/pkg/update.zip"] = MakeZip(m_tmp, {{"update", "#!/bin/sh\n", 0100755}});
        m_files["/pkg/Game.zip"] = withProgram ? MakeZip(m_tmp, {{"readme.txt", "new", 0100644},
                                                                 {"tavrin-new", "ELF...", 0100755}})
                                               : MakeZip(m_tmp, {{"readme.txt", "new", 0100644}});
    }

    int Requests(const std::string& prefix) const {
        int n = 0;
        for (const HttpRequest& r : m_peer.Requests()) {
            n += r.target.rfind(prefix, 0) == 0 ? 1 : 0;
        }
        return n;
    }

    test::TempDir m_tmp;
    std::mutex m_mutex;
    std::map<std::string, std::string> m_files;
    HttpPeer m_peer;
    UpdateSettings m_settings;
    std::vector<std::string> m_launched;
    bool m_launchWorks = true;
};

TEST_F(UpdateCheck, NoNewerVersionDownloadsOnlyTheDescription) {
    Offer("33");
    m_tmp.Write("data/old/leftover.bin", "from before");
    const UpdateReport report = RunUpdateCheck(m_settings);
    EXPECT_TRUE(report.checked);
    EXPECT_EQ(report.offeredVersion, 33);
    EXPECT_FALSE(report.handedOver);
    EXPECT_EQ(Requests("/pkg/"), 0);
    const auto entries = platform::ListDirectory(m_settings.dataDir);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "update.ini");
    // The address carries the time, so that no cache answers for the service.
    ASSERT_EQ(Requests("/update.ini?t="), 1);
}

TEST_F(UpdateCheck, ANewerVersionIsUnpackedAndHandedOver) {
    Offer("40abc");  // read as 40
    const UpdateReport report = RunUpdateCheck(m_settings);
    ASSERT_TRUE(report.handedOver);
    EXPECT_EQ(report.offeredVersion, 40);
    const std::string game = m_settings.dataDir + "Game/";
    ASSERT_EQ(m_launched.size(), 1u);
    EXPECT_EQ(m_launched[0], m_settings.dataDir + "Update/update /opt/games/Launcher*" + game +
                                 "*" + m_settings.baseName);
    // The new launcher is staged under our own name, still executable.
    struct stat st;
    ASSERT_EQ(stat((game + m_settings.baseName).c_str(), &st), 0);
    EXPECT_NE(st.st_mode & 0100, 0u);
    EXPECT_EQ(test::ReadFile(game + "readme.txt"), "new");
}

TEST_F(UpdateCheck, NoHandOverWithoutAProgramOrWhenTheUpdaterWillNotStart) {
    Offer("34", false);
    EXPECT_FALSE(RunUpdateCheck(m_settings).handedOver);
    EXPECT_TRUE(m_launched.empty());
    Offer("34", true);
    m_launchWorks = false;
    const UpdateReport report = RunUpdateCheck(m_settings);
    EXPECT_FALSE(report.handedOver);  // the old launcher goes on
    EXPECT_EQ(m_launched.size(), 1u);
}

TEST_F(UpdateCheck, EveryDownloadFailureMeansNoUpdate) {
    for (const char* missing : {"/update.ini", "/pkg/update.zip", "/pkg/Game.zip"}) {
        Offer("35");
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_files.erase(missing);
        }
        const UpdateReport report = RunUpdateCheck(m_settings);
        EXPECT_FALSE(report.handedOver) << missing;
        EXPECT_TRUE(m_launched.empty()) << missing;
    }
}

TEST_F(UpdateCheck, ASecondCopyWhileOneIsCheckingTouchesNothing) {
    Offer("35");
    m_tmp.Write("data/keep.txt", "mine");
    platform::NamedMutex first(m_settings.baseName + "_Update");
    const UpdateReport report = RunUpdateCheck(m_settings);
    EXPECT_FALSE(report.checked);
    EXPECT_EQ(m_peer.Requests().size(), 0u);
    EXPECT_EQ(test::ReadFile(m_tmp / "data/keep.txt"), "mine");
}

TEST_F(UpdateCheck, NeverRunsWithoutABaseName) {
    m_tmp.Write("data/keep.txt", "mine");
    m_settings.baseName.clear();
    EXPECT_FALSE(RunUpdateCheck(m_settings).checked);
    EXPECT_EQ(test::ReadFile(m_tmp / "data/keep.txt"), "mine");
}

TEST(DownloadMutexPrefix, FromTheFolderBeforeDownload) {
    EXPECT_EQ(DownloadMutexPrefix("/home/u/.local/share/tavrin/"), "_MUTEX");
    EXPECT_EQ(DownloadMutexPrefix("/srv/games/Download/tavrin/"), "games_MUTEX");
}

}  // namespace
}  // namespace tavrin
