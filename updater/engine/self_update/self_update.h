// The self-update relay: the installed updater hands over to a downloaded
// copy of itself, which replaces the installed executable and starts it again.
#pragma once

namespace corvane {

class UpdaterApp;

// The end of the self-update download: starts the downloaded copy
// ("<own path>.exe") hidden, with this run's command line and the
// "/self_update:" argument naming the self item and, when they were
// downloaded as ".ubk" files, the configuration and UI items.
bool StartSelfUpdateCopy(UpdaterApp& app, bool config_downloaded, bool ui_downloaded);
// The copy's side: this process was started with "/self_update:".
void RunSelfUpdateCopy(UpdaterApp& app);
// The installed updater restarted with "self_finish": removes the copy.
void FinishSelfUpdate(UpdaterApp& app);

}  // namespace corvane
