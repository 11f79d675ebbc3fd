// The application object: start-up and shutdown.
#pragma once

#include <wx/app.h>

class PlayerApp : public wxApp {
    wxDECLARE_CLASS(PlayerApp);
    wxDECLARE_EVENT_TABLE();

public:
    bool OnInit() override;
    int OnExit() override;
};

wxDECLARE_APP(PlayerApp);
