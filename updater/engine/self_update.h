// The self-update relay: the installed updater hands over to a downloaded
// copy of itself, which replaces the installed executable and starts it again.
#pragma once

namespace corvane {

class UpdaterApp;

// The copy's side: this process was started with "/self_update:".
void RunSelfUpdateCopy(UpdaterApp& app);
// The installed updater restarted with "self_finish": removes the copy.
void FinishSelfUpdate(UpdaterApp& app);

}  // namespace corvane
