// The progress dialog and the dialog framework on Linux, in this process: the modal loop
// carries out the worker's requests on the dialog's own thread, the bar keeps its range,
// the worker starts once however often the dialog is shown, and Cancel (Ctrl-C, or the
// command the Escape key gives on Windows) works once and only while the button could be
// pressed. On Windows the dialog needs the program's resources; it is tested under Wine
// (tests/wine/dialog_test.sh).
#ifndef _WIN32

#include <csignal>
#include <string>
#include <thread>
#include <vector>

#include "launcher/ui/progress_dialog_run.h"
#include "launcher/ui/quenlow_sfx_dlg.h"
#include "launcher_fixture.h"
#include "platform/dialog.h"

using ::testing::HasSubstr;
using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;

namespace {

std::string textOf(const CWnd& window) {
    char buffer[256] = "";
    window.Send(MessageGetText, sizeof buffer, reinterpret_cast<intptr_t>(buffer));
    return buffer;
}

int positionOf(const CWnd& bar) {
    return static_cast<int>(bar.Send(ProgressGetPos));
}

// Waits (a few seconds at most) until the dialog's loop answers and shows the dialog.
void waitUntilShown(const CDialog& dialog) {
    for (int i = 0; i < 500 && (dialog.GetSafeHwnd() == nullptr || !dialog.IsVisible()); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

// A dialog with a status line and a bar whose worker is a test function.
class WorkerDialog : public CDialog {
  public:
    explicit WorkerDialog(unsigned (*worker)(void*)) : CDialog(100, nullptr), m_worker(worker) {}

    intptr_t WindowProc(unsigned message, uintptr_t wParam, intptr_t lParam) override {
        if (message == MessageShowWindow) {
            showings.push_back({wParam == 1, std::this_thread::get_id()});
            if (wParam == 1 && !m_started) {
                m_started = true;
                startWorkerThread(m_worker, this);
            }
        }
        return CDialog::WindowProc(message, wParam, lParam);
    }

    void DoDataExchange() override {
        BindControl(1002, status);
        BindControl(1001, bar);
    }

    struct Showing {
        bool shown;
        std::thread::id thread;
    };
    std::vector<Showing> showings;
    CStatic status;
    CProgressCtrl bar;
    std::vector<int> positions;

  private:
    unsigned (*m_worker)(void*);
    bool m_started = false;
};

unsigned moveBarHideAndShow(void* argument) {
    auto& dialog = *static_cast<WorkerDialog*>(argument);
    dialogState.progressBar = &dialog.bar;
    for (int percent : {42, 250, -3, 100}) {
        dialogProgressSink("entry", percent);
        dialog.positions.push_back(positionOf(dialog.bar));
    }
    dialog.status.SetText("Working");
    dialog.Show(ShowCommand::Hide);
    dialog.Show(ShowCommand::Normal);
    dialogState.progressBar = nullptr;
    dialog.EndDialog(9);
    return 1;
}

class DialogTest : public LauncherTest {
  protected:
    void SetUp() override {
        LauncherTest::SetUp();
        dialogState.workerStarted = false;
    }
    void TearDown() override {
        dialogState.workerStarted = false;
        LauncherTest::TearDown();
    }
};

} // namespace

TEST_F(DialogTest, WorkerRequestsAreCarriedOutOnTheDialogThreadAndTheBarKeepsItsRange) {
    WorkerDialog dialog(moveBarHideAndShow);
    EXPECT_EQ(dialog.DoModal(), 9);

    // Above 100 the bar is full, below 0 empty.
    EXPECT_EQ(dialog.positions, (std::vector<int>{42, 100, 0, 100}));
    ASSERT_EQ(dialog.showings.size(), 3u);
    EXPECT_TRUE(dialog.showings[0].shown);
    EXPECT_FALSE(dialog.showings[1].shown);
    EXPECT_TRUE(dialog.showings[2].shown);
    for (const auto& showing : dialog.showings)
        EXPECT_EQ(showing.thread, std::this_thread::get_id());
}

TEST_F(DialogTest, CancelWorksOnceAndOnlyWhileTheButtonCanBePressed) {
    CQuenlowSFXDlg dialog;
    // Pretend the worker runs, so that Cancel becomes a request to it instead of ending the
    // dialog; no real run is started.
    CWinThread worker;
    dialogState.workerStarted = true;
    dialog.m_pWorkerThread = &worker;

    std::thread user([&] {
        waitUntilShown(dialog);
        CWnd button = dialog.GetDlgItem(IdCancel);
        raise(SIGINT); // Ctrl-C: the first press
        EXPECT_EQ(textOf(dialog.m_ctlStatus), "Canceling the installer . . .");
        EXPECT_FALSE(button.IsEnabled());
        EXPECT_TRUE(isCancelRequested());

        // Neither a second Ctrl-C nor the Cancel command itself (the Escape key on Windows,
        // which does not look at the button) has any effect now.
        dialog.m_ctlStatus.SetText("Still extracting");
        raise(SIGINT);
        dialog.Send(MessageCommand, IdCancel);
        EXPECT_EQ(textOf(dialog.m_ctlStatus), "Still extracting");

        // Nor while the run cleans up with the button hidden.
        button.Enable(true);
        button.Show(ShowCommand::Hide);
        dialog.m_ctlStatus.SetText("Cleaning up . . .");
        raise(SIGINT);
        dialog.Send(MessageCommand, IdCancel);
        EXPECT_EQ(textOf(dialog.m_ctlStatus), "Cleaning up . . .");
        dialog.EndDialog(IdCancel);
    });
    EXPECT_EQ(dialog.DoModal(), IdCancel);
    user.join();
    EXPECT_EQ(dialog.m_nRunResult, 0);
}

TEST_F(DialogTest, CancelBeforeAnyWorkerEndsTheDialogWithResultZero) {
    CQuenlowSFXDlg dialog;
    dialogState.workerStarted =
        true; // the show handler starts nothing: as if the thread had failed
    std::thread user([&] {
        waitUntilShown(dialog);
        raise(SIGINT);
    });
    EXPECT_EQ(dialog.DoModal(), IdCancel);
    user.join();
    EXPECT_EQ(dialog.m_pWorkerThread, nullptr);
    EXPECT_FALSE(isCancelRequested());
    EXPECT_EQ(dialog.m_nRunResult, 0);
}

TEST_F(DialogTest, DialogRunReportsAFailedStepAndReturnsTheRunResult) {
    // The test program carries no archive, so the run stops at the descriptor.
    const std::string base = scratchDirectory();
    parse({"sfx", "-nowait", "-J-Djava.io.tmpdir=" + base});
    CaptureStderr();
    EXPECT_EQ(runWithProgressDialog(), 1);
    EXPECT_THAT(GetCapturedStderr(),
                HasSubstr("ERROR: Cannot obtain archive information because it is corrupted "
                          "(1).\n"));
    EXPECT_TRUE(dialogState.workerStarted);
    EXPECT_EQ(std::filesystem::current_path(), std::filesystem::path(savedWorkingDirectory));
}

#endif
