// SPDX-License-Identifier: MIT
// A batch's output file: what a resume finds in it (after a torn write, changed files, changed options),
// the records' labels, and the lock against a second batch.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "meshprobe/Batch.h"
#include "meshprobe/BatchOutput.h"
#include "meshprobe/Error.h"
#include "tests/support/MeshFiles.h"

namespace {

using meshprobe::BatchOutput;
using meshprobe::FileStamp;
using meshprobe::PartLabel;

std::string contentOf(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const std::string& path, const std::string& content)
{
    std::ofstream(path, std::ios::binary) << content;
}

meshprobe::BatchOptions trappedAt(int resolution)
{
    meshprobe::BatchOptions options;
    options.trapped = meshprobe::BatchTrapped{resolution, meshprobe::BuildDirection::PlusZ, 1};
    return options;
}

const std::string okRecord = R"({"mesh":"x","ok":true,"seconds":0.5})";

TEST(BatchOutput, ResumeFindsARecordOnlyForTheSameFileAndOptions)
{
    clitest::TempDir folder;
    const std::string path = folder.file("records.jsonl");
    const std::string options = meshprobe::batchOptionsJson(trappedAt(64));
    const FileStamp stamp{1234, 1700000000123456789};
    {
        BatchOutput output(path, BatchOutput::Mode::Replace);
        output.append(meshprobe::labelledRecord(okRecord, {0, "a.stl", stamp, options}));
        output.append(meshprobe::labelledRecord(okRecord, {1, "missing.stl", std::nullopt, options}));
        // The last record of a mesh counts: b.stl was redone after a change.
        output.append(meshprobe::labelledRecord(okRecord, {2, "b.stl", FileStamp{1, 1}, options}));
        output.append(meshprobe::labelledRecord(okRecord, {2, "b.stl", stamp, options}));
    }
    const BatchOutput resumed(path, BatchOutput::Mode::Resume);
    EXPECT_EQ(resumed.recordsFound(), 4u);
    struct Case {
        const char* name;
        PartLabel label;
        bool found;
    };
    const Case cases[] = {
        {"same", {9, "a.stl", stamp, options}, true},
        {"another index", {3, "a.stl", stamp, options}, true},
        {"still missing", {1, "missing.stl", std::nullopt, options}, true},
        {"last record", {2, "b.stl", stamp, options}, true},
        {"earlier record", {2, "b.stl", FileStamp{1, 1}, options}, false},
        {"size changed", {0, "a.stl", FileStamp{1235, stamp.modifiedNs}, options}, false},
        {"touched", {0, "a.stl", FileStamp{1234, stamp.modifiedNs + 1}, options}, false},
        {"now missing", {0, "a.stl", std::nullopt, options}, false},
        {"other options", {0, "a.stl", stamp, meshprobe::batchOptionsJson(trappedAt(65))}, false},
        {"no analyses", {0, "a.stl", stamp, meshprobe::batchOptionsJson({})}, false},
        {"other part", {0, "./a.stl", stamp, options}, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(resumed.hasRecord(c.label), c.found) << c.name;
}

TEST(BatchOutput, ThreadsAndProgressDoNotChangeTheOptionsARecordIsMadeWith)
{
    meshprobe::BatchOptions options = trappedAt(64);
    const std::string single = meshprobe::batchOptionsJson(options);
    options.trapped->threads = 8;
    options.progress = [](float) { return true; };
    EXPECT_EQ(meshprobe::batchOptionsJson(options), single);
    options.trapped->up = meshprobe::BuildDirection::MinusX;
    EXPECT_NE(meshprobe::batchOptionsJson(options), single);
}

TEST(BatchOutput, ResumeDropsAnUnfinishedLastLineAndAppendsAfterTheRest)
{
    clitest::TempDir folder;
    const std::string path = folder.file("records.jsonl");
    const std::string whole = meshprobe::labelledRecord(okRecord, {0, "a.stl", FileStamp{1, 2}, "{}"}) + "\n";
    const std::string torn = R"({"index":1,"mesh":"b.stl","ok":tr)";
    writeFile(path, whole + torn);
    {
        BatchOutput output(path, BatchOutput::Mode::Resume);
        EXPECT_EQ(output.recordsFound(), 1u);
        EXPECT_EQ(output.bytesDropped(), torn.size());
        output.append("{\"next\":1}");
    }
    EXPECT_EQ(contentOf(path), whole + "{\"next\":1}\n");
    // Without resume the file starts empty.
    {
        BatchOutput output(path, BatchOutput::Mode::Replace);
    }
    EXPECT_EQ(contentOf(path), "");
}

TEST(BatchOutput, RefusesWhatIsNotABatchOutputOrIsInUse)
{
    clitest::TempDir folder;
    const std::string path = folder.file("records.jsonl");
    writeFile(path, okRecord + "\nnot json\n" + okRecord + "\n");
    try {
        BatchOutput output(path, BatchOutput::Mode::Resume);
        FAIL() << "a line that is not a record was accepted";
    } catch (const meshprobe::InputError& e) {
        EXPECT_EQ(std::string(e.what()),
                  path + ": line 2 is not a batch record; resume only with the output of a batch");
    }
    EXPECT_EQ(contentOf(path), okRecord + "\nnot json\n" + okRecord + "\n"); // left as it was

    writeFile(path, "");
    BatchOutput first(path, BatchOutput::Mode::Resume);
    for (const auto mode : {BatchOutput::Mode::Resume, BatchOutput::Mode::Replace})
        EXPECT_THROW(BatchOutput(path, mode), meshprobe::InputError);
    EXPECT_THROW(BatchOutput(folder.file("no/such/folder.jsonl"), BatchOutput::Mode::Replace), meshprobe::InputError);
}

TEST(BatchOutput, ALabelledRecordKeepsTheJobsKeysBetweenItsLabel)
{
    const std::string record =
        R"({"mesh":"/tmp/w/copy.stl","ok":false,"error":"/tmp/w/copy.stl: bad; /tmp/w/copy.stl again",)"
        R"("reason":"error","seconds":0.1})";
    const auto labelled = nlohmann::ordered_json::parse(meshprobe::labelledRecord(
        record, {7, "parts/a.stl", FileStamp{10, 20}, R"({"trapped":null})"}, "/tmp/w/copy.stl"));
    std::vector<std::string> keys;
    for (const auto& item : labelled.items())
        keys.push_back(item.key());
    EXPECT_EQ(keys, (std::vector<std::string>{"index", "mesh", "ok", "error", "reason", "seconds", "file", "options"}));
    EXPECT_EQ(labelled["index"], 7);
    EXPECT_EQ(labelled["mesh"], "parts/a.stl");
    EXPECT_EQ(labelled["error"], "parts/a.stl: bad; parts/a.stl again");
    EXPECT_EQ(labelled["file"].dump(), R"({"size":10,"modified_ns":20})");
    EXPECT_EQ(labelled["options"].dump(), R"({"trapped":null})");
}

// The folder walk gives mesh files in path order, subfolders included, other files skipped, and a given
// path as given; a stamp is the file's size and modification time in nanoseconds; the output file gets the
// mode a plain new file would get under the umask.
TEST(BatchFiles, WalkInPathOrderStampsInNanosecondsOutputModeFromTheUmask)
{
    clitest::TempDir folder;
    std::filesystem::create_directory(folder.file("sub"));
    std::vector<std::string> expected;
    for (const char* name : {"p9.stl", "p3.obj", "sub/p5.ply", "P7.STL", "p1.off", "p8.3mf", "p0.glb", "p2.stl"}) {
        writeFile(folder.file(name), "12345");
        expected.push_back(folder.file(name));
    }
    writeFile(folder.file("notes.txt"), "not a mesh");
    std::sort(expected.begin(), expected.end());
    expected.push_back("given.txt");
    EXPECT_EQ(meshprobe::collectMeshFiles({folder.path, "given.txt"}), expected);

    const timespec times[2] = {{1700000000, 0}, {1700000000, 123456789}};
    ASSERT_EQ(utimensat(AT_FDCWD, folder.file("p9.stl").c_str(), times, 0), 0);
    const std::optional<FileStamp> stamp = meshprobe::fileStamp(folder.file("p9.stl"));
    ASSERT_TRUE(stamp.has_value());
    EXPECT_EQ(stamp->size, 5u);
    EXPECT_EQ(stamp->modifiedNs, 1700000000123456789);
    EXPECT_FALSE(meshprobe::fileStamp(folder.file("none.stl")).has_value());

    for (const mode_t mask : {0022, 0077, 0002}) {
        const std::string path = folder.file("records-" + std::to_string(mask) + ".jsonl");
        const mode_t previous = umask(mask);
        BatchOutput(path, BatchOutput::Mode::Replace);
        umask(previous);
        struct stat info {};
        ASSERT_EQ(stat(path.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask) << std::oct << mask;
    }
}

} // namespace
