#include "VideoView.h"

#include <wx/dcclient.h>
#include <wx/filename.h>

#include "Controller.h"

wxIMPLEMENT_CLASS(VideoView, wxGLCanvas);

wxBEGIN_EVENT_TABLE(VideoView, wxGLCanvas)
    EVT_ERASE_BACKGROUND(VideoView::OnEraseBackground)
    EVT_PAINT(VideoView::OnPaint)
    EVT_IDLE(VideoView::OnIdle)
    EVT_SIZE(VideoView::OnSize)
wxEND_EVENT_TABLE()

VideoView::VideoView(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size, long style,
                     const wxString& name, const int* attributes, const wxPalette& palette)
    : wxGLCanvas(parent, id, attributes, pos, size, style, name, palette)
{
    SetDropTarget(new MovieDropTarget);
}

void VideoView::OnEraseBackground(wxEraseEvent&)
{
}

void VideoView::OnPaint(wxPaintEvent& event)
{
    wxPaintDC dc(this);
    Player* player = Controller::get().player.get();
    if (player != nullptr) {
        SetCurrent(player->getContext());
        glClear(GL_COLOR_BUFFER_BIT);
        const wxSize size = GetClientSize();
        if (player->isInitialised()) {
            player->render(size.GetWidth(), size.GetHeight());
        }
        SwapBuffers();
    }
    event.Skip();
}

void VideoView::OnIdle(wxIdleEvent& event)
{
    Player* player = Controller::get().player.get();
    if (player != nullptr) {
        player->pulse();
        if (player->isFrameReady()) {
            Refresh();
        }
    }
    event.RequestMore();
}

void VideoView::OnSize(wxSizeEvent& event)
{
    Refresh(true);
    event.Skip();
}

bool MovieDropTarget::OnDropFiles(wxCoord, wxCoord, const wxArrayString& filenames)
{
    const wxString path = moviePath(filenames);
    if (path.empty()) {
        return false;
    }
    Controller::get().openVideo(path);
    return true;
}

wxString MovieDropTarget::moviePath(const wxArrayString& filenames)
{
    if (filenames.GetCount() != 1) {
        return wxString();
    }
    wxString volume;
    wxString path;
    wxString name;
    wxString extension;
    bool hasExtension = false;
    wxFileName::SplitPath(filenames[0], &volume, &path, &name, &extension, &hasExtension, wxPATH_NATIVE);
    if (extension.Lower() != "zrn") {
        return wxString();
    }
    wxFileName file(volume, path, name, extension, wxPATH_NATIVE);
    return file.GetFullPath(wxPATH_NATIVE);
}
