// Start-up of the desktop program to a shown window with a file analysed:
// settings, the codec database, the window and the analysis of one DVD-style
// MPEG file, on the offscreen platform (the X server's share is not counted).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdlib>
#include <iostream>

#include "Startup.h"
#include "analysis/MessageBox.h"
#include "settings/SettingsStore.h"

namespace {

void BM_StartWindowWithFile(benchmark::State& state) {
    torvo::CStreamMessageBox messages(std::cerr);
    for (auto _ : state) {
        torvo::CMemorySettingsStore store;
        store.WriteInt(torvo::kPrefsSection, "AppVersion", torvo::kAppVersionStored);
        torvo::gui::StartupOptions options;
        options.store = &store;
        options.messages = &messages;
        options.databasePath = TORVO_SOURCE_DATA_DIR "/Torvo27.dat";
        options.args = {TORVO_TEST_DATA_DIR "/mpeg/dvd_pal_ac3.vob"};
        torvo::gui::CTorvoApp app(options);
        if (!app.Start()) state.SkipWithError("the window did not start");
        QApplication::processEvents();
        benchmark::DoNotOptimize(app.Window());
    }
}
BENCHMARK(BM_StartWindowWithFile)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
