#include "flow/login_rules.h"

#include <gtest/gtest.h>

#include "platform/url_fetch.h"

namespace tavrin {
namespace {

TEST(IsVerifiedAddress, NeedsTheExactMarkerSomewhere) {
    const struct {
        const char* address;
        const char* marker;
        bool verified;
    } cases[] = {
        {"http://h/game/verify?u=1", "/game/verify", true},
        {"http://h/x?next=/game/verify", "/game/verify", true},
        {"http://h/GAME/VERIFY?u=1", "/game/verify", false},  // case counts
        {"http://h/login", "/game/verify", false},
        {"http://h/game/verify", "", false},  // an empty marker never matches
        {"", "", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsVerifiedAddress(c.address, c.marker), c.verified) << c.address;
    }
}

TEST(ParseRoomArgument, RoundsLikeAutomationAndRefusesWhatDoesNotFit) {
    const struct {
        const char* text;
        bool ok;
        std::int32_t room;
    } cases[] = {
        {"3", true, 3},
        {" 7 ", true, 7},
        {"-12", true, -12},
        {"2.5", true, 2},  // halves go to the even neighbour
        {"3.5", true, 4},
        {"2.6", true, 3},
        {"-2.5", true, -2},
        {"2147483647", true, 2147483647},
        {"-2147483648", true, -2147483647 - 1},
        {"2147483648", false, 0},
        {"1e10", false, 0},
        {"-1e300", false, 0},
        {"NaN", false, 0},
        {"Infinity", false, 0},
        {"undefined", false, 0},
        {"3abc", false, 0},
        {"", false, 0},
    };
    for (const auto& c : cases) {
        std::int32_t room = -99;
        EXPECT_EQ(ParseRoomArgument(c.text, room), c.ok) << c.text;
        EXPECT_EQ(room, c.ok ? c.room : -99) << c.text;
    }
}

TEST(IsWebAddress, OnlyHttpAndHttpsWithAHostLeaveTheLauncher) {
    const struct {
        const char* address;
        bool web;
    } cases[] = {
        {"http://h/x", true},
        {"HTTPS://h:8443/x?y=1", true},
        {"Http://h", true},
        {"file:///etc/passwd", false},
        {"\\\\server\\share\\x.exe", false},
        {"http:\\\\server\\x", false},
        {"javascript:alert('http://x')", false},
        {"tavrin-ruffle:/ruffle.js", false},
        {"steam://run/1", false},
        {"http://", false},
        {"ftp://h/f", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::IsWebAddress(c.address), c.web) << c.address;
    }
}

TEST(BuildAreaPageUrl, AppendsTheTimeAsAParameter) {
    EXPECT_EQ(BuildAreaPageUrl("http://h/area", 1700000000), "http://h/area?v=1700000000");
    EXPECT_EQ(BuildAreaPageUrl("http://h/area?s=2", 1700000000), "http://h/area?s=2&v=1700000000");
    EXPECT_EQ(BuildAreaPageUrl("", 5), "?v=5");
    // Low 32 bits as a signed number, as the address has always carried it.
    EXPECT_EQ(BuildAreaPageUrl("a", 0x80000000LL), "a?v=-2147483648");
}

TEST(ClassifyNavigationErrors, PageErrorsAreStatus400To505AndUnknownAddresses) {
    const struct {
        int status;
        NavigationErrorKind kind;
    } statuses[] = {
        {399, NavigationErrorKind::kNavigationError}, {400, NavigationErrorKind::kPageError},
        {404, NavigationErrorKind::kPageError},       {505, NavigationErrorKind::kPageError},
        {506, NavigationErrorKind::kNavigationError},
    };
    for (const auto& c : statuses) {
        EXPECT_EQ(ClassifyHttpStatus(c.status), c.kind) << c.status;
    }
    EXPECT_EQ(ClassifyEngineError(-105), NavigationErrorKind::kPageError);
    EXPECT_EQ(ClassifyEngineError(-102), NavigationErrorKind::kNavigationError);
    EXPECT_EQ(ClassifyEngineError(-3), NavigationErrorKind::kNavigationError);
}

TEST(InLayerDragBand, CoversRows1To99) {
    EXPECT_FALSE(InLayerDragBand(0));
    EXPECT_TRUE(InLayerDragBand(1));
    EXPECT_TRUE(InLayerDragBand(99));
    EXPECT_FALSE(InLayerDragBand(100));
}

}  // namespace
}  // namespace tavrin
