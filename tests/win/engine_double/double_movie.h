// The launcher's self-test movie as the double plays it (see double_movie.cpp).
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "engine_double/engine_double.h"

namespace tavrin::test::engine_double {

class SelfTestMovie {
public:
    // Opens the relay's connection `url` with the page's web messages and sends the movie's
    // first lines: "sysmem <answer>", then "echo" (answered "echoed" once it comes back). The
    // connection ends when the relay ends it, with the game window.
    static std::shared_ptr<SelfTestMovie> Start(std::weak_ptr<PageDouble> page,
                                                const std::string& url, const std::string& sysmem);
    // A key that reached the page: told to the game server; the first one takes the stage
    // to full screen and back, a second apart, as the movie does.
    void Key(UINT key);

    struct State;

private:
    std::shared_ptr<State> m_state;
};

}  // namespace tavrin::test::engine_double
