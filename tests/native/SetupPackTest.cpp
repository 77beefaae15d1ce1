// The pack tool as a program: build, list and extract round trips, the
// refusals of build, and extract's defences against bad packs.
#include <gtest/gtest.h>

#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "JcUnpack.h"
#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

struct RunResult {
    int exitCode;
    std::string output;  // stdout and stderr
};

RunResult RunTool(const std::string& arguments) {
    std::string command = std::string("'") + SETUP_PACK_EXE + "' " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    RunResult result = {-1, ""};
    if (!pipe)
        return result;
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        result.output.append(buffer, got);
    int status = pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string Quote(const fs::path& p) { return "'" + p.string() + "'"; }

Bytes ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& path, const Bytes& data) {
    std::ofstream out(path, std::ios::binary);
    out.write((const char*)data.data(), (std::streamsize)data.size());
}

void WriteText(const fs::path& path, const std::string& text) { WriteFile(path, BytesOf(text)); }

uint32_t Get32(const Bytes& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | ((uint32_t)b[at + 3] << 24);
}

struct PackEntry {
    uint32_t unpacked;
    Bytes body;
};

std::vector<PackEntry> SplitPack(const Bytes& pack) {
    std::vector<PackEntry> entries;
    for (size_t at = 0; at + 8 <= pack.size();) {
        uint32_t u = Get32(pack, at), p = Get32(pack, at + 4);
        entries.push_back({u, Bytes(pack.begin() + at + 8, pack.begin() + at + 8 + p)});
        at += 8 + p;
    }
    return entries;
}

class SetupPackTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/setuppack-XXXXXX";
        ASSERT_TRUE(mkdtemp(pattern));
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path dir_;
};

struct InputFile {
    std::string name;
    std::string sourceDir;  // below the root
    Bytes content;
    bool compresses;        // a block is smaller than the content
};

std::vector<InputFile> Inputs() {
    Bytes all256;
    for (int i = 0; i < 256; ++i)
        all256.push_back((uint8_t)i);
    Bytes mixed = Concat({TextBytes(300000, 1), NoiseBytes(200000, 2), Bytes(100000, 0), TextBytes(200000, 3),
                          NoiseBytes(148576, 4), TextBytes(100000, 5)});
    return {
        {"empty.txt", "", {}, false},
        {"one.bin", "bin\\", {0x5A}, false},
        {"all256.bin", "bin\\", all256, false},
        {"runs.bin", "data\\runs\\", Concat({Bytes(5000, 'a'), Bytes(7000, 0), Bytes(3, 'b'), Bytes(9000, 0xFF)}), true},
        {"gpl.txt", "", TextBytes(18000, 6), true},
        {"random.bin", "", NoiseBytes(30000, 7), false},
        {"Mixed Megabyte.dat", "src\\inc\\", mixed, true},
    };
}

TEST_F(SetupPackTest, BuildListExtractRoundTrip) {
    std::vector<InputFile> inputs = Inputs();
    ASSERT_EQ(inputs.back().content.size(), 1048576u);
    fs::create_directory(dir_ / "in");
    std::string manifest = "# test manifest\r\nroot\tD:\\Builds\\Talvera\\Release\\\r\n\r\n";
    for (size_t i = 0; i < inputs.size(); ++i) {
        WriteFile(dir_ / "in" / inputs[i].name, inputs[i].content);
        // One input by absolute path, the others relative to the manifest.
        fs::path input = i == 2 ? dir_ / "in" / inputs[i].name : fs::path("in") / inputs[i].name;
        manifest += "file\t" + inputs[i].name + "\t" + inputs[i].sourceDir + "\t" + input.string() + "\n";
    }
    WriteText(dir_ / "manifest.txt", manifest);

    RunResult build = RunTool("build " + Quote(dir_ / "manifest.txt") + " " + Quote(dir_ / "out.pak"));
    ASSERT_EQ(build.exitCode, 0) << build.output;

    // Triples of name, root + directory and content, strings with their NUL.
    Bytes pack = ReadFile(dir_ / "out.pak");
    std::vector<PackEntry> entries = SplitPack(pack);
    ASSERT_EQ(entries.size(), 3 * inputs.size());
    size_t compressible = 0;
    for (size_t i = 0; i < inputs.size(); ++i) {
        SCOPED_TRACE(inputs[i].name);
        std::string name = inputs[i].name;
        std::string dir = "D:\\Builds\\Talvera\\Release\\" + inputs[i].sourceDir;
        EXPECT_TRUE(entries[3 * i].body == BytesOf(std::string(name.c_str(), name.size() + 1)));
        EXPECT_EQ(entries[3 * i].unpacked, name.size() + 1);
        EXPECT_TRUE(entries[3 * i + 1].body == BytesOf(std::string(dir.c_str(), dir.size() + 1)));
        const PackEntry& data = entries[3 * i + 2];
        EXPECT_EQ(data.unpacked, inputs[i].content.size());
        compressible += inputs[i].compresses;
        if (inputs[i].compresses)
            EXPECT_LT(data.body.size(), data.unpacked);
        else
            EXPECT_TRUE(data.body == inputs[i].content) << "stored when a block is no smaller";
    }

    RunResult list = RunTool("list " + Quote(dir_ / "out.pak"));
    ASSERT_EQ(list.exitCode, 0) << list.output;
    size_t good = 0;
    for (size_t at = 0; (at = list.output.find("compressed  checksum good", at)) != std::string::npos; ++at)
        ++good;
    EXPECT_EQ(good, compressible) << list.output;
    for (const InputFile& input : inputs)
        EXPECT_NE(list.output.find(input.name), std::string::npos) << input.name;
    EXPECT_NE(list.output.find("D:\\Builds\\Talvera\\Release\\src\\inc\\"), std::string::npos);

    RunResult extract = RunTool("extract " + Quote(dir_ / "out.pak") + " " + Quote(dir_ / "x"));
    ASSERT_EQ(extract.exitCode, 0) << extract.output;
    for (const InputFile& input : inputs)
        EXPECT_TRUE(ReadFile(dir_ / "x" / input.name) == input.content) << input.name;
}

TEST_F(SetupPackTest, SameInputsSamePack) {
    WriteFile(dir_ / "a.txt", TextBytes(40000, 10));
    WriteFile(dir_ / "b.bin", Concat({NoiseBytes(5000, 11), TextBytes(5000, 12), NoiseBytes(5000, 11)}));
    WriteText(dir_ / "manifest.txt", "root\tC:\\R\\\nfile\ta.txt\t\ta.txt\nfile\tb.bin\tx\\\tb.bin\n");
    for (const char* out : {"one.pak", "two.pak"})
        ASSERT_EQ(RunTool("build " + Quote(dir_ / "manifest.txt") + " " + Quote(dir_ / out)).exitCode, 0);
    Bytes one = ReadFile(dir_ / "one.pak");
    EXPECT_GT(one.size(), 0u);
    EXPECT_TRUE(one == ReadFile(dir_ / "two.pak"));
}

TEST_F(SetupPackTest, BuildRefusesFaultyManifests) {
    WriteText(dir_ / "a.txt", "some text");
    const std::string root = "root\tD:\\Builds\\Talvera\\Release\\\n";
    const std::string file = "file\ta.txt\t\ta.txt\n";
    struct Case {
        const char* what;
        std::string manifest;
        const char* message;
    } cases[] = {
        {"root with src", "root\tD:\\src\\Talvera\\\n" + file, "contains \"src\" or \"setup\""},
        {"root with Setup", "root\tD:\\Builds\\Setup\\\n" + file, "contains \"src\" or \"setup\""},
        {"root without drive", "root\tBuilds\\Release\\\n" + file, "does not look like"},
        {"root without backslash after the drive", "root\tD:Builds\\\n" + file, "does not look like"},
        {"root not ending in a backslash", "root\tD:\\Builds\\Release\n" + file, "does not look like"},
        {"root as a network path", "root\t\\\\server\\share\\\n" + file, "does not look like"},
        {"root with a slash", "root\tD:\\Builds/Release\\\n" + file, "not allow"},
        {"no root", file, "no root record"},
        {"two roots", root + root + file, "second root record"},
        {"no files", root, "lists no files"},
        {"empty name", root + "file\t\t\ta.txt\n", "is empty"},
        {"name with a backslash", root + "file\tsub\\a.txt\t\ta.txt\n", "contains \"\\\", \"/\" or \":\""},
        {"name with a slash", root + "file\tsub/a.txt\t\ta.txt\n", "contains \"\\\", \"/\" or \":\""},
        {"name with a colon", root + "file\tC:a.txt\t\ta.txt\n", "contains \"\\\", \"/\" or \":\""},
        {"name .", root + "file\t.\t\ta.txt\n", "is \".\" or \"..\""},
        {"name ..", root + "file\t..\t\ta.txt\n", "is \".\" or \"..\""},
        {"same name twice", root + file + "file\tA.TXT\tdoc\\\ta.txt\n", "already used"},
        {"directory not ending in a backslash", root + "file\ta.txt\tdoc\ta.txt\n", "does not end in"},
        {"missing input", root + "file\ta.txt\t\tmissing.txt\n", "does not exist"},
        {"input is a directory", root + "file\ta.txt\t\t.\n", "does not exist"},
        {"unknown record", root + file + "folder\tx\n", "unknown record"},
        {"file record short of a field", root + "file\ta.txt\ta.txt\n", "three fields"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteText(dir_ / "manifest.txt", c.manifest);
        RunResult r = RunTool("build " + Quote(dir_ / "manifest.txt") + " " + Quote(dir_ / "out.pak"));
        EXPECT_NE(r.exitCode, 0);
        EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
        EXPECT_FALSE(fs::exists(dir_ / "out.pak"));
        EXPECT_FALSE(fs::exists(dir_ / "out.pak.partial"));
    }

    RunResult missing = RunTool("build " + Quote(dir_ / "none.txt") + " " + Quote(dir_ / "out.pak"));
    EXPECT_NE(missing.exitCode, 0);
    EXPECT_FALSE(fs::exists(dir_ / "out.pak"));
}

TEST_F(SetupPackTest, HelpAndUsage) {
    RunResult help = RunTool("--help");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.output.find("SetupPack build MANIFEST OUT"), std::string::npos);
    EXPECT_NE(help.output.find("extract PACK DIR"), std::string::npos);
    for (const char* wrong : {"", "build", "list", "pack a b", "extract onlyone"}) {
        RunResult r = RunTool(wrong);
        EXPECT_NE(r.exitCode, 0) << wrong;
        EXPECT_NE(r.output.find("usage:"), std::string::npos) << wrong;
    }
}

Bytes StringEntry(const std::string& text) {
    Bytes body = BytesOf(text);
    body.push_back(0);
    Bytes out;
    for (uint32_t v : {(uint32_t)body.size(), (uint32_t)body.size()})
        for (int i = 0; i < 4; ++i)
            out.push_back((uint8_t)(v >> (8 * i)));
    return Concat({out, body});
}

TEST_F(SetupPackTest, ExtractRefusesNamesThatLeaveTheDirectory) {
    fs::create_directory(dir_ / "x");
    for (const char* name : {"../escape.txt", "..\\escape.txt", "sub/escape.txt", "C:escape.txt", "..", ".", ""}) {
        SCOPED_TRACE(name);
        Bytes pack = Concat({StringEntry("fine.txt"), StringEntry("D:\\B\\"), StringEntry("data"),
                             StringEntry(name), StringEntry("D:\\B\\"), StringEntry("data")});
        WriteFile(dir_ / "bad.pak", pack);
        RunResult r = RunTool("extract " + Quote(dir_ / "bad.pak") + " " + Quote(dir_ / "x"));
        EXPECT_NE(r.exitCode, 0);
        EXPECT_NE(r.output.find("refusing the name"), std::string::npos) << r.output;
        EXPECT_FALSE(fs::exists(dir_ / "escape.txt"));
    }
}

TEST_F(SetupPackTest, DamagedPacksAreReported) {
    WriteText(dir_ / "a.txt", std::string((const char*)TextBytes(5000, 9).data(), 5000));
    WriteText(dir_ / "manifest.txt", "root\tD:\\Builds\\\nfile\ta.txt\t\ta.txt\nfile\tb.txt\t\ta.txt\n");
    ASSERT_EQ(RunTool("build " + Quote(dir_ / "manifest.txt") + " " + Quote(dir_ / "good.pak")).exitCode, 0);
    Bytes good = ReadFile(dir_ / "good.pak");
    std::vector<PackEntry> entries = SplitPack(good);
    ASSERT_EQ(entries.size(), 6u);
    // Behind the two string entries and the data entry's header.
    size_t firstBlock = 8 + entries[0].body.size() + 8 + entries[1].body.size() + 8;

    Bytes badChecksum = good;
    badChecksum[firstBlock + 6] ^= 0x40;
    Bytes cutBody(good.begin(), good.end() - 20);
    Bytes halfTriple(good.begin(), good.begin() + firstBlock + entries[2].body.size() + 8 + entries[3].body.size());

    struct Case {
        const char* what;
        Bytes pack;
        const char* listSays;
    } cases[] = {
        {"checksum mismatch", badChecksum, "DAMAGED: checksum mismatch"},
        {"body cut short", cutBody, "DAMAGED: body cut short"},
        {"pack ends inside a triple", halfTriple, "incomplete"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFile(dir_ / "bad.pak", c.pack);
        RunResult list = RunTool("list " + Quote(dir_ / "bad.pak"));
        EXPECT_NE(list.exitCode, 0);
        EXPECT_NE(list.output.find(c.listSays), std::string::npos) << list.output;
        RunResult extract = RunTool("extract " + Quote(dir_ / "bad.pak") + " " + Quote(dir_ / "x"));
        EXPECT_NE(extract.exitCode, 0) << extract.output;
    }
}

}  // namespace
