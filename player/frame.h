// The program's top-level window with its menus.
#pragma once

#include <wx/frame.h>

class frame : public wxFrame {
    wxDECLARE_CLASS(frame);
    wxDECLARE_EVENT_TABLE();

public:
    enum {
        ID_FRAME = 10000,
        ID_EXIT = 10002,
        ID_ABOUT = 10003,
        ID_MAIN_VIEW = 10004,
        ID_OPEN_VIDEO = 10005,
        ID_PLAY = 10007,
        ID_PAUSE = 10008,
        ID_STOP = 10009,
        ID_CLOSE_VIDEO = 10012,
    };

    frame(wxWindow* parent, wxWindowID id, const wxString& caption, const wxPoint& pos, const wxSize& size,
          long style);

    bool Create(wxWindow* parent, wxWindowID id, const wxString& caption, const wxPoint& pos,
                const wxSize& size, long style);
    void CreateControls();

private:
    void OnOpenVideoClick(wxCommandEvent& event);
    void OnCloseVideoClick(wxCommandEvent& event);
    void OnCloseVideoUpdate(wxUpdateUIEvent& event);
    void OnExitClick(wxCommandEvent& event);
    void OnPlayClick(wxCommandEvent& event);
    void OnPlayUpdate(wxUpdateUIEvent& event);
    void OnPauseClick(wxCommandEvent& event);
    void OnPauseUpdate(wxUpdateUIEvent& event);
    void OnStopClick(wxCommandEvent& event);
    void OnStopUpdate(wxUpdateUIEvent& event);
    void OnAboutClick(wxCommandEvent& event);
};
