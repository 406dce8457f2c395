// The moving lock screen's jobs on a manual queue and clock, a fake encoder writing small files.

#include "app/integration/live_lock_video.h"

#include "support/app_state_fixture.h"
#include "support/temp_dir.h"

#include <fstream>
#include <stdexcept>

namespace tavel {
namespace {

using test::slurp;

class LiveLockVideoTest : public test::AppStateTest {
protected:
    LiveLockVideoTest() {
        std::filesystem::create_directories(dir / "Videos");
        std::ofstream(slot) << "system";
        video.attach(makeWith(R"({"liveLockVideo":true,"globalShaderID":"tiles"})"));
    }
    // Runs what the queue holds and what it reported back.
    void work() {
        queue.runAll();
        clock.runPending();
    }
    void update(bool force = false) {
        video.updateLockVideoIfNeeded(force);
        work();
    }
    void setLive(bool on) {
        state->updateSettings([on](AppSettings& s) { s.liveLockVideo = on; });
    }
    void switchOff() {
        setLive(false);
        video.restoreOriginalAerial();
        work();
    }
    bool exists(const std::string& name) { return std::filesystem::exists(dir / "Tavel" / name); }
    std::string kept(const std::string& name) { return slurp(dir / "Tavel" / name); }
    void putInSlot(const std::string& text) { std::ofstream(slot, std::ios::trunc) << text; }

    test::TempDir dir;
    std::filesystem::path slot = dir / "Videos" / "slot.mov";
    test::ManualExecutor queue;
    std::vector<std::string> encoded;
    std::string encodeFailure;
    int restarts = 0, opened = 0;
    LiveLockVideoDependencies deps{
        clock,
        queue,
        store,
        [this](const ShaderEffect& effect, const ShaderParams&, const std::filesystem::path& to,
               const std::function<void(double)>& p) {
            if (!encodeFailure.empty()) throw std::runtime_error(encodeFailure);
            encoded.push_back(effect.id);
            std::ofstream(to) << "movie of " << effect.id;
            p(0.5);
            p(1.0);
        },
        dir / "Tavel",
        slot,
        [] { return true; },
        [this] { ++opened; },
        [this] { ++restarts; },
        log};
    LiveLockVideo video{deps};
};

TEST_F(LiveLockVideoTest, EncodesOnlyWhenTheSlotDoesNotShowTheEffectAsItIsAndRestores) {
    video.restoreOriginalAerial();  // no backup yet: nothing
    video.updateLockVideoIfNeeded(false);
    video.updateLockVideoIfNeeded(true);  // a job is pending: dropped
    EXPECT_TRUE(video.busy());
    work();
    EXPECT_FALSE(video.busy());
    EXPECT_EQ(encoded, (std::vector<std::string>{"tiles"}));
    EXPECT_EQ(slurp(slot), "movie of tiles");
    EXPECT_EQ(kept("aerial-original.mov"), "system");
    EXPECT_EQ(kept("lockvideo.sig"), lockVideoSignature("tiles", ShaderParams{}));
    EXPECT_EQ(restarts, 1);

    update();                       // the same: nothing to do
    std::filesystem::remove(slot);  // gone from the slot: made again
    update();
    update(true);  // forced
    state->updateSettings([](AppSettings& s) { s.params["tiles"].hue = 90; });
    update();  // the parameters changed
    EXPECT_EQ(encoded.size(), 4u);
    EXPECT_EQ(kept("aerial-original.mov"), "system");  // kept once
    setLive(false);
    video.updateLockVideoIfNeeded(true);
    EXPECT_FALSE(video.busy());

    // Off: the backup goes back in place on the queue, and the signature is forgotten.
    video.restoreOriginalAerial();
    EXPECT_EQ(slurp(slot), "movie of tiles");  // not on the main thread
    work();
    EXPECT_EQ(slurp(slot), "system");
    EXPECT_FALSE(exists("lockvideo.sig"));
    EXPECT_TRUE(exists("aerial-original.mov"));
    EXPECT_EQ(restarts, 5);

    video.runLockVideoGuide();  // shown once, and may open the settings
    video.runLockVideoGuide();
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(store.boolValue(LiveLockVideo::kGuideShownKey), true);
}

// Each file found in the slot is kept; switching off gives back the newest, or an empty slot.
TEST_F(LiveLockVideoTest, WhatThePersonPutInTheSlotIsKeptAndGivenBack) {
    std::filesystem::remove(slot);
    update();
    EXPECT_EQ(slurp(slot), "movie of tiles");
    switchOff();
    EXPECT_FALSE(std::filesystem::exists(slot));
    EXPECT_FALSE(exists("aerial-original.mov"));
    EXPECT_EQ(restarts, 2);

    setLive(true);
    const std::string original(8192, 'o');
    putInSlot(original);
    test::withFileSizeLimit(4096, [&] { update(); });
    EXPECT_EQ(slurp(slot), original);
    EXPECT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(restarts, 2);

    update();
    EXPECT_EQ(kept("aerial-original.mov"), original);
    putInSlot("put there later");
    update(true);
    EXPECT_EQ(kept("aerial-original.mov"), original);
    EXPECT_EQ(kept("aerial-original-2.mov"), "put there later");
    update(true);  // the slot holds Tavel's movie: no third copy
    EXPECT_FALSE(exists("aerial-original-3.mov"));
    switchOff();
    EXPECT_EQ(slurp(slot), "put there later");

    // On again and off: what was given back is a copy already kept, so no new one.
    setLive(true);
    update(true);
    EXPECT_FALSE(exists("aerial-original-3.mov"));
    putInSlot("theirs");  // put after Tavel's movie: switching off keeps it
    switchOff();
    EXPECT_EQ(slurp(slot), "theirs");

    // Emptied by the person: on and off again leaves it empty, no older copy comes back.
    std::filesystem::remove(slot);
    setLive(true);
    update(true);
    EXPECT_EQ(slurp(slot), "movie of tiles");
    switchOff();
    EXPECT_FALSE(std::filesystem::exists(slot));
}

// A job finishing after the switch-off, or after the application ended, leaves the slot alone.
TEST_F(LiveLockVideoTest, SwitchingOffOrEndingDuringAnEncodeIsNotUndoneByTheJob) {
    video.updateLockVideoIfNeeded(false);
    switchOff();
    EXPECT_EQ(slurp(slot), "system");
    EXPECT_FALSE(exists("lockvideo.sig"));

    setLive(true);
    update(true);
    setLive(false);
    video.restoreOriginalAerial();
    setLive(true);
    update();
    EXPECT_EQ(slurp(slot), "movie of tiles");

    std::filesystem::remove(dir / "Tavel" / "lockvideo.sig");
    putInSlot("system");
    auto ending = std::make_unique<LiveLockVideo>(deps);
    ending->attach(*state);
    ending->updateLockVideoIfNeeded(true);
    ending.reset();
    work();
    EXPECT_EQ(slurp(slot), "system");
    EXPECT_FALSE(exists("lockvideo.sig"));
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(LiveLockVideoTest, ALinkAndFailuresLeaveTheSlotAndTheSignatureAsTheyWere) {
    std::filesystem::rename(slot, dir / "elsewhere.mov");
    std::filesystem::create_symlink(dir / "elsewhere.mov", slot);
    update();
    EXPECT_TRUE(std::filesystem::is_symlink(slot));
    EXPECT_EQ(slurp(dir / "elsewhere.mov"), "system");
    EXPECT_FALSE(exists("aerial-original.mov"));  // nor backed up

    std::filesystem::remove(slot);
    putInSlot("system");
    encodeFailure = "no encoder";
    update();
    std::filesystem::remove_all(dir / "Videos");
    encodeFailure.clear();
    update();
    EXPECT_FALSE(exists("lockvideo.sig"));
    EXPECT_EQ(restarts, 0);
    EXPECT_FALSE(video.busy());
    EXPECT_FALSE(video.progress());
    ASSERT_EQ(log.lines().size(), 3u);  // one line each
    EXPECT_EQ(log.lines()[1], "Tavel: lock video failed: no encoder");
}

}  // namespace
}  // namespace tavel
