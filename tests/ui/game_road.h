// The road into the game against the demo operator service (nginx and its game server),
// shared by the tests of the game window and of the games that play in it.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <QPoint>
#include <QString>

#include "app/config.h"
#include "demo_service.h"
#include "support/temp_dir.h"
#include "ui/message_box.h"

namespace tavrin::ui {

class CFlashPayer;
class CMLHtmlView;

class GameRoad : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    CFlashPayer* Game() const;
    CMLHtmlView* LoginView() const;

    // Shows the login window and enters the game of the demo's server `server` ("1" plays
    // the ActionScript 2 demo, "3" the ActionScript 3 arena) through its verification address.
    void EnterGame(const char* server = "1");

    // One value of the movie's last state report ("key=value;..."); empty when not there.
    QString MovieState(const QString& key) const;
    // Waits until the movie has reported `key` as `value`.
    bool WaitForMovieState(const QString& key, const QString& value);
    // Calls the arena's test callback.
    QString AskArena(const QString& action);
    // Where a point of a 1000 x 600 stage shows in the player, scaled to fit and centred.
    QPoint StagePoint(int x, int y) const;

    // The demo operator's platform configuration, as start-up reads it.
    PlatformConfigData m_platform;
    test::DemoService m_service;
    test::TempDir m_tmp;
    std::vector<std::string> m_opened;
    std::vector<QString> m_messages;
    std::vector<std::string> m_movieCalls;  // the names of every FlashCall, in order
    MessageAnswer m_answer = MessageAnswer::kNo;
    QString m_movieState;
};

}  // namespace tavrin::ui
