// CShockwaveflash1: the Flash player of the game window. The game movie plays in Ruffle
// inside a browser view; this wrapper keeps the members the launcher uses of a Flash control:
// the properties it puts before the movie loads, calls into the movie, the reply to the
// movie's calls, the player version, and the movie's two events (FlashCall, FSCommand).
// What the control did on its own for a movie it does here too: sockets to the game's
// servers, Chinese device fonts, saved data, links in the player's browser, full screen.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QWebEngineView>

#include "app/config.h"

class QWebEngineUrlRequestJob;

namespace tavrin::ui {

class CPageChannel;
class CSocketBridge;
class FlashPage;

class CShockwaveflash1;

// The control's properties as the game window puts them (quality, script access, full screen,
// window mode, menu), in that order; the movie's variables and address come after.
void PutGamePlayerOptions(CShockwaveflash1& player);

class CShockwaveflash1 : public QWebEngineView {
    Q_OBJECT

public:
    explicit CShockwaveflash1(QWidget* parent = nullptr);
    ~CShockwaveflash1() override;

    // Properties, in the order the launcher puts them; putting the movie starts playing it.
    void put_Quality2(const QString& quality);
    void put_AllowScriptAccess(const QString& access);
    void put_AllowFullScreen(const QString& allow);
    void put_WMode(const QString& mode);
    void put_Menu(bool menu);
    void put_FlashVars(const QString& vars);
    void put_Movie(const QString& url);
    // The game servers of a trusted client configuration, which the movie may reach
    // without a socket policy; before the movie is put.
    void SetSocketEndpoints(const std::vector<SocketEndpoint>& endpoints);
    // The player also says what it cannot do for the movie (PlayerMessage), not only its
    // errors: for reports on a movie.
    void ReportPlayerWarnings() { m_bPlayerWarnings = true; }

    // Calls a callback the movie registered; the request is in the ExternalInterface XML
    // form. Returns the movie's answer in the same form, or an empty string on failure
    // (no such callback, or no answer within two seconds).
    QString CallFunction(const QString& request);
    // The same, for a caller that does not use the answer: returns at once.
    void CallFunctionWithoutWaiting(const QString& request);
    // The answer to the FlashCall being handled.
    void SetReturnValue(const QString& reply);
    // The Flash version the player plays movies as (major << 16 | minor << 8), 0 when the
    // player cannot run here.
    std::int32_t FlashVersion() const;

    // True while the player runs an event loop of its own for a call (the window holding
    // it must not be deleted then); nestedWaitEnded() tells when the last has ended.
    bool InNestedWait() const { return m_nNestedWaits > 0; }
    // Leaves the page's full screen, if the movie is in it.
    void ExitFullScreen();
    CSocketBridge* SocketBridge() const { return m_pBridge; }

    // Every property put, "Name=value", in order (what the movie was started with).
    QStringList m_propertyLog;

    // A message of the player page (a movie's call, command, link, socket, failure) as
    // JSON; `answer` gets the reply, at once or (for a socket) once it is known.
    void OnPageMessage(const QString& json, const std::function<void(QString)>& answer);
    // The player pages reach their player through requests for the Flash player's scheme
    // (a synchronous request: a dialog would end the page's full screen). False when the
    // request is not one of theirs.
    static bool AnswerPageRequest(QWebEngineUrlRequestJob* job);
    // True when the request comes from the page of the player whose bridge token it names.
    static bool IsPlayerPageRequest(const QWebEngineUrlRequestJob* job, const QString& token);

signals:
    // The movie called the launcher; answer with SetReturnValue before returning.
    void FlashCall(const QString& request);
    void FSCommand(const QString& command, const QString& args);
    // The movie asks for full screen (true) or leaves it (false).
    void FullScreenRequested(bool on);
    // The player could not start or the movie could not be played; the page says so.
    void PlayerFailed(const QString& reason);
    // The movie's first frame is there; `movie` is what the player read of it (swfVersion,
    // isActionScript3, width, height, frameRate, numFrames).
    void MovieStarted(const QJsonObject& movie);
    // What the player logs (features it lacks, sockets it has no way to), once
    // ReportPlayerWarnings asked for it; `error` for the console's errors.
    void PlayerMessage(bool error, const QString& text);
    // How the movie's connect to a game server ended: "connected (listed)", "refused: ...",
    // "failed: ...".
    void SocketAnswered(const QString& endpoint, const QString& outcome);
    void nestedWaitEnded();

private:
    QString BuildPlayerPage() const;
    void OnSocketRequest(const QString& proxyUrl, const std::function<void(QString)>& answer);
    // A call on the page's channel (its game sockets' bytes), answered when the relay can.
    void OnChannelCall(const QString& json, std::function<void(QString)> answer);
    void EndNestedWait();

    FlashPage* m_pPage;
    CPageChannel* m_pChannel;
    CSocketBridge* m_pBridge = nullptr;
    std::vector<SocketEndpoint> m_listedSockets;
    QString m_strQuality;
    QString m_strAllowScriptAccess;
    QString m_strAllowFullScreen;
    QString m_strWMode;
    bool m_bMenu = true;
    QString m_strFlashVars;
    QString m_strMovie;
    QString m_strReturnValue;
    QString m_strNonce;
    QString m_strBridgeToken;
    bool m_bPlayerWarnings = false;
    friend class FlashPage;
    int m_nNestedWaits = 0;
};

}  // namespace tavrin::ui
