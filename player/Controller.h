// The application's coordinator between the windows and the one Player.
#pragma once

#include <wx/event.h>
#include <wx/string.h>

#include <memory>

#include "Player.h"

class MainView;

// Carries one playback time, as text, from the Controller to itself.
wxDECLARE_EVENT(EVT_PLAYER_TIME, wxCommandEvent);

class Controller : public wxEvtHandler, public PlayerListener {
    wxDECLARE_DYNAMIC_CLASS(Controller);
    wxDECLARE_EVENT_TABLE();

public:
    static Controller& get();

    // 0, or -1 (no main view registered), -2 (the Player's GL set-up failed).
    int init();
    void shutdown();

    void openVideo(const wxString& path);
    void openVideoDialog();
    void closeVideo();
    int play();
    int pause();
    int stop();
    void seek(double seconds);

    bool hasVideo() const;
    bool canPlay() const;
    bool canPause() const;
    bool canStop() const;

    void showAbout();

    void onTimeUpdate(double time) override;
    void onPlayerTime(wxCommandEvent& event);

    // The text an EVT_PLAYER_TIME event carries for `time`, and back.
    static wxString timeToEventText(double time);
    static double eventTextToTime(const wxString& text);

    // How many times shutdown has run (the exit path runs it once).
    int getShutdownCount() const { return shutdownCount; }

    std::shared_ptr<Player> player;
    MainView* mainView;
    wxString glVendor;
    wxString glRenderer;
    wxString glVersion;
    wxString glShadingLanguageVersion;

private:
    Controller();

    int shutdownCount = 0;
};
