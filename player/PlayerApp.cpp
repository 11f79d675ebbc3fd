#include "PlayerApp.h"

#include <wx/image.h>
#include <wx/intl.h>

#include "Controller.h"
#include "frame.h"

// The factory only; main() lives in main.cpp so that tests can drive the
// same application object.
wxIMPLEMENT_APP_NO_MAIN(PlayerApp);

wxIMPLEMENT_CLASS(PlayerApp, wxApp);

wxBEGIN_EVENT_TABLE(PlayerApp, wxApp)
wxEND_EVENT_TABLE()

bool PlayerApp::OnInit()
{
    wxImage::AddHandler(new wxXPMHandler);
    wxImage::AddHandler(new wxPNGHandler);

    const wxString title = _("Zarn Player");
    // The toolkit's default frame style without wxCLIP_CHILDREN.
    const long style = wxCAPTION | wxRESIZE_BORDER | wxSYSTEM_MENU | wxMINIMIZE_BOX | wxMAXIMIZE_BOX | wxCLOSE_BOX;
    frame* mainWindow = new frame(nullptr, frame::ID_FRAME, title, wxDefaultPosition, wxSize(400, 300), style);
    mainWindow->Show(true);

    return Controller::get().init() >= 0;
}

int PlayerApp::OnExit()
{
    Controller::get().shutdown();
    return wxApp::OnExit();
}
