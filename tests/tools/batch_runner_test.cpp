// The batch runner and output naming in-process: ordering under threads, stopping on a usage
// error, and a full disk in the middle of a batch.
#include "platform/atomic_file.h"
#include "platform/bitmap.h"
#include "support/temp_dir.h"
#include "tools/vtlc/batch.h"
#include "tools/vtlc/command_line.h"
#include "tools/vtlc/commands.h"
#include "tools/vtlc/output_names.h"
#include "tools/vtlc/picture_reading.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

using namespace vtl::tools;
using vtl::document::SaveKind;
using vtl::testing::TempDir;
namespace fs = std::filesystem;

namespace {

std::vector<BatchJob> Jobs(size_t count)
{
    std::vector<BatchJob> jobs(count);
    for (size_t i = 0; i < count; ++i) {
        jobs[i].input = "in" + std::to_string(i);
        jobs[i].output = "out" + std::to_string(i);
    }
    return jobs;
}

// Runs the batch with its messages caught in a temporary file.
std::pair<int, std::string> RunCaught(const std::vector<BatchJob>& jobs, const FileWork& work, BatchSettings settings)
{
    std::FILE* err = std::tmpfile();
    const int status = RunBatch(jobs, work, settings, err);
    std::rewind(err);
    std::string text;
    for (int c; (c = std::fgetc(err)) != EOF;)
        text += char(c);
    std::fclose(err);
    return { status, text };
}

}

TEST(BatchRunner, MessagesComeInInputOrderWhateverFinishesFirst)
{
    const auto jobs = Jobs(6);
    BatchSettings settings;
    settings.jobs = 3;
    settings.verbose = true;
    auto [status, text] = RunCaught(jobs, [](const BatchJob& job, Notes& notes) {
        const int i = job.input.back() - '0';
        // The first files take longest, so later ones finish first.
        std::this_thread::sleep_for(std::chrono::milliseconds((6 - i) * 15));
        if (i == 4)
            throw std::runtime_error("in4 is broken");
        notes.push_back("note " + std::to_string(i));
    }, settings);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(text,
        "in0 -> out0\nnote 0\nin1 -> out1\nnote 1\nin2 -> out2\nnote 2\nin3 -> out3\nnote 3\n"
        "in5 -> out5\nnote 5\nvtlc: 1 of 6 files failed:\n  in4 is broken\n");
}

TEST(BatchRunner, AUsageErrorStopsTheBatch)
{
    std::atomic<int> started { 0 };
    BatchSettings settings;
    settings.jobs = 1;
    auto [status, text] = RunCaught(Jobs(5), [&](const BatchJob& job, Notes&) {
        ++started;
        if (job.input == "in1")
            throw UsageError { "resize: x is not a number" };
    }, settings);
    EXPECT_EQ(status, 2);
    EXPECT_EQ(started, 2);
    EXPECT_EQ(text, "vtlc: resize: x is not a number\n");
}

TEST(BatchRunner, OutputNamesFromPatterns)
{
    EXPECT_EQ(ExpandName("{name}.{ext}", "dir/photo.JPG", std::nullopt, 1), "photo.JPG");
    EXPECT_EQ(ExpandName("{name}.{ext}", "photo.jpg", SaveKind::PngInterlace, 1), "photo.png");
    EXPECT_EQ(ExpandName("{name}.{ext}", "photo.png", SaveKind::Jpeg, 1), "photo.jpg");
    EXPECT_EQ(ExpandName("img{n:4}_{name}.bmp", "a.b.c", std::nullopt, 12), "img0012_a.b.bmp");
    EXPECT_EQ(ExpandName("{n}", "x", std::nullopt, 123), "123");
    for (const char* bad : { "{name", "{size}", "../{name}", "{n:0}", "{n:99}", "a/{name}", "." })
        EXPECT_THROW(ExpandName(bad, "x.bmp", std::nullopt, 1), UsageError) << bad;

    OutputNaming naming;
    naming.folder = "out";
    EXPECT_THROW(PlanOutputs({ "a.gif" }, naming), UsageError); // no kind to write a .gif
    naming.as = SaveKind::Png;
    auto jobs = PlanOutputs({ "a.gif", "b.jpg" }, naming);
    ASSERT_EQ(jobs.size(), 2u);
    EXPECT_EQ(jobs[1].output, fs::path("out/b.png"));
    EXPECT_EQ(jobs[1].kind, SaveKind::Png);
    EXPECT_THROW(PlanOutputs({ "x/a.bmp", "y/a.jpg" }, naming), UsageError);
}

TEST(BatchRunner, AFullDiskFailsOnlyTheFileBeingWrittenAndLeavesNothingBehind)
{
    TempDir dir;
    const std::string oldHome = getenv("VTL_HOME") ? getenv("VTL_HOME") : "";
    setenv("VTL_HOME", dir.Path().c_str(), 1);
    std::vector<std::string> args { "convert", "-j", "1", "-q", "-o", (dir / "out").string(), "--as", "bmp" };
    for (int i = 0; i < 3; ++i) {
        vtl::platform::TBitmap b(9 + i, 7, vtl::platform::TPixelFormat::pf24bit);
        b.SaveToFile(dir / ("p" + std::to_string(i) + ".bmp"));
        args.push_back((dir / ("p" + std::to_string(i) + ".bmp")).string());
    }
    LoadedRegistry(); // the plug-in list is written on first use; the failure is for a picture
    vtl::platform::FailNextWritesForTesting(1);
    ::testing::internal::CaptureStderr();
    const int status = Commands().at("convert")(ParseCommandLine(args));
    const std::string err = ::testing::internal::GetCapturedStderr();
    setenv("VTL_HOME", oldHome.c_str(), 1);
    EXPECT_EQ(status, 1);
    EXPECT_NE(err.find("1 of 3 files failed"), std::string::npos) << err;
    EXPECT_NE(err.find("cannot write"), std::string::npos) << err;
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir / "out"))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string> { "p1.bmp", "p2.bmp" }));
}
