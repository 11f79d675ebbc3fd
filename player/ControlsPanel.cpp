#include "ControlsPanel.h"

#include <wx/bmpbuttn.h>
#include <wx/image.h>
#include <wx/intl.h>
#include <wx/mstream.h>
#include <wx/sizer.h>
#include <wx/slider.h>
#include <wx/stattext.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "Controller.h"
#include "resources.h"

wxIMPLEMENT_DYNAMIC_CLASS(ControlsPanel, wxPanel);

wxBEGIN_EVENT_TABLE(ControlsPanel, wxPanel)
    EVT_COMMAND_SCROLL_THUMBTRACK(ID_SLIDER, ControlsPanel::OnSliderThumbTrack)
    EVT_UPDATE_UI(ID_SLIDER, ControlsPanel::OnSliderUpdate)
    EVT_BUTTON(ID_PLAY_BUTTON, ControlsPanel::OnPlayClick)
    EVT_UPDATE_UI(ID_PLAY_BUTTON, ControlsPanel::OnPlayUpdate)
    EVT_BUTTON(ID_PAUSE_BUTTON, ControlsPanel::OnPauseClick)
    EVT_UPDATE_UI(ID_PAUSE_BUTTON, ControlsPanel::OnPauseUpdate)
    EVT_BUTTON(ID_STOP_BUTTON, ControlsPanel::OnStopClick)
    EVT_UPDATE_UI(ID_STOP_BUTTON, ControlsPanel::OnStopUpdate)
wxEND_EVENT_TABLE()

ControlsPanel::ControlsPanel() = default;

ControlsPanel::ControlsPanel(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size,
                             long style)
{
    Create(parent, id, pos, size, style);
}

bool ControlsPanel::Create(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size,
                           long style)
{
    wxPanel::Create(parent, id, pos, size, style, "panel");
    CreateControls();
    if (GetSizer() != nullptr) {
        GetSizer()->SetSizeHints(this);
    }
    return true;
}

void ControlsPanel::CreateControls()
{
    wxBoxSizer* rows = new wxBoxSizer(wxVERTICAL);
    SetSizer(rows);

    wxBoxSizer* timeRow = new wxBoxSizer(wxHORIZONTAL);
    rows->Add(timeRow, 0, wxGROW | wxALL, 5);

    wxStaticText* currentTime = new wxStaticText(this, ID_CURRENT_TIME, _("--:--:--"), wxDefaultPosition,
                                                 wxSize(80, -1), wxALIGN_CENTRE, "staticText");
    currentTime->SetToolTip(_("The movie's current time"));
    timeRow->Add(currentTime, 0, wxALIGN_CENTER_VERTICAL | wxALL, 1);

    wxSlider* slider = new wxSlider(this, ID_SLIDER, 0, 0, 100, wxDefaultPosition, wxDefaultSize,
                                    wxSL_HORIZONTAL, wxDefaultValidator, "slider");
    slider->SetToolTip(_("Scrub the video's timeline"));
    timeRow->Add(slider, 1, wxALIGN_CENTER_VERTICAL | wxALL, 1);

    wxStaticText* duration = new wxStaticText(this, ID_DURATION, _("--:--:--"), wxDefaultPosition,
                                              wxSize(80, -1), wxALIGN_CENTRE, "staticText");
    duration->SetToolTip(_("The movie's duration"));
    timeRow->Add(duration, 0, wxALIGN_CENTER_VERTICAL | wxALL, 1);

    wxBoxSizer* buttonRow = new wxBoxSizer(wxHORIZONTAL);
    rows->Add(buttonRow, 0, wxGROW | wxALL, 5);

    struct ButtonLayout {
        int id;
        const char* resource;
        const char* toolTip;
    };
    const ButtonLayout buttons[] = {
        {ID_PLAY_BUTTON, "../res/control_play_blue.png", wxTRANSLATE("Play the video")},
        {ID_PAUSE_BUTTON, "../res/control_pause_blue.png", wxTRANSLATE("Pause the video")},
        {ID_STOP_BUTTON, "../res/control_stop_blue.png", wxTRANSLATE("Stop the video")},
    };
    for (const ButtonLayout& layout : buttons) {
        wxBitmapButton* button = new wxBitmapButton(this, layout.id, GetBitmapResource(layout.resource),
                                                    wxDefaultPosition, wxDefaultSize, wxBU_AUTODRAW,
                                                    wxDefaultValidator, "button");
        button->SetToolTip(wxGetTranslation(layout.toolTip));
        buttonRow->Add(button, 0, wxALIGN_CENTER_VERTICAL | wxALL, 1);
    }
}

wxBitmap ControlsPanel::GetBitmapResource(const wxString& name)
{
    static const char* const buttonImages[] = {
        "../res/control_play_blue.png",
        "../res/control_pause_blue.png",
        "../res/control_stop_blue.png",
    };
    const EmbeddedResource* resource = nullptr;
    for (const char* key : buttonImages) {
        if (name == key) {
            resource = findEmbeddedResource(key);
        }
    }
    if (resource == nullptr) {
        return wxNullBitmap;
    }
    wxMemoryInputStream stream(resource->data, resource->size);
    wxImage image(stream, wxBITMAP_TYPE_ANY);
    if (!image.IsOk()) {
        return wxNullBitmap;
    }
    return wxBitmap(image, -1, 1.0);
}

void ControlsPanel::clearTimes()
{
    wxStaticText* currentTime = dynamic_cast<wxStaticText*>(FindWindow(ID_CURRENT_TIME));
    wxStaticText* duration = dynamic_cast<wxStaticText*>(FindWindow(ID_DURATION));
    wxSlider* slider = dynamic_cast<wxSlider*>(FindWindow(ID_SLIDER));
    if (currentTime != nullptr) {
        currentTime->SetLabel(_("--:--:--"));
    }
    if (duration != nullptr) {
        duration->SetLabel(_("--:--:--"));
    }
    if (slider != nullptr) {
        slider->SetValue(0);
    }
}

void ControlsPanel::setCurrentTime(double time)
{
    wxStaticText* currentTime = dynamic_cast<wxStaticText*>(FindWindow(ID_CURRENT_TIME));
    wxSlider* slider = dynamic_cast<wxSlider*>(FindWindow(ID_SLIDER));
    if (currentTime != nullptr) {
        currentTime->SetLabel(timeText(time));
    }
    if (slider != nullptr) {
        slider->SetValue(toSliderUnits(time, unitsPerSecond));
    }
}

void ControlsPanel::setDuration(double duration)
{
    wxStaticText* durationText = dynamic_cast<wxStaticText*>(FindWindow(ID_DURATION));
    wxSlider* slider = dynamic_cast<wxSlider*>(FindWindow(ID_SLIDER));
    unitsPerSecond = sliderUnitsPerSecond(duration);
    if (durationText != nullptr) {
        durationText->SetLabel(timeText(duration));
    }
    if (slider != nullptr) {
        slider->SetRange(0, toSliderUnits(duration, unitsPerSecond));
    }
}

wxString ControlsPanel::timeText(double seconds)
{
    int64_t t = 0;
    if (std::isfinite(seconds)) {
        // Beyond the 64-bit range the text is of no use anyway; keep it defined.
        const double limit = 9.2e18;
        t = static_cast<int64_t>(seconds > limit ? limit : (seconds < -limit ? -limit : seconds));
    }
    const int64_t hours = t / 3600;
    const int64_t minutes = (t % 3600) / 60;
    const int64_t secs = t % 60;
    return wxString::Format("%.2lld:%.2lld:%.2lld", static_cast<long long>(hours),
                            static_cast<long long>(minutes), static_cast<long long>(secs));
}

double ControlsPanel::sliderUnitsPerSecond(double duration)
{
    const double maximum = static_cast<double>(std::numeric_limits<int32_t>::max());
    if (!std::isfinite(duration) || duration * SLIDER_UNITS_PER_SECOND <= maximum) {
        return SLIDER_UNITS_PER_SECOND;
    }
    return maximum / duration;
}

int32_t ControlsPanel::toSliderUnits(double seconds, double unitsPerSecond)
{
    const double units = seconds * unitsPerSecond;
    if (!(units == units)) {
        return 0;  // NaN
    }
    if (units >= static_cast<double>(std::numeric_limits<int32_t>::max())) {
        return std::numeric_limits<int32_t>::max();
    }
    if (units <= static_cast<double>(std::numeric_limits<int32_t>::min())) {
        return std::numeric_limits<int32_t>::min();
    }
    return static_cast<int32_t>(units);
}

double ControlsPanel::fromSliderUnits(int32_t position, double unitsPerSecond)
{
    return static_cast<double>(position) / unitsPerSecond;
}

void ControlsPanel::OnSliderThumbTrack(wxScrollEvent& event)
{
    Controller::get().seek(fromSliderUnits(event.GetPosition(), unitsPerSecond));
    event.Skip();
}

void ControlsPanel::OnSliderUpdate(wxUpdateUIEvent& event)
{
    event.Enable(Controller::get().hasVideo());
}

void ControlsPanel::OnPlayClick(wxCommandEvent& event)
{
    Controller::get().play();
    event.Skip();
}

void ControlsPanel::OnPlayUpdate(wxUpdateUIEvent& event)
{
    event.Enable(Controller::get().canPlay());
}

void ControlsPanel::OnPauseClick(wxCommandEvent& event)
{
    Controller::get().pause();
    event.Skip();
}

void ControlsPanel::OnPauseUpdate(wxUpdateUIEvent& event)
{
    event.Enable(Controller::get().canPause());
}

void ControlsPanel::OnStopClick(wxCommandEvent& event)
{
    Controller::get().stop();
    event.Skip();
}

void ControlsPanel::OnStopUpdate(wxUpdateUIEvent& event)
{
    event.Enable(Controller::get().canStop());
}
