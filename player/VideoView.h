// The OpenGL canvas that shows the video, and the drop target on it.
#pragma once

#include <GL/glew.h>

#include <wx/dnd.h>
#include <wx/glcanvas.h>

class VideoView : public wxGLCanvas {
    wxDECLARE_CLASS(VideoView);
    wxDECLARE_EVENT_TABLE();

public:
    VideoView(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size, long style,
              const wxString& name, const int* attributes, const wxPalette& palette);

private:
    void OnEraseBackground(wxEraseEvent& event);
    void OnPaint(wxPaintEvent& event);
    void OnIdle(wxIdleEvent& event);
    void OnSize(wxSizeEvent& event);
};

// Opens a single dropped .zrn file.
class MovieDropTarget : public wxFileDropTarget {
public:
    bool OnDropFiles(wxCoord x, wxCoord y, const wxArrayString& filenames) override;

    // The path to open for a drop of `filenames`: exactly one name with the
    // extension "zrn" in any case; empty when the drop is refused.
    static wxString moviePath(const wxArrayString& filenames);
};
