// The transport strip under the video: times, timeline slider and buttons.
#pragma once

#include <wx/bitmap.h>
#include <wx/panel.h>

#include <cstdint>

class ControlsPanel : public wxPanel {
    wxDECLARE_DYNAMIC_CLASS(ControlsPanel);
    wxDECLARE_EVENT_TABLE();

public:
    enum {
        ID_SLIDER = 10001,
        ID_PLAY_BUTTON = 10002,
        ID_PAUSE_BUTTON = 10003,
        ID_STOP_BUTTON = 10004,
        ID_CURRENT_TIME = 10010,
        ID_DURATION = 10011,
    };

    // Slider units per second of playback (microseconds) for videos that fit
    // the slider's 32-bit range, that is up to 2147.483647 s.
    static constexpr double SLIDER_UNITS_PER_SECOND = 1000000.0;

    ControlsPanel();
    ControlsPanel(wxWindow* parent, wxWindowID id = wxID_ANY, const wxPoint& pos = wxDefaultPosition,
                  const wxSize& size = wxDefaultSize, long style = wxNO_BORDER);

    bool Create(wxWindow* parent, wxWindowID id = wxID_ANY, const wxPoint& pos = wxDefaultPosition,
                const wxSize& size = wxDefaultSize, long style = wxNO_BORDER);
    void CreateControls();

    static wxBitmap GetBitmapResource(const wxString& name);

    void clearTimes();
    void setCurrentTime(double time);
    void setDuration(double duration);

    // "hh:mm:ss" of a number of seconds, truncated toward zero.
    static wxString timeText(double seconds);
    // Slider units per second for a video of `duration` seconds: microseconds
    // while the whole duration fits the slider, otherwise as many units as fit.
    static double sliderUnitsPerSecond(double duration);
    // Seconds to slider units, truncated toward zero and kept in 32 bits.
    static int32_t toSliderUnits(double seconds, double unitsPerSecond);
    static double fromSliderUnits(int32_t position, double unitsPerSecond);

private:
    void OnSliderThumbTrack(wxScrollEvent& event);
    void OnSliderUpdate(wxUpdateUIEvent& event);
    void OnPlayClick(wxCommandEvent& event);
    void OnPlayUpdate(wxUpdateUIEvent& event);
    void OnPauseClick(wxCommandEvent& event);
    void OnPauseUpdate(wxUpdateUIEvent& event);
    void OnStopClick(wxCommandEvent& event);
    void OnStopUpdate(wxUpdateUIEvent& event);

    // Scale of the slider for the current duration (see sliderUnitsPerSecond).
    double unitsPerSecond = SLIDER_UNITS_PER_SECOND;
};
