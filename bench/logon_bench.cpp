// The logon as the user waits for it: from pressing the logon button of the dialog to the dialog closing,
// against PortalLink and the fake web service on 127.0.0.1. The round trip holds the logon call, the
// portrait download (the fake serves the account's picture), storing the settings and the window message
// back to the dialog. Offscreen; one logon per repetition, reported as the median of 20. The session's
// logon alone (same call, same portrait, answered to a queue) is measured beside it: the difference is
// what the window adds, of which storing the settings is measured on its own.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>
#include <QLineEdit>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/app_config.h"
#include "app/language_choice.h"
#include "app/web_session.h"
#include "platform/queue_window_target.h"
#include "platform/window_messages.h"
#include "tools/fake_portal/fake_portal_server.h"
#include "ui/image_button.h"
#include "ui/logon_dialog.h"
#include "ui/skin.h"
#include "ui/studio_context.h"

namespace {

// What every repetition shares: the application, the fake service and the studio's objects. Made on first
// use, torn down at exit (the service stopped by its process id).
struct LogonBench {
    LogonBench() {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        setenv("no_proxy", "127.0.0.1,localhost", 1);
        char pattern[] = "/tmp/bv-logon-bench-XXXXXX";
        if (mkdtemp(pattern) == nullptr) return;
        dir = pattern;
        setenv("XDG_CACHE_HOME", dir.c_str(), 1);
        application = std::make_unique<QApplication>(argc, argv);
        ApplyLanguage("en");
        CSkin::Current().Choose(SKIN_ROOT, "en");
        if (!portal.Start()) return;
        context.deployment.PortalAddress1 = portal.Address();
        config = std::make_unique<AppConfig>(dir + "/Config.xml");
        config->ServerURL = portal.Address();
        config->AutoPWD = 1;
        session = std::make_unique<CWebSession>(context.deployment);
        session->SetServer(config->ServerURL);
        context.config = config.get();
        context.session = session.get();
        ready = true;
    }
    ~LogonBench() {
        session.reset();
        portal.Stop();
        if (!dir.empty()) std::filesystem::remove_all(dir);
    }

    int argc = 1;
    char name[12] = "logon_bench";
    char* argv[2] = {name, nullptr};
    std::string dir;
    std::unique_ptr<QApplication> application;
    CFakePortal portal;
    std::unique_ptr<AppConfig> config;
    std::unique_ptr<CWebSession> session;
    StudioContext context;
    bool ready = false;
};

LogonBench& Shared() {
    static LogonBench bench;
    return bench;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Times one step per iteration: step returns the seconds it measured, or nothing when it failed.
template <typename Step>
void Measure(benchmark::State& state, const char* failure, Step step) {
    LogonBench& bench = Shared();
    if (!bench.ready) {
        state.SkipWithError("the fake web service did not start");
        return;
    }
    for (auto _ : state) {
        const std::optional<double> seconds = step(bench);
        if (!seconds) {
            state.SkipWithError(failure);
            return;
        }
        state.SetIterationTime(*seconds);
    }
}

void BM_LogonRoundTrip(benchmark::State& state) {
    Measure(state, "the logon failed", [](LogonBench& bench) -> std::optional<double> {
        CLogonDlg dialog(&bench.context, false);
        dialog.show();
        dialog.AccountBox()->setText(fake_portal::kPresenterUser);
        dialog.PasswordBox()->setText("onair");
        QCoreApplication::processEvents();
        const auto pressed = std::chrono::steady_clock::now();
        dialog.LogonButton()->click();
        // The worker's message wakes the loop; nothing is polled.
        while (dialog.isVisible()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const double seconds = SecondsSince(pressed);
        if (dialog.result() != QDialog::Accepted) return std::nullopt;
        return seconds;
    });
}

void BM_SessionLogonAlone(benchmark::State& state) {
    CQueueWindowTarget target;
    Measure(state, "the logon failed", [&target](LogonBench& bench) -> std::optional<double> {
        const auto started = std::chrono::steady_clock::now();
        bench.session->StartLogon(fake_portal::kPresenterUser, fake_portal::kPresenterPasswordDigest, &target);
        ThreadMessage answer;
        const bool answered = target.Take(&answer, std::chrono::seconds(30));
        bench.session->JoinWorker();
        if (!answered || answer.wParam != 1) return std::nullopt;
        return SecondsSince(started);
    });
}

// The settings a successful logon stores, written durably (the file and its folder synced).
void BM_StoreSettings(benchmark::State& state) {
    Measure(state, "the settings could not be stored", [](LogonBench& bench) -> std::optional<double> {
        const auto started = std::chrono::steady_clock::now();
        if (!bench.config->Save()) return std::nullopt;
        return SecondsSince(started);
    });
}

void MedianOfTwenty(benchmark::internal::Benchmark* b) {
    b->UseManualTime()
        ->Iterations(1)
        ->Repetitions(20)
        ->ComputeStatistics("min", [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); })
        ->ComputeStatistics("max", [](const std::vector<double>& v) { return *std::max_element(v.begin(), v.end()); })
        ->ReportAggregatesOnly(true)
        ->Unit(benchmark::kMillisecond);
}
BENCHMARK(BM_LogonRoundTrip)->Apply(MedianOfTwenty);
BENCHMARK(BM_SessionLogonAlone)->Apply(MedianOfTwenty);
BENCHMARK(BM_StoreSettings)->Apply(MedianOfTwenty);

}  // namespace
