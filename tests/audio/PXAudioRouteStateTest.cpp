// The routing state file is read at every start, before any window shows: whatever stands in
// its place must neither hold the start up nor fill the memory. Either is a leftover that is
// not ours, read as an empty state.
#include "audio/PXAudioRouteState.h"

#include <gtest/gtest.h>

#include "support/HostileFiles.h"
#include "support/TestSupport.h"

namespace pex {
namespace {

class PXAudioRouteStateTest : public ::testing::Test {
  protected:
    std::filesystem::path stateFile() const { return dir_.path() / "audio-route.json"; }

  private:
    test::TempDir dir_;
};

TEST_F(PXAudioRouteStateTest, AFifoInPlaceOfTheFileGivesAnEmptyStateAtOnce) {
    ASSERT_TRUE(test::makeFifo(stateFile()));
    std::optional<PXAudioRouteState> state;
    EXPECT_TRUE(test::finishesWithoutAWriter(stateFile(),
                                             [&] { state = PXAudioRouteState::load(stateFile()); }))
        << "loading waited for a writer of the FIFO";
    EXPECT_EQ(state, PXAudioRouteState{});
}

TEST_F(PXAudioRouteStateTest, AHugeFileGivesAnEmptyStateWithoutBeingRead) {
    ASSERT_TRUE(test::makeSparseFile(stateFile(), std::uint64_t{1} << 30));
    const std::uint64_t before = test::bytesReadByProcess();
    EXPECT_EQ(PXAudioRouteState::load(stateFile()), PXAudioRouteState{});
    // The state is small JSON: no more than a state's worth is read of a file this size.
    EXPECT_LT(test::bytesReadByProcess() - before, std::uint64_t{1} << 20);
}

}  // namespace
}  // namespace pex
