#include "game/player_page.h"

#include <gtest/gtest.h>

#include <string>

namespace tavrin {
namespace {

struct MessageCase {
    const char* json;
    const char* kind;
    const char* field;  // the value the kind carries
};

TEST(PlayerPageMessages, EachKindCarriesItsOwnValueAndAnythingElseIsNothing) {
    const MessageCase cases[] = {
        {R"({"kind":"flashcall","request":"<invoke name=\"GetSysMem\"/>"})", "flashcall",
         "<invoke name=\"GetSysMem\"/>"},
        {R"({"kind":"fscommand","command":"GameRefresh","args":""})", "fscommand", "GameRefresh"},
        {R"({"kind":"navigate","url":"https://example.test/"})", "navigate",
         "https://example.test/"},
        {R"({"kind":"socket","url":"ws://127.0.0.1:1/p/0"})", "socket", "ws://127.0.0.1:1/p/0"},
        {R"({"kind":"failed","reason":"broken","detail":"404"})", "failed", "broken"},
        {R"({"kind":"relay","op":"send","url":"ws://r/t/1","data":"aGk="})", "relay", "ws://r/t/1"},
        {R"({"kind":"relay","op":"send","url":"ws://r/t/1","data":"a G k="})", "", ""},
        {R"({"kind":"evil","url":"x"})", "", ""},
        {R"({"kind":"flashcall","request":17})", "flashcall", ""},
        {R"(["kind","flashcall"])", "", ""},
        {"{\"kind\":\"flash", "", ""},
        {"", "", ""},
    };
    for (const MessageCase& c : cases) {
        SCOPED_TRACE(c.json);
        const PageMessage m = ParsePageMessage(c.json);
        EXPECT_EQ(m.kind, c.kind);
        EXPECT_EQ(m.request + m.command + m.url + m.reason, c.field);
    }
}

TEST(PlayerPageMessages, AStartedMovieIsReadAndKeptForReports) {
    const PageMessage m = ParsePageMessage(
        R"({"kind":"started","movie":{"swfVersion":10,"isActionScript3":true,"width":960,)"
        R"("height":560,"frameRate":24}})");
    EXPECT_EQ(m.movie.swfVersion, 10);
    EXPECT_TRUE(m.movie.actionScript3);
    EXPECT_EQ(m.movie.width, 960);
    EXPECT_EQ(m.movie.frameRate, 24);
    EXPECT_NE(m.movieJson.find("\"height\":560"), std::string::npos);
}

TEST(PlayerPageBridge, TheMessageComesOutOfItsQueryDecoded) {
    const std::pair<const char*, const char*> cases[] = {
        {"m=%7B%22kind%22%3A1%7D", "{\"kind\":1}"},
        {"x=1&m=a%2Bb&m=second", "a+b"},
        {"mm=1", ""},
        {"", ""},
    };
    for (const auto& [query, message] : cases) {
        EXPECT_EQ(BridgeMessageFromQuery(query), message) << query;
    }
}

TEST(PlayerPageBuild, OperatorTextCannotEndTheScriptsOrRunItsOwn) {
    PlayerPageSetup setup;
    setup.movie = "http://game.test/a.swf";
    setup.options.flashVars = "x=</script><script>alert(1)</script><!--";
    setup.files = "https://files.test/";
    setup.nonce = "N0NCE";
    setup.scriptOrigin = "https://files.test";
    setup.pageScript = "var s = '</SCRIPT>';";
    const std::string page = BuildPlayerPage(setup);
    // The only script elements are the launcher's: the setup, ruffle.js and the page's.
    std::size_t scripts = 0;
    for (std::size_t at = 0; (at = page.find("<script", at)) != std::string::npos; ++at) {
        ++scripts;
    }
    EXPECT_EQ(scripts, 3u);
    EXPECT_EQ(page.find("</SCRIPT>"), std::string::npos);
    EXPECT_NE(page.find("script-src 'nonce-N0NCE' https://files.test 'wasm-unsafe-eval'"),
              std::string::npos);
    EXPECT_NE(page.find("<script src=\"https://files.test/ruffle.js\">"), std::string::npos);
}

TEST(PlayerPageScripts, ACallCarriesTheRequestAsOneStringWhateverItHolds) {
    const std::string script = CallFunctionScript("<invoke name=\"a\"/>\"); alert(1); (\"");
    EXPECT_NE(script.find(R"(("<invoke name=\"a\"/>\"); alert(1); (\""))"), std::string::npos);
    EXPECT_EQ(SocketAnswer("", "refused"), R"({"error":"refused"})");
    EXPECT_EQ(SocketAnswer("ws://127.0.0.1:9/t", ""), R"({"url":"ws://127.0.0.1:9/t"})");
}

}  // namespace
}  // namespace tavrin
