#include "AboutDlg.h"

#include <GL/glew.h>

#include <vpx/vpx_codec.h>
#include <wx/button.h>
#include <wx/filename.h>
#include <wx/stdpaths.h>
#include <wx/hyperlink.h>
#include <wx/image.h>
#include <wx/intl.h>
#include <wx/mstream.h>
#include <wx/sizer.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>
#include <wx/utils.h>

#include <libyuv/version.h>

#include "player_build_info.h"
#include "resources.h"

wxIMPLEMENT_DYNAMIC_CLASS(AboutDlg, wxDialog);

wxBEGIN_EVENT_TABLE(AboutDlg, wxDialog)
    EVT_INIT_DIALOG(AboutDlg::OnInitDialog)
    EVT_BUTTON(ID_OK_BUTTON, AboutDlg::OnOkClick)
wxEND_EVENT_TABLE()

namespace {

const char aboutPicture[] = "../res/Zarn_Installer_Left.bmp";

wxString creditLine(const wxString& project, const wxString& version, const char* address)
{
    wxString line = project;
    if (!version.empty()) {
        line << " " << version;
    }
    return line << " - " << address;
}

// The README installed with the program, else the source tree's.
wxString readmeUrl()
{
    const wxFileName program(wxStandardPaths::Get().GetExecutablePath());
    wxFileName installed(program.GetPath() + "/../" + ZARN_PLAYER_DOCDIR + "/README.md");
    installed.Normalize(wxPATH_NORM_DOTS | wxPATH_NORM_ABSOLUTE);
    const wxString readme = installed.FileExists() ? installed.GetFullPath() : wxString(ZARN_SOURCE_README);
    return wxFileName::FileNameToURL(wxFileName(readme));
}

}  // namespace

AboutDlg::AboutDlg() = default;

AboutDlg::AboutDlg(wxWindow* parent, wxWindowID id, const wxString& caption, const wxPoint& pos,
                   const wxSize& size, long style)
{
    Create(parent, id, caption, pos, size, style);
}

bool AboutDlg::Create(wxWindow* parent, wxWindowID id, const wxString& caption, const wxPoint& pos,
                      const wxSize& size, long style)
{
    SetExtraStyle(wxWS_EX_BLOCK_EVENTS);
    wxDialog::Create(parent, id, caption, pos, size, style, "dialog");
    CreateControls();
    if (GetSizer() != nullptr) {
        GetSizer()->SetSizeHints(this);
    }
    Centre();
    return true;
}

void AboutDlg::CreateControls()
{
    wxBoxSizer* outer = new wxBoxSizer(wxVERTICAL);
    SetSizer(outer);

    wxBoxSizer* columns = new wxBoxSizer(wxHORIZONTAL);
    outer->Add(columns, 0, wxALIGN_CENTER_HORIZONTAL | wxALL, 0);

    wxStaticBitmap* picture = new wxStaticBitmap(this, wxID_STATIC, GetBitmapResource(aboutPicture),
                                                 wxDefaultPosition, wxSize(164, 314), 0, "staticBitmap");
    columns->Add(picture, 0, wxALIGN_CENTER_VERTICAL | wxALL, 0);

    wxBoxSizer* texts = new wxBoxSizer(wxVERTICAL);
    columns->Add(texts, 0, wxGROW | wxALL, 5);

    wxString product = wxString("Zarn Player ") + ZARN_PLAYER_VERSION + "\n" +
                       wxGetTranslation(wxString::FromUTF8("\xC2\xA9 2026 The Zarn Player developers"));
    wxStaticText* productText = new wxStaticText(this, ID_PRODUCT_TEXT, product, wxDefaultPosition,
                                                 wxDefaultSize, wxALIGN_CENTRE, "staticText");
    texts->Add(productText, 0, wxALIGN_CENTER_HORIZONTAL | wxALL, 5);

    // The project has no web site of its own; the link opens its README.
    wxHyperlinkCtrl* link = new wxHyperlinkCtrl(this, ID_HYPERLINK, _("README"), readmeUrl(),
                                                wxDefaultPosition, wxDefaultSize, wxHL_DEFAULT_STYLE,
                                                "hyperlink");
    texts->Add(link, 0, wxALIGN_CENTER_HORIZONTAL | wxALL, 5);

    wxStaticText* playerText = new wxStaticText(this, wxID_STATIC, playerCredits(), wxDefaultPosition,
                                                wxDefaultSize, wxALIGN_CENTRE, "staticText");
    texts->Add(playerText, 0, wxALIGN_CENTER_HORIZONTAL | wxALL, 5);

    wxStaticText* codecText = new wxStaticText(this, wxID_STATIC, codecCredits(), wxDefaultPosition,
                                               wxDefaultSize, wxALIGN_CENTRE, "staticText");
    texts->Add(codecText, 0, wxALIGN_CENTER_HORIZONTAL | wxALL, 5);

    texts->Add(5, 5, 1, wxALIGN_CENTER_HORIZONTAL | wxALL, 5);

    wxButton* ok = new wxButton(this, ID_OK_BUTTON, _("OK"), wxDefaultPosition, wxDefaultSize, 0,
                                wxDefaultValidator, "button");
    ok->SetDefault();
    texts->Add(ok, 0, wxALIGN_CENTER_HORIZONTAL | wxALL, 5);
}

wxBitmap AboutDlg::GetBitmapResource(const wxString& name)
{
    if (name != aboutPicture) {
        return wxNullBitmap;
    }
    const EmbeddedResource* resource = findEmbeddedResource(aboutPicture);
    if (resource == nullptr) {
        return wxNullBitmap;
    }
    wxMemoryInputStream stream(resource->data, resource->size);
    wxImage image(stream, wxBITMAP_TYPE_ANY);
    return image.IsOk() ? wxBitmap(image) : wxNullBitmap;
}

wxString AboutDlg::playerCredits()
{
    const wxVersionInfo wx = wxGetLibraryVersionInfo();
    const GLubyte* glew = glewGetString(GLEW_VERSION);
    wxString text = _("Zarn Player is based in part on the following:");
    text << "\n"
         << creditLine("GLEW", glew != nullptr ? wxString::FromUTF8(reinterpret_cast<const char*>(glew)) : "",
                       "https://glew.sourceforge.net/")
         << "\n"
         << creditLine("wxWidgets", wxString::Format("%d.%d.%d", wx.GetMajor(), wx.GetMinor(), wx.GetMicro()),
                       "https://www.wxwidgets.org/")
         << "\n"
         << _("Icons drawn for Zarn Player (scripts/make-images)");
    return text;
}

wxString AboutDlg::codecCredits()
{
    wxString text = _("Zarn Decompressor is based in part on the following:");
    text << "\n"
         << creditLine("libogg", ZARN_LIBOGG_VERSION, "https://xiph.org/ogg/") << "\n"
         << creditLine("libvpx", wxString::FromUTF8(vpx_codec_version_str()), "https://www.webmproject.org/")
         << "\n"
         << creditLine("Tremor", ZARN_TREMOR_VERSION, "https://gitlab.xiph.org/xiph/tremor") << "\n"
         << creditLine("libyuv", wxString::Format("%d", LIBYUV_VERSION),
                       "https://chromium.googlesource.com/libyuv/libyuv/");
    return text;
}

void AboutDlg::OnInitDialog(wxInitDialogEvent& event)
{
    wxWindow* ok = FindWindow(ID_OK_BUTTON);
    if (ok != nullptr) {
        ok->SetFocus();
        if (wxButton* button = dynamic_cast<wxButton*>(ok)) {
            button->SetDefault();
        }
    }
    event.Skip();
}

void AboutDlg::OnOkClick(wxCommandEvent& event)
{
    EndModal(wxID_OK);
    event.Skip();
}
