// Progress accounting of the main extraction: the truncating percentage, its bounds, the
// sink and the cancel answer.
#include <vector>

#include "launcher/run/archive_ops.h"
#include "launcher_fixture.h"
#include "quenlow/unzip.h"

namespace {
std::vector<int32_t> received;
void recordingSink(const char*, int32_t percent) {
    received.push_back(percent);
}
} // namespace

class RunProgressTest : public LauncherTest {
protected:
    std::vector<int32_t> percentagesFor(uint64_t total, std::initializer_list<uint64_t> sizes) {
        resetRunRecords();
        received.clear();
        runState.totalBytes = total;
        setProgressSink(recordingSink);
        for (uint64_t size : sizes)
            EXPECT_EQ(trackExtractionProgress("entry", size), 0);
        return received;
    }
};

TEST_F(RunProgressTest, PercentagesAreTruncatedNeverRounded) {
    EXPECT_EQ(percentagesFor(100, {29, 28, 43}), (std::vector<int32_t>{28, 56, 100}));
    EXPECT_EQ(percentagesFor(100, {10, 20, 70}), (std::vector<int32_t>{10, 30, 100}));
    EXPECT_EQ(percentagesFor(300, {1, 2}), (std::vector<int32_t>{0, 1}));
    EXPECT_EQ(percentagesFor(10000, {9999}), (std::vector<int32_t>{99}));
    EXPECT_EQ(runState.extractedBytes, 9999u);
}

TEST_F(RunProgressTest, UnusableTotalsSaturateInsteadOfOverflowing) {
    // No size in the descriptor gives a total of 1; a non-number gives 0.
    EXPECT_EQ(percentagesFor(1, {1, 21474835, 1000000000}),
              (std::vector<int32_t>{100, 2147483600, INT32_MAX}));
    EXPECT_EQ(percentagesFor(0, {0, 5}), (std::vector<int32_t>{100, 100}));
    EXPECT_EQ(extractionPercent(UINT64_MAX, 1), INT32_MAX);
}

TEST_F(RunProgressTest, CancelStopsTheExtractionAtTheNextEntry) {
    runState.totalBytes = 10;
    EXPECT_EQ(trackExtractionProgress("a", 1), 0);
    EXPECT_FALSE(isCancelRequested());
    requestCancel();
    EXPECT_TRUE(isCancelRequested());
    EXPECT_EQ(trackExtractionProgress("b", 1), 1);
    EXPECT_EQ(runState.extractedBytes, 2u);
}

TEST_F(RunProgressTest, EngineCallbacksOfTheMainExtraction) {
    runState.totalBytes = 5;
    addListedSize(7, 3, 50, 1, 2, 3, 4, 5, ' ', "name", "Stored", 0, ' ');
    EXPECT_EQ(runState.totalBytes, 12u);
    char name[16] = "x";
    commandLine.debugMode = true;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(answerReplace(name, sizeof name), REPLACE_YES);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "FuncReplace\n");
}
