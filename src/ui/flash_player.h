// CShockwaveflash1: the Flash player of the game window. The game movie plays in Ruffle
// inside a browser view; this wrapper keeps the members the launcher uses of a Flash control:
// the properties it puts before the movie loads, calls into the movie, the reply to the
// movie's calls, the player version, and the movie's two events (FlashCall, FSCommand).
#pragma once

#include <QString>
#include <QStringList>
#include <QWebEngineView>
#include <cstdint>

namespace tavrin::ui {

class FlashPage;

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

    // Calls a callback the movie registered; the request is in the ExternalInterface XML
    // form. Returns the movie's answer in the same form, or an empty string on failure.
    QString CallFunction(const QString& request);
    // The answer to the FlashCall being handled.
    void SetReturnValue(const QString& reply);
    // The Flash version the player plays movies as (major << 16 | minor << 8), 0 when the
    // player cannot run here.
    std::int32_t FlashVersion() const;

    // The names the movie may call through ExternalInterface; each reaches FlashCall.
    QStringList m_callNames;
    // What m_callNames starts as ("GetSysMem"); tests add names they want to hear.
    static QStringList& DefaultCallNames();
    // Every property put, "Name=value", in order (what the movie was started with).
    QStringList m_propertyLog;

    // Called by the player page.
    QString OnPageMessage(const QString& json);

signals:
    // The movie called the launcher; answer with SetReturnValue before returning.
    void FlashCall(const QString& request);
    void FSCommand(const QString& command, const QString& args);

private:
    QString BuildPlayerPage() const;

    FlashPage* m_pPage;
    QString m_strQuality;
    QString m_strAllowScriptAccess;
    QString m_strAllowFullScreen;
    QString m_strWMode;
    bool m_bMenu = true;
    QString m_strFlashVars;
    QString m_strMovie;
    QString m_strReturnValue;
};

}  // namespace tavrin::ui
