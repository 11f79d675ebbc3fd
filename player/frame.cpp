#include "frame.h"

#include <wx/intl.h>
#include <wx/menu.h>

#include "Controller.h"
#include "MainView.h"

wxIMPLEMENT_CLASS(frame, wxFrame);

wxBEGIN_EVENT_TABLE(frame, wxFrame)
    EVT_MENU(ID_OPEN_VIDEO, frame::OnOpenVideoClick)
    EVT_MENU(ID_CLOSE_VIDEO, frame::OnCloseVideoClick)
    EVT_UPDATE_UI(ID_CLOSE_VIDEO, frame::OnCloseVideoUpdate)
    EVT_MENU(ID_EXIT, frame::OnExitClick)
    EVT_MENU(ID_PLAY, frame::OnPlayClick)
    EVT_UPDATE_UI(ID_PLAY, frame::OnPlayUpdate)
    EVT_MENU(ID_PAUSE, frame::OnPauseClick)
    EVT_UPDATE_UI(ID_PAUSE, frame::OnPauseUpdate)
    EVT_MENU(ID_STOP, frame::OnStopClick)
    EVT_UPDATE_UI(ID_STOP, frame::OnStopUpdate)
    EVT_MENU(ID_ABOUT, frame::OnAboutClick)
wxEND_EVENT_TABLE()

frame::frame(wxWindow* parent, wxWindowID id, const wxString& caption, const wxPoint& pos, const wxSize& size,
             long style)
    : wxFrame()
{
    Create(parent, id, caption, pos, size, style);
}

bool frame::Create(wxWindow* parent, wxWindowID id, const wxString& caption, const wxPoint& pos,
                   const wxSize& size, long style)
{
    wxFrame::Create(parent, id, caption, pos, size, style, "frame");
    CreateControls();
    Centre(wxBOTH);
    SetClientSize(512, 384);
    return true;
}

void frame::CreateControls()
{
    wxMenuBar* menuBar = new wxMenuBar;

    wxMenu* fileMenu = new wxMenu;
    fileMenu->Append(ID_OPEN_VIDEO, _("Open Video"), wxEmptyString, wxITEM_NORMAL);
    fileMenu->Append(ID_CLOSE_VIDEO, _("Close Video"), wxEmptyString, wxITEM_NORMAL);
    fileMenu->AppendSeparator();
    fileMenu->Append(ID_EXIT, _("Exit"), wxEmptyString, wxITEM_NORMAL);
    menuBar->Append(fileMenu, _("File"));

    wxMenu* playbackMenu = new wxMenu;
    playbackMenu->Append(ID_PLAY, _("Play"), wxEmptyString, wxITEM_NORMAL);
    playbackMenu->Append(ID_PAUSE, _("Pause"), wxEmptyString, wxITEM_NORMAL);
    playbackMenu->Append(ID_STOP, _("Stop"), wxEmptyString, wxITEM_NORMAL);
    menuBar->Append(playbackMenu, _("Playback"));

    wxMenu* helpMenu = new wxMenu;
    helpMenu->Append(ID_ABOUT, _("About"), wxEmptyString, wxITEM_NORMAL);
    menuBar->Append(helpMenu, _("Help"));

    SetMenuBar(menuBar);

    new MainView(this, ID_MAIN_VIEW, wxDefaultPosition, wxSize(100, 100), wxNO_BORDER, "MainView");
    Controller::get().mainView = dynamic_cast<MainView*>(FindWindow(ID_MAIN_VIEW));
}

void frame::OnOpenVideoClick(wxCommandEvent& event)
{
    Controller::get().openVideoDialog();
    event.Skip();
}

void frame::OnCloseVideoClick(wxCommandEvent& event)
{
    Controller::get().closeVideo();
    event.Skip();
}

void frame::OnCloseVideoUpdate(wxUpdateUIEvent& event)
{
    event.Enable(Controller::get().hasVideo());
}

void frame::OnExitClick(wxCommandEvent& event)
{
    Destroy();
    event.Skip();
}

void frame::OnPlayClick(wxCommandEvent& event)
{
    Controller::get().play();
    event.Skip();
}

void frame::OnPlayUpdate(wxUpdateUIEvent& event)
{
    event.Enable(Controller::get().canPlay());
}

void frame::OnPauseClick(wxCommandEvent& event)
{
    Controller::get().pause();
    event.Skip();
}

void frame::OnPauseUpdate(wxUpdateUIEvent& event)
{
    event.Enable(Controller::get().canPause());
}

void frame::OnStopClick(wxCommandEvent& event)
{
    Controller::get().stop();
    event.Skip();
}

void frame::OnStopUpdate(wxUpdateUIEvent& event)
{
    event.Enable(Controller::get().canStop());
}

void frame::OnAboutClick(wxCommandEvent& event)
{
    Controller::get().showAbout();
    event.Skip();
}
