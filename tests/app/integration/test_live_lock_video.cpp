// The moving lock screen's jobs on a manual queue and clock, with a fake encoder writing
// small files into temporary folders.

#include "app/integration/live_lock_video.h"

#include "support/app_state_fixture.h"
#include "support/temp_dir.h"

#include <fstream>
#include <limits>
#include <sstream>
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
        video.onProgressChange = [this] { progress.push_back(video.progress().value_or(-1)); };
    }
    // Runs what the queue holds and what it reported back.
    void work() {
        queue.runAll();
        clock.runPending();
    }

    test::TempDir dir;
    std::filesystem::path slot = dir / "Videos" / "slot.mov";
    test::ManualExecutor queue;
    std::vector<std::string> encoded;
    std::string encodeFailure;
    std::vector<double> progress;
    int restarts = 0, opened = 0;
    bool openSettings = false;
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
        [this] { return openSettings; },
        [this] { ++opened; },
        [this] { ++restarts; },
        log};
    LiveLockVideo video{deps};
};

TEST(LockVideoSignature, IsTheIdAndTheBase64OfTheParametersJson) {
    ShaderParams params;
    EXPECT_EQ(lockVideoSignature("tiles", params),
              "tiles|eyJzcGVlZCI6MSwiem9vbSI6MSwiaW50ZW5zaXR5IjoxLCJodWUiOjB9");
    params.hue = 90.5f;
    EXPECT_EQ(lockVideoSignature("dome", params),
              "dome|eyJzcGVlZCI6MSwiem9vbSI6MSwiaW50ZW5zaXR5IjoxLCJodWUiOjkwLjV9");
    params.hue = std::numeric_limits<float>::infinity();
    EXPECT_EQ(lockVideoSignature("dome", params), "dome|");
}

TEST_F(LiveLockVideoTest, EncodesOnlyWhenTheSlotDoesNotShowTheEffectAsItIsAndRestores) {
    video.restoreOriginalAerial();  // no backup yet: nothing
    video.updateLockVideoIfNeeded(false);
    video.updateLockVideoIfNeeded(true);  // a job is pending: dropped
    EXPECT_TRUE(video.busy());
    work();
    EXPECT_FALSE(video.busy());
    EXPECT_EQ(encoded, (std::vector<std::string>{"tiles"}));
    EXPECT_EQ(progress, (std::vector<double>{0, 0.5, 1, -1}));
    EXPECT_EQ(slurp(slot), "movie of tiles");
    EXPECT_EQ(slurp(dir / "Tavel" / "aerial-original.mov"), "system");
    EXPECT_EQ(slurp(dir / "Tavel" / "lockvideo.sig"), lockVideoSignature("tiles", ShaderParams{}));
    EXPECT_EQ(restarts, 1);

    video.updateLockVideoIfNeeded(false);  // the same: nothing to do
    work();
    std::filesystem::remove(slot);  // gone from the slot: made again
    video.updateLockVideoIfNeeded(false);
    work();
    video.updateLockVideoIfNeeded(true);  // forced
    work();
    state->updateSettings([](AppSettings& s) { s.params["tiles"].hue = 90; });
    video.updateLockVideoIfNeeded(false);  // the parameters changed
    work();
    EXPECT_EQ(encoded.size(), 4u);
    EXPECT_EQ(slurp(dir / "Tavel" / "aerial-original.mov"), "system");  // kept once
    state->updateSettings([](AppSettings& s) { s.liveLockVideo = false; });
    video.updateLockVideoIfNeeded(true);
    EXPECT_FALSE(video.busy());

    // Off: the backup goes back in place on the queue, and the signature is forgotten.
    video.restoreOriginalAerial();
    EXPECT_EQ(slurp(slot), "movie of tiles");  // not on the main thread
    work();
    EXPECT_EQ(slurp(slot), "system");
    EXPECT_FALSE(std::filesystem::exists(dir / "Tavel" / "lockvideo.sig"));
    EXPECT_TRUE(std::filesystem::exists(dir / "Tavel" / "aerial-original.mov"));
    EXPECT_EQ(restarts, 5);
}

// The person's files in the slot are never lost: each one found there is kept (a new
// copy beside the others), a backup that cannot be made whole stops the job, and
// switching off gives back the newest one, or an empty slot where it was empty.
TEST_F(LiveLockVideoTest, WhatThePersonPutInTheSlotIsKeptAndGivenBack) {
    const std::string original(8192, 'o');
    std::ofstream(slot, std::ios::trunc) << original;
    test::withFileSizeLimit(4096, [&] {
        video.updateLockVideoIfNeeded(false);
        work();
    });
    EXPECT_EQ(slurp(slot), original);
    EXPECT_EQ(log.lines().size(), 1u);
    EXPECT_TRUE(log.lines().front().starts_with("Tavel: lock video failed: cannot keep a copy of " +
                                                slot.string()))
        << log.lines().front();
    EXPECT_FALSE(std::filesystem::exists(dir / "Tavel" / "aerial-original.mov"));
    EXPECT_EQ(restarts, 0);

    video.updateLockVideoIfNeeded(false);
    work();
    EXPECT_EQ(slurp(dir / "Tavel" / "aerial-original.mov"), original);
    std::ofstream(slot, std::ios::trunc) << "put there later";
    video.updateLockVideoIfNeeded(true);
    work();
    EXPECT_EQ(slurp(dir / "Tavel" / "aerial-original.mov"), original);
    EXPECT_EQ(slurp(dir / "Tavel" / "aerial-original-2.mov"), "put there later");
    video.updateLockVideoIfNeeded(true);  // the slot holds Tavel's movie: no third copy
    work();
    EXPECT_FALSE(std::filesystem::exists(dir / "Tavel" / "aerial-original-3.mov"));
    state->updateSettings([](AppSettings& s) { s.liveLockVideo = false; });
    video.restoreOriginalAerial();
    work();
    EXPECT_EQ(slurp(slot), "put there later");

    // On again and off: what was given back is a copy already kept, so no new one.
    state->updateSettings([](AppSettings& s) { s.liveLockVideo = true; });
    video.updateLockVideoIfNeeded(true);
    work();
    EXPECT_FALSE(std::filesystem::exists(dir / "Tavel" / "aerial-original-3.mov"));
    // A file someone put in the slot after Tavel's movie is theirs: switching off keeps it.
    std::ofstream(slot, std::ios::trunc) << "theirs";
    state->updateSettings([](AppSettings& s) { s.liveLockVideo = false; });
    video.restoreOriginalAerial();
    work();
    EXPECT_EQ(slurp(slot), "theirs");
}

TEST_F(LiveLockVideoTest, AnEmptySlotIsEmptyAgainAfterwards) {
    std::filesystem::remove(slot);
    video.updateLockVideoIfNeeded(false);
    work();
    EXPECT_EQ(slurp(slot), "movie of tiles");
    EXPECT_FALSE(std::filesystem::exists(dir / "Tavel" / "aerial-original.mov"));
    state->updateSettings([](AppSettings& s) { s.liveLockVideo = false; });
    video.restoreOriginalAerial();
    work();
    EXPECT_FALSE(std::filesystem::exists(slot));
}

// Switched off while a movie is encoded: the job does not put it in the slot afterwards,
// and the restore waits for the job. Switched on again before the restore ran: the slot
// stays Tavel's.
TEST_F(LiveLockVideoTest, SwitchingOffDuringAnEncodeIsNotUndoneByTheJob) {
    video.updateLockVideoIfNeeded(false);
    state->updateSettings([](AppSettings& s) { s.liveLockVideo = false; });
    video.restoreOriginalAerial();
    work();
    EXPECT_EQ(slurp(slot), "system");
    EXPECT_FALSE(std::filesystem::exists(dir / "Tavel" / "lockvideo.sig"));

    state->updateSettings([](AppSettings& s) { s.liveLockVideo = true; });
    video.updateLockVideoIfNeeded(true);
    work();
    state->updateSettings([](AppSettings& s) { s.liveLockVideo = false; });
    video.restoreOriginalAerial();
    state->updateSettings([](AppSettings& s) { s.liveLockVideo = true; });
    video.updateLockVideoIfNeeded(false);
    work();
    EXPECT_EQ(slurp(slot), "movie of tiles");
}

TEST_F(LiveLockVideoTest, FailuresLeaveTheSlotAndTheSignatureAsTheyWere) {
    encodeFailure = "no encoder";
    video.updateLockVideoIfNeeded(false);
    work();
    std::filesystem::remove_all(dir / "Videos");
    encodeFailure.clear();
    video.updateLockVideoIfNeeded(false);
    work();
    EXPECT_EQ(log.lines(), (std::vector<std::string>{
                               "Tavel: lock video failed: no encoder",
                               "Tavel: aerial store missing \u2014 open Wallpaper settings once"}));
    EXPECT_FALSE(std::filesystem::exists(dir / "Tavel" / "lockvideo.sig"));
    EXPECT_EQ(restarts, 0);
    EXPECT_FALSE(video.busy());
    EXPECT_FALSE(video.progress());
}

TEST_F(LiveLockVideoTest, ASlotThatIsALinkIsLeftAlone) {
    std::ofstream(dir / "elsewhere.mov") << "not ours";
    std::filesystem::remove(slot);
    std::filesystem::create_symlink(dir / "elsewhere.mov", slot);
    video.updateLockVideoIfNeeded(false);
    work();
    EXPECT_TRUE(std::filesystem::is_symlink(slot));
    EXPECT_EQ(slurp(dir / "elsewhere.mov"), "not ours");
    EXPECT_FALSE(std::filesystem::exists(dir / "Tavel" / "aerial-original.mov"));  // nor backed up
    EXPECT_FALSE(std::filesystem::exists(dir / "Tavel" / "lockvideo.sig"));
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"Tavel: lock video failed: " + slot.string() +
                                                     " is a symbolic link; it is left alone"}));
}

TEST_F(LiveLockVideoTest, AJobLeftWhenTheApplicationEndsStopsWithoutAWord) {
    auto ending = std::make_unique<LiveLockVideo>(deps);
    ending->attach(*state);
    ending->updateLockVideoIfNeeded(false);
    ending.reset();
    work();
    EXPECT_EQ(slurp(slot), "system");
    EXPECT_FALSE(std::filesystem::exists(dir / "Tavel" / "lockvideo.sig"));
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(LiveLockVideoTest, TheGuideIsShownOnceAndMayOpenTheSettings) {
    openSettings = true;
    video.runLockVideoGuide();
    video.runLockVideoGuide();
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(store.boolValue(LiveLockVideo::kGuideShownKey), true);
}

}  // namespace
}  // namespace tavel
