// The About box: picture, product name and version, link and credits.
#pragma once

#include <wx/bitmap.h>
#include <wx/dialog.h>

class AboutDlg : public wxDialog {
    wxDECLARE_DYNAMIC_CLASS(AboutDlg);
    wxDECLARE_EVENT_TABLE();

public:
    enum {
        ID_DIALOG = 10000,
        ID_OK_BUTTON = 10001,
        ID_HYPERLINK = 10002,
        ID_PRODUCT_TEXT = 10006,
    };

    AboutDlg();
    AboutDlg(wxWindow* parent, wxWindowID id, const wxString& caption, const wxPoint& pos, const wxSize& size,
             long style);

    bool Create(wxWindow* parent, wxWindowID id, const wxString& caption, const wxPoint& pos,
                const wxSize& size, long style);
    void CreateControls();

    static wxBitmap GetBitmapResource(const wxString& name);

    // The credit texts, with the versions of the libraries as linked.
    static wxString playerCredits();
    static wxString codecCredits();

private:
    void OnInitDialog(wxInitDialogEvent& event);
    void OnOkClick(wxCommandEvent& event);
};
