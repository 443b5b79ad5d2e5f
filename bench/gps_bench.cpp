// The receiver's per-tick work: parsing sentences, cutting the byte stream into lines,
// and whole polls over a real log.
#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>
#include <string>

#include "gps/gps_receiver.h"
#include "gps/nmea.h"
#include "platform/headless/power_recording.h"
#include "platform/headless/virtual_serial.h"

namespace {

using namespace quorel;

struct InstantClock final : platform::Clock {
    std::int64_t now = 0;
    std::int64_t nowMs() override { return now; }
    void sleepMs(int ms) override { now += ms; }
};

std::string readLog(const char* name) {
    std::ifstream in(std::string(QUOREL_CORPUS_DIR) + "/nmea/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void BM_ParseGga(benchmark::State& state) {
    const std::string text = "$GNGGA,003956.00,4552.65403,S,17030.00668,E,1,12,0.64,14.2,M,1.8,M,,*56\r\n";
    std::int32_t time = 0, sats = 0;
    double lat = 0, lon = 0, alt = 0;
    char latH = 0, lonH = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(parseGga(text, GgaFields{time, lat, latH, lon, lonH, sats, alt}));
    }
    if (sats == 0) state.SkipWithError("the sentence was refused");
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ParseGga);

void BM_ParseRmc(benchmark::State& state) {
    const std::string text = "$GPRMC,143514,A,3428.9468,N,13549.4507,E,0.0,196.2,180708,6.7,W,A*06\r\n";
    std::int32_t time = 0, date = 0;
    double lat = 0, lon = 0, speed = 0, course = 0;
    char latH = 0, lonH = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(parseRmc(text, RmcFields{time, lat, latH, lon, lonH, speed, course, date}));
    }
    if (date == 0) state.SkipWithError("the sentence was refused");
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ParseRmc);

// A whole log (60 kB, 883 lines) through the line reader and the polls.
void BM_PollLog(benchmark::State& state) {
    const std::string log = readLog("unicore-um621.log");
    InstantClock clock;
    platform::RecordingPowerBackend backend;
    const PowerContext power{backend, false, {}};
    for (auto _ : state) {
        platform::VirtualSerialDevice device;
        GpsContext gps(device, clock);
        openSerialPort(gps.port, "COM0:", 4800, 8, 0, 0, 0);
        device.queue(log);
        while (device.pending() > 0 || gps.port.rxCount > 0) pollGps(gps, power);
        benchmark::DoNotOptimize(gps.receiver.track.pointCount());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(log.size()));
}
BENCHMARK(BM_PollLog);

void BM_ReadSentences(benchmark::State& state) {
    const std::string log = readLog("ublox-zed-f9p-nmea.log");
    InstantClock clock;
    for (auto _ : state) {
        platform::VirtualSerialDevice device;
        SerialPort port(device, clock);
        openSerialPort(port, "COM0:", 4800, 8, 0, 0, 0);
        device.queue(log);
        SentenceBuffer sentence{};
        int lines = 0;
        while (device.pending() > 0 || port.rxCount > 0) lines += readSentence(port, sentence) > 0;
        benchmark::DoNotOptimize(lines);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(log.size()));
}
BENCHMARK(BM_ReadSentences);

}  // namespace
BENCHMARK_MAIN();
