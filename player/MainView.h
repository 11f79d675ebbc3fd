// The frame's client window: the video view on top, the controls below.
#pragma once

#include <wx/window.h>

class ControlsPanel;
class VideoView;

class MainView : public wxWindow {
    wxDECLARE_CLASS(MainView);
    wxDECLARE_EVENT_TABLE();

public:
    MainView(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size, long style,
             const wxString& name);
    ~MainView() override;

    ControlsPanel* controlsPanel;
    VideoView* videoView;

private:
    void OnEraseBackground(wxEraseEvent& event);
    void OnSize(wxSizeEvent& event);
};
