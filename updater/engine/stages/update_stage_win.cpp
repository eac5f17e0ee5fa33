// The update stage on its page: the worker thread started by WM_USER+123 and
// the finish on the page's thread, around the portable UpdateStage.
#include <memory>

#include "shared/archive_password.h"
#include "updater/engine/host_messages.h"
#include "updater/engine/stages/stage_platform_win.h"
#include "updater/engine/stages/update_stage.h"
#include "updater/engine/updater_app.h"
#include "updater/ui/stage_view.h"

namespace corvane {

namespace {

class UpdatePageStage : public PageStage {
 public:
  explicit UpdatePageStage(StageView& view)
      : files_(MakeWindowsFileSystem()),
        processes_(MakeWindowsProcessControl()),
        host_(MakeAppStageHost()),
        stage_(App().run, Setup(), view, *host_, *files_, *processes_) {}

  ~UpdatePageStage() override { worker_.Join(); }

  void Start(unsigned message) override {
    if (message != kPageStartUpdate || worker_.Running()) return;
    if (!worker_.Start([this] { stage_.Run(); })) stage_.Finish(false);
  }

  void Finish(bool success) override { stage_.Finish(success); }

  // The update cannot be interrupted once it runs.
  void RequestCancel() override {}

  bool Finished() const override { return stage_.Finished(); }

 private:
  static UpdateStageSetup Setup() {
    const UpdaterApp& app = App();
    UpdateStageSetup setup;
    setup.updater_folder = app.folder;
    setup.temp_folder = app.temp_folder;
    setup.title = app.ui.title;
    setup.config_item = app.config_item;
    setup.self_update = app.run_mode == RunSelfUpdate;
    setup.archive_password = ArchivePassword();
    return setup;
  }

  std::unique_ptr<StageFileSystem> files_;
  std::unique_ptr<ProcessControl> processes_;
  std::unique_ptr<StageHost> host_;
  UpdateStage stage_;
  // Last: joined first, while everything the worker uses still exists.
  StageWorker worker_;
};

}  // namespace

std::unique_ptr<PageStage> CreateUpdateStage(StageView& view) {
  return std::make_unique<UpdatePageStage>(view);
}

}  // namespace corvane
