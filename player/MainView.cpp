#include "MainView.h"


#include "Controller.h"
#include "ControlsPanel.h"
#include "VideoView.h"

wxIMPLEMENT_CLASS(MainView, wxWindow);

wxBEGIN_EVENT_TABLE(MainView, wxWindow)
    EVT_ERASE_BACKGROUND(MainView::OnEraseBackground)
    EVT_SIZE(MainView::OnSize)
wxEND_EVENT_TABLE()

MainView::MainView(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size, long style,
                   const wxString& name)
    : wxWindow(parent, id, pos, size, style, name), controlsPanel(nullptr), videoView(nullptr)
{
    controlsPanel = new ControlsPanel(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxNO_BORDER);
    const int attributes[] = {WX_GL_RGBA, WX_GL_DOUBLEBUFFER, WX_GL_DEPTH_SIZE, 16, 0};
    videoView = new VideoView(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxNO_BORDER, "VideoView",
                              attributes, wxNullPalette);
}

MainView::~MainView()
{
    // The Controller must not reach the children once they are gone (a time
    // event may still be queued when the window closes).
    Controller& controller = Controller::get();
    if (controller.mainView == this) {
        controller.mainView = nullptr;
    }
}

void MainView::OnEraseBackground(wxEraseEvent&)
{
}

void MainView::OnSize(wxSizeEvent& event)
{
    if (videoView != nullptr && controlsPanel != nullptr) {
        const wxSize size = event.GetSize();
        int panelHeight = controlsPanel->GetSize().GetHeight();
        videoView->SetSize(0, 0, size.GetWidth(), size.GetHeight() - panelHeight, wxSIZE_AUTO);
        panelHeight = controlsPanel->GetSize().GetHeight();
        const int videoHeight = videoView->GetSize().GetHeight();
        controlsPanel->SetSize(0, videoHeight, size.GetWidth(), panelHeight, wxSIZE_AUTO);
    }
    event.Skip();
}
