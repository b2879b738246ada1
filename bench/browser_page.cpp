// Writes the launcher's player page for a movie as a browser would load it from a web
// server, for bench/vs-browser.sh: the same page builder, page script, Ruffle files and
// options, and the same Chinese font (the one the launcher hands its player), so that the
// browser plays the movie exactly as the launcher does. The movie's calls go to the server
// (which has no answer for them), and the first one is reported there with the time since
// the page's navigation began:
//   GET /bench/first-frame?ms=N
//
//   tavrin_browser_page FOLDER ORIGIN MOVIE_URL FLASHVARS FILES_PREFIX PAGE_SCRIPT
// writes FOLDER/index.html and FOLDER/font.otf.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "game/player_font.h"
#include "game/player_page.h"

namespace {

// Before Ruffle: the first call of the movie (a flashcall to the bridge) is the first frame.
const char kFirstFrameHook[] = R"JS(
(function () {
  const open = XMLHttpRequest.prototype.open;
  let reported = false;
  XMLHttpRequest.prototype.open = function (method, url) {
    if (!reported && decodeURIComponent(String(url)).includes('"kind":"flashcall"')) {
      reported = true;
      navigator.sendBeacon('/bench/first-frame?ms=' + Math.round(performance.now()));
    }
    return open.apply(this, arguments);
  };
})();
)JS";

bool ReadFile(const std::string& path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    out = bytes.str();
    return static_cast<bool>(in);
}

bool WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 7) {
        std::fprintf(stderr,
                     "usage: tavrin_browser_page FOLDER ORIGIN MOVIE_URL FLASHVARS FILES_PREFIX "
                     "PAGE_SCRIPT\n");
        return 2;
    }
    const std::string folder = argv[1];
    tavrin::PlayerPageSetup setup;
    setup.movie = argv[3];
    // The options the launcher's game window puts on its player.
    setup.options.quality = "high";
    setup.options.allowScriptAccess = "sameDomain";
    setup.options.allowFullScreen = true;
    setup.options.wmode = "window";
    setup.options.menu = false;
    setup.options.flashVars = argv[4];
    setup.files = argv[5];
    setup.scriptOrigin = argv[2];
    setup.bridge = std::string(argv[2]) + "/bench/bridge?m=";
    setup.nonce = "bench";
    setup.preludeScripts = {kFirstFrameHook};
    if (!ReadFile(argv[6], setup.pageScript)) {
        std::fprintf(stderr, "cannot read the page script %s\n", argv[6]);
        return 1;
    }
    const tavrin::PlayerFont& font = tavrin::GetPlayerFont();
    if (!font.bytes.empty()) {
        setup.fontUrl = std::string(argv[2]) + "/bench/font.otf";
        setup.fontFamilies = font.families;
        if (!WriteFile(folder + "/font.otf", font.bytes)) {
            return 1;
        }
    } else {
        std::fprintf(stderr, "no Chinese font: the page has none either\n");
    }
    return WriteFile(folder + "/index.html", tavrin::BuildPlayerPage(setup)) ? 0 : 1;
}
