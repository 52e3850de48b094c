// Throughput of the expansion and of the whole generation, as ratios to
// memcpy and to a plain stdio copy measured in the same run.
#include "inx-check/rules/TemplateCheck.h"
#include "script/InstallScript.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kMegabyte = 1000000;
const std::string kPath(40, 'p');
constexpr std::size_t kLineLength = 64;

// Text of `size` bytes: INF-like lines of 64 bytes, each with a placeholder
// when `dense`, else none.
const std::string& Text(std::size_t size, bool dense)
{
    static std::map<std::pair<std::size_t, bool>, std::string> texts;
    std::string& text = texts[{size, dense}];
    if (text.empty()) {
        std::string line =
            dense ? "HKCU,Software\\Bench,Key,,VUZAZURAV" : "HKCU,Software\\Bench,Key,,value";
        line.append(kLineLength - 1 - line.size(), 'x');
        line += '\n';
        while (text.size() + line.size() <= size) {
            text += line;
        }
        text.append(size - text.size(), 'x');
    }
    return text;
}

// A destination that has been written once already, so no page faults are timed.
std::vector<char>& WarmBuffer(std::size_t size)
{
    static std::vector<char> buffer;
    if (buffer.size() < size) {
        buffer.assign(size, '\0');
    }
    return buffer;
}

void Memcpy(benchmark::State& state)
{
    const std::string& text = Text(static_cast<std::size_t>(state.range(0)), false);
    std::vector<char>& buffer = WarmBuffer(text.size() + 1);
    while (state.KeepRunning()) {
        std::memcpy(buffer.data(), text.data(), text.size() + 1);
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}

void Expand(benchmark::State& state, bool dense)
{
    const std::string& text = Text(static_cast<std::size_t>(state.range(0)), dense);
    std::size_t size = 0;
    MeasureExpansion(text.size(), CountPlaceholders(text.c_str()), kPath.size(), &size);
    std::vector<char>& buffer = WarmBuffer(size);
    while (state.KeepRunning()) {
        buffer[0] = '\0';
        ScriptBuffer script{buffer.data(), 0, size};
        if (!ExpandPlaceholders(text.c_str(), kPath.c_str(), &script)) {
            state.SkipWithError("expansion refused");
        }
        benchmark::DoNotOptimize(script.length);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}

void ExpandPlain(benchmark::State& state)
{
    Expand(state, false);
}
void ExpandDense(benchmark::State& state)
{
    Expand(state, true);
}

// inx-check on an INF-like template: every finding (a placeholder warning on
// none of the lines here), the rendering and the INF engine's reading.
void CheckDense(benchmark::State& state)
{
    const std::string text = "[Version]\nSignature=$Chicago$\n[DefaultInstall]\nAddReg=R\n[R]\n" +
                             Text(static_cast<std::size_t>(state.range(0)), true);
    while (state.KeepRunning()) {
        benchmark::DoNotOptimize(
            CheckTemplate(text, &kPath, nullptr, *FindCodePage(kDefaultCodePage)));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}

// Runs in a scratch folder holding a 10 MB template.
class TemplateFolder {
public:
    TemplateFolder()
        : previous_(std::filesystem::current_path()),
          folder_(std::filesystem::temp_directory_path() / "install-benchmark")
    {
        std::filesystem::create_directories(folder_);
        std::filesystem::current_path(folder_);
        const std::string& text = Text(10 * kMegabyte, true);
        std::ofstream file(kTemplateFileName, std::ios::binary);
        file.write(text.data(), static_cast<std::streamsize>(text.size()));
    }
    ~TemplateFolder()
    {
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(folder_);
    }

private:
    std::filesystem::path previous_;
    std::filesystem::path folder_;
};

void GenerateScript(benchmark::State& state)
{
    TemplateFolder folder;
    while (state.KeepRunning()) {
        if (GenerateInstallScript(kPath.c_str()) != ScriptStatus::Written) {
            state.SkipWithError("generation failed");
        }
    }
}

bool WriteWhatIsRead(std::FILE* source, std::FILE* target, std::vector<char>& bytes)
{
    const std::size_t delivered = std::fread(bytes.data(), 1, bytes.size(), source);
    return std::ferror(source) == 0 && std::fwrite(bytes.data(), 1, delivered, target) == delivered;
}

// The same file read whole and written whole with stdio, in the same modes.
void StdioCopy(benchmark::State& state)
{
    TemplateFolder folder;
    while (state.KeepRunning()) {
        std::FILE* source = std::fopen(kTemplateFileName, "r");
        std::FILE* target = std::fopen("copy.inf", "w");
        long size = -1;
        if (source != nullptr && std::fseek(source, 0, SEEK_END) == 0) {
            size = std::ftell(source);
        }
        std::vector<char> bytes(size > 0 ? static_cast<std::size_t>(size) : 0);
        const bool copied = target != nullptr && size >= 0 &&
                            std::fseek(source, 0, SEEK_SET) == 0 &&
                            WriteWhatIsRead(source, target, bytes);
        const bool closed = (target == nullptr || std::fclose(target) == 0) &&
                            (source == nullptr || std::fclose(source) == 0);
        if (!copied || !closed) {
            state.SkipWithError("copy failed");
        }
    }
}

void Sizes(benchmark::internal::Benchmark* benchmark)
{
    for (std::size_t megabytes : {std::size_t{1}, std::size_t{10}, std::size_t{100}}) {
        benchmark->Arg(static_cast<int64_t>(megabytes * kMegabyte));
    }
    benchmark->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5)->ReportAggregatesOnly();
}

BENCHMARK(Memcpy)->Apply(Sizes);
BENCHMARK(ExpandPlain)->Apply(Sizes);
BENCHMARK(ExpandDense)->Apply(Sizes);
BENCHMARK(CheckDense)
    ->Arg(static_cast<int64_t>(10 * kMegabyte))
    ->Arg(static_cast<int64_t>(100 * kMegabyte))
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(3)
    ->ReportAggregatesOnly();
BENCHMARK(GenerateScript)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly();
BENCHMARK(StdioCopy)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly();

// Keeps the median time of every benchmark while printing as usual.
class MedianCollector : public benchmark::ConsoleReporter {
public:
    MedianCollector() : ConsoleReporter(OO_Tabular) {}

    std::map<std::string, double> medians;  // time per iteration, by name and argument

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                const std::string& args = run.run_name.args;
                medians[run.run_name.function_name + (args.empty() ? "" : "/" + args)] =
                    run.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

// One row of the table; a ratio that a missing or zero time leaves undefined
// is shown as such.
void PrintRatio(const std::string& label, double ratio, const char* target)
{
    if (std::isfinite(ratio) && ratio > 0) {
        std::printf("%-58s %8.2f %8s\n", label.c_str(), ratio, target);
    } else {
        std::printf("%-58s %8s %8s\n", label.c_str(), "missing", target);
    }
}

void PrintRatios(const std::map<std::string, double>& median, const char* programPath)
{
    auto time = [&median](const std::string& name) {
        const auto found = median.find(name);
        return found != median.end() ? found->second : std::nan("");
    };
    auto at = [](const char* name, std::size_t megabytes) {
        return std::string(name) + "/" + std::to_string(megabytes * kMegabyte);
    };
    std::printf("\n%-58s %8s %8s\n", "ratio", "measured", "target");
    for (std::size_t megabytes : {std::size_t{1}, std::size_t{10}, std::size_t{100}}) {
        const std::string size = std::to_string(megabytes) + " MB";
        PrintRatio("no-placeholder expansion / memcpy throughput, " + size,
                   time(at("Memcpy", megabytes)) / time(at("ExpandPlain", megabytes)), ">= 0.50");
        PrintRatio("dense expansion / memcpy throughput, " + size,
                   time(at("Memcpy", megabytes)) / time(at("ExpandDense", megabytes)), ">= 0.25");
    }
    // At 10 MB text and buffers fit in a large last-level cache, at 100 MB they
    // do not: memcpy's own growth shows how much of any excess is the machine's.
    auto growth = [&](const char* name) { return time(at(name, 100)) / (10 * time(at(name, 10))); };
    PrintRatio("memcpy: time 100 MB / (10 x time 10 MB)", growth("Memcpy"), "");
    for (const char* name : {"ExpandPlain", "ExpandDense"}) {
        PrintRatio(std::string(name) + ": time 100 MB / (10 x time 10 MB)", growth(name),
                   "<= 1.15");
        PrintRatio(std::string(name) + ": the same, over memcpy's", growth(name) / growth("Memcpy"),
                   "<= 1.15");
    }
    PrintRatio("inx-check / dense expansion throughput, 10 MB",
               time(at("ExpandDense", 10)) / time(at("CheckDense", 10)), ">= 0.10");
    PrintRatio("inx-check: time 100 MB / time 10 MB",
               time(at("CheckDense", 100)) / time(at("CheckDense", 10)), "<= 12");
    PrintRatio("GenerateInstallScript 10 MB / stdio copy throughput",
               time("StdioCopy") / time("GenerateScript"), "");
    std::error_code error;
    const auto programSize =
        programPath != nullptr ? std::filesystem::file_size(programPath, error) : 0;
    if (programPath != nullptr && !error) {
        std::printf("%-58s %8.1f %8s\n", "stripped install.exe, KiB",
                    static_cast<double>(programSize) / 1024, "<= 32");
    }
}

}  // namespace

// Usage: install_benchmark [--program PATH_TO_INSTALL_EXE] [benchmark flags]
int main(int argc, char** argv)
{
    const char* programPath = nullptr;
    if (argc >= 3 && std::strcmp(argv[1], "--program") == 0) {
        programPath = argv[2];
        argv[2] = argv[0];
        argc -= 2;
        argv += 2;
    }
    benchmark::Initialize(&argc, argv);
    MedianCollector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);
    PrintRatios(collector.medians, programPath);
    benchmark::Shutdown();
    return 0;
}
