#include "Controller.h"

#include <wx/app.h>
#include <wx/filedlg.h>
#include <wx/intl.h>
#include <wx/msgdlg.h>
#include <wx/toplevel.h>

#include <cstdio>

#include "AboutDlg.h"
#include "ControlsPanel.h"
#include "MainView.h"
#include "VideoView.h"

wxDEFINE_EVENT(EVT_PLAYER_TIME, wxCommandEvent);

wxIMPLEMENT_DYNAMIC_CLASS(Controller, wxEvtHandler);

wxBEGIN_EVENT_TABLE(Controller, wxEvtHandler)
    EVT_COMMAND_RANGE(wxID_ANY, wxID_ANY, EVT_PLAYER_TIME, Controller::onPlayerTime)
wxEND_EVENT_TABLE()

namespace {

wxWindow* topWindow()
{
    return wxTheApp != nullptr ? wxTheApp->GetTopWindow() : nullptr;
}

}  // namespace

Controller::Controller() : player(), mainView(nullptr)
{
}

Controller& Controller::get()
{
    static Controller instance;
    return instance;
}

int Controller::init()
{
    zarn_initialise(ZARN_INTERFACE_VERSION, nullptr, nullptr);
    if (mainView == nullptr) {
        return -1;
    }
    player = std::make_shared<Player>(mainView->videoView, this);
    mainView->videoView->SetCurrent(player->getContext());

    auto glText = [](GLenum name) {
        const GLubyte* text = glGetString(name);
        return text != nullptr ? wxString::FromUTF8(reinterpret_cast<const char*>(text)) : wxString();
    };
    glVendor = glText(GL_VENDOR);
    glRenderer = glText(GL_RENDERER);
    glVersion = glText(GL_VERSION);
    glShadingLanguageVersion = glText(GL_SHADING_LANGUAGE_VERSION);
    std::printf("vendor: %s\n", glVendor.utf8_str().data());
    std::printf("renderer: %s\n", glRenderer.utf8_str().data());
    std::printf("version: %s\n", glVersion.utf8_str().data());
    std::printf("shadingLanguageVersion: %s\n", glShadingLanguageVersion.utf8_str().data());
    std::fflush(stdout);

    return player->initGL(true) < 0 ? -2 : 0;
}

void Controller::shutdown()
{
    ++shutdownCount;
    if (player) {
        // The video view is gone by now; the context is still the current one
        // on this thread, and deleting its objects needs no drawable.
        player->release();
    }
    zarn_finalise();
}

void Controller::openVideo(const wxString& path)
{
    if (!player) {
        return;
    }
    if (player->isOpen()) {
        player->close();
    }
    if (player->open(path) < 0) {
        wxMessageBox(_("Couldn't open Zarn video"), _("Zarn Player"), wxOK);
        return;
    }
    if (mainView == nullptr) {
        return;
    }
    mainView->controlsPanel->setCurrentTime(0.0);
    mainView->controlsPanel->setDuration(player->getDuration());
    const int panelHeight = mainView->controlsPanel->GetSize().GetHeight();
    if (wxWindow* top = topWindow()) {
        top->SetClientSize(player->getWidth(), player->getHeight() + panelHeight);
    }
}

void Controller::openVideoDialog()
{
    wxFileDialog* dialog = new wxFileDialog(topWindow(), _("Select a Zarn video"), wxEmptyString, wxEmptyString,
                                            _("Zarn Video (*.zrn)|*.zrn"), wxFD_OPEN | wxFD_FILE_MUST_EXIST,
                                            wxDefaultPosition, wxDefaultSize, "filedlg");
    if (dialog->ShowModal() == wxID_OK) {
        openVideo(dialog->GetPath());
    }
    dialog->Destroy();
}

void Controller::closeVideo()
{
    if (player) {
        player->close();
    }
    if (wxWindow* top = topWindow()) {
        top->SetClientSize(512, 384);
    }
    if (mainView != nullptr) {
        mainView->videoView->Refresh(true);
        mainView->controlsPanel->clearTimes();
    }
}

int Controller::play()
{
    return player ? player->play() : Player::NO_VIDEO;
}

int Controller::pause()
{
    return player ? player->pause() : Player::NO_VIDEO;
}

int Controller::stop()
{
    return player ? player->stop() : Player::NO_VIDEO;
}

void Controller::seek(double seconds)
{
    if (hasVideo()) {
        player->setTime(seconds);
    }
}

bool Controller::hasVideo() const
{
    return player && player->isOpen();
}

bool Controller::canPlay() const
{
    if (!hasVideo()) {
        return false;
    }
    const int state = player->getState();
    return state != 0 && state != ZARN_STATE_PLAYING;
}

bool Controller::canPause() const
{
    return hasVideo() && player->getState() == ZARN_STATE_PLAYING;
}

bool Controller::canStop() const
{
    return hasVideo() && player->getState() == ZARN_STATE_PLAYING;
}

void Controller::showAbout()
{
    AboutDlg* dialog = new AboutDlg(topWindow(), AboutDlg::ID_DIALOG, _("About"), wxDefaultPosition,
                                    wxSize(400, 300), wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX | wxTAB_TRAVERSAL);
    dialog->ShowModal();
    dialog->Destroy();
}

void Controller::onTimeUpdate(double time)
{
    wxCommandEvent event(EVT_PLAYER_TIME, 0);
    event.SetString(timeToEventText(time));
    wxPostEvent(this, event);
}

void Controller::onPlayerTime(wxCommandEvent& event)
{
    if (mainView != nullptr) {
        mainView->controlsPanel->setCurrentTime(eventTextToTime(event.GetString()));
    }
}

wxString Controller::timeToEventText(double time)
{
    return wxString::FromDouble(time);
}

double Controller::eventTextToTime(const wxString& text)
{
    double time = 0.0;
    text.ToDouble(&time);
    return time;
}
