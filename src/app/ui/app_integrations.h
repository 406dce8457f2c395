#pragma once
// The integrations of this build: the idle saver. The lock-screen still and video and
// the live icons are not part of it yet, so their requests are dropped here.

#include "app/core/integrations.h"
#include "app/integration/idle_saver.h"

namespace tavel {

class AppIntegrations final : public Integrations {
public:
    explicit AppIntegrations(IdleSaver& saver) : saver_(saver) {}
    void syncSystemWallpaperNow() override {}
    void updateLockVideoIfNeeded(bool) override {}
    void restoreOriginalAerial() override {}
    void runLockVideoGuide() override {}
    void refreshLiveIcons() override {}
    void idleWatcherTick() override { saver_.watcherTick(); }
    void displaySleepChanged(bool asleep) override { saver_.displaySleepChanged(asleep); }

private:
    IdleSaver& saver_;
};

}  // namespace tavel
