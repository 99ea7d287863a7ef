#include "shell/Tessal.h"

#include "monitor/Poll.h"

namespace wavory {

namespace {
CTessalApp s_TessalApp;
}  // namespace

// Bound at compile time, so the reference is usable before any constructor of this file has run.
CAppBase& theApp = s_TessalApp;

CTessalApp::CTessalApp() = default;
CTessalApp::~CTessalApp() = default;

IPollControl* CTessalApp::GetPollControl() { return m_pPoll; }

}  // namespace wavory
