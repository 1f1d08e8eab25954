#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "controllers/guid.h"
#include "joybits_version.h"
#include "plugin/joybits.h"
#include "tests/support/expected_output.h"
#include "host/host.h"
#include "report/report.h"
#include "host/scenario.h"
#include "host/text.h"

namespace {

struct HostRun {
    int status = -1;
    std::string out;
    std::string err;
};

HostRun run_host(std::initializer_list<const char*> args) {
    std::vector<const char*> argv{"joybits-host"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::ostringstream out;
    std::ostringstream err;
    HostRun run;
    run.status = host_main(static_cast<int>(argv.size()), argv.data(), out, err);
    run.out = out.str();
    run.err = err.str();
    return run;
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The frame lines of a run's output (its answer and warnings come first).
size_t frames_in(const std::string& out) {
    const std::vector<std::string> lines = lines_of(out);
    return static_cast<size_t>(std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
        return line.starts_with("frame ");
    }));
}

// A file in the temporary folder, removed at the end of the test.
struct TempFile {
    std::filesystem::path path;
    TempFile(const std::string& name, const std::string& content) {
        path = std::filesystem::temp_directory_path() / ("joybits-host-test-" + std::to_string(::getpid()) + "-" + name);
        std::ofstream(path, std::ios::binary) << content;
    }
    ~TempFile() { std::filesystem::remove(path); }
    std::string name() const { return path.string(); }
};

// The words of a case's command line: split at blanks, '...' quoting, {source} standing
// for the source folder.
std::vector<std::string> words_of(const std::string& line) {
    std::vector<std::string> words;
    std::string word;
    bool in_word = false;
    bool quoted = false;
    for (char c : line) {
        if (c == '\'') {
            quoted = !quoted;
            in_word = true;
        } else if (c == ' ' && !quoted) {
            if (in_word) words.push_back(word);
            word.clear();
            in_word = false;
        } else {
            word += c;
            in_word = true;
        }
    }
    if (in_word) words.push_back(word);
    for (std::string& w : words) {
        const size_t at = w.find("{source}");
        if (at != std::string::npos) w.replace(at, 8, JOYBITS_SOURCE_DIR);
    }
    return words;
}

// What the help list says of one of the built-in virtual pads.
const std::string PAD_HELP = "x[<N,>N,n],y[<N,>N,n],z[<N,>N,n],rx[<N,>N,n],ry[<N,>N,n],rz[<N,>N,n],b[n];";
const std::string TWO_PAD_HELP = "//help//a;p;j1:" + PAD_HELP + "j2:" + PAD_HELP;

}  // namespace

TEST(HostDefaultRun, FramesBitsAndJsonOptions) {
    HostRun run = run_host({"--frames", "2", "--bits", "35"});
    ASSERT_EQ(run.status, EXIT_OK) << run.err;
    std::vector<std::string> lines = lines_of(run.out);
    ASSERT_EQ(lines.size(), 3u);
    // Reads past the table's end answer 1.
    EXPECT_EQ(lines[2], "frame 1:   1000000000000000 1000000000000000 111");

    run = run_host({"--frames", "4", "--json", "--mapping", "j1y>8000,p,!j2x<-8000"});
    ASSERT_EQ(run.status, EXIT_OK) << run.err;
    lines = lines_of(run.out);
    ASSERT_EQ(lines.size(), 5u);
    const auto head = nlohmann::json::parse(lines[0]);
    EXPECT_EQ(head["answer"], "j1y>8000,p,!j2x<-8000" + TWO_PAD_HELP);
    const auto frame3 = nlohmann::json::parse(lines[4]);
    EXPECT_EQ(frame3["frame"], 3);
    EXPECT_EQ(frame3["count"], 3);
    EXPECT_EQ(frame3["bits"], "110");
    EXPECT_EQ(frame3["changes"], (nlohmann::json{"j1 y=8001", "j2 x=-8001"}));
    // The inverted entry stays 0 until its controller is first read, then follows it.
    EXPECT_EQ(nlohmann::json::parse(lines[1])["bits"], "010");
    EXPECT_EQ(nlohmann::json::parse(lines[2])["bits"], "011");
}

TEST(HostMappingErrors, NameTheFirstFailingTokenAndItsPosition) {
    struct Case {
        const char* mapping;
        int index;
        size_t offset;
        const char* token;
        const char* reason;
    };
    const Case cases[] = {
        {"p,j9b1", 2, 2, "j9b1", "controller number after j must be 1 to 8"},
        {"a,p,,", 3, 4, "", "empty token"},
        {",a", 1, 0, "", "empty token"},
        {"a, ,p", 2, 2, " ", "empty token"},
        {"p,!!j1b1,j9", 2, 2, "!!j1b1", "only one '!'"},
        {"j1x>1, J1b1", 2, 6, " J1b1", "starting with j"},
        {"j1rx3,j1r", 2, 6, "j1r", "expected x, y or z after r"},
        {"j1q", 1, 0, "j1q", "expected b, x, y, z, r, u, v or h"},
        {"j1h5u", 1, 0, "j1h5u", "point of view's number after h must be 1 to 4"},
        {"j1h1x", 1, 0, "j1h1x", "expected u, r, d or l (up, right, down, left) after the point of view's number"},
        {"!", 1, 0, "!", "nothing after '!'"},
    };
    for (const Case& c : cases) {
        const HostRun run = run_host({"--mapping", c.mapping});
        EXPECT_EQ(run.status, EXIT_MAPPING_ERROR) << c.mapping;
        // The plug-in's own answer comes first, unchanged.
        EXPECT_EQ(lines_of(run.out).at(0), std::string(c.mapping) + SYNTAX_ERROR_MARK + TWO_PAD_HELP) << c.mapping;
        // Then what a host reads: every bit 1.
        const std::string reads = lines_of(run.out).at(1);
        EXPECT_EQ(reads.substr(0, reads.find("  (")).find_first_not_of("a host reads: 1"), std::string::npos) << reads;
        const TokenError token = mapping_report(c.mapping, {}).error;
        ASSERT_TRUE(token.found) << c.mapping;
        EXPECT_EQ(token.index, c.index) << c.mapping;
        EXPECT_EQ(token.offset, c.offset) << c.mapping;
        EXPECT_EQ(token.token, c.token) << c.mapping;
        EXPECT_NE(token.reason.find(c.reason), std::string::npos) << c.mapping << ": " << token.reason;
        EXPECT_NE(run.err.find("token " + std::to_string(c.index) + " \"" + c.token + "\" at byte " +
                               std::to_string(c.offset)),
                  std::string::npos)
            << run.err;
    }

    // Valid texts have no failing token, and nothing after the 160th entry is looked at.
    std::string long_text;
    for (int i = 0; i < MAX_ENTRIES; ++i) long_text += "a,";
    long_text += "zz";
    for (const std::string& valid : {std::string("a,p,"), std::string("j1b3q, j1x>=5/,,zz"), long_text}) {
        EXPECT_FALSE(mapping_report(valid.c_str(), {}).error.found) << valid;
        const HostRun run = run_host({"--mapping", valid.c_str(), "--frames", "1"});
        EXPECT_EQ(run.status, EXIT_OK) << valid;
    }
    // After a syntax error a host reads one bit per token written, at most a table's worth;
    // a last comma ends none.
    EXPECT_EQ(mapping_report(("zz," + long_text).c_str(), {}).reads_after_error, MAX_ENTRIES);
    EXPECT_EQ(mapping_report("a,zz, /x,y", {}).reads_after_error, 2);
}

TEST(HostMappingErrors, MappingFilesGiveLineAndColumnAndRefuseNulBytes) {
    const TempFile file("mapping.txt", "p,a,\tj1b1,\nj2b1\n");
    HostRun run = run_host({"--mapping-file", file.name().c_str(), "--frames", "1"});
    EXPECT_EQ(run.status, EXIT_MAPPING_ERROR);
    EXPECT_NE(run.err.find("token 4 \"\\nj2b1\" at byte 10 (" + file.name() + ":line 1, column 11): a line end inside the mapping"),
              std::string::npos)
        << run.err;
    // What a host reads after the syntax error: all 1, one bit per token.
    EXPECT_EQ(lines_of(run.out).back(), "a host reads: 1111  (after a syntax error)");

    // A byte order mark is named.
    const TempFile bom("bom.txt", "\xEF\xBB\xBFj1b1\n");
    run = run_host({"--mapping-file", bom.name().c_str()});
    EXPECT_EQ(run.status, EXIT_MAPPING_ERROR);
    EXPECT_NE(run.err.find("starts with a UTF-8 byte order mark (EF BB BF)"), std::string::npos) << run.err;

    // The one line end at the very end of a file is not part of the text; a second one is.
    const TempFile good("good.txt", "p,a,\tj1b1 , j2b1\r\n");
    run = run_host({"--mapping-file", good.name().c_str(), "--table"});
    EXPECT_EQ(run.status, EXIT_OK) << run.err;
    EXPECT_EQ(lines_of(run.out)[0], "p,a,\tj1b1 , j2b1" + TWO_PAD_HELP);
    const TempFile blank_line("blank-line.txt", "p,j1b1\n\n");
    run = run_host({"--mapping-file", blank_line.name().c_str(), "--check"});
    EXPECT_NE(run.out.find("token 2 \"j1b1\\n\" at byte 2: \"1\\n\" reads as 1: \"\\n\" after the digits is ignored"),
              std::string::npos)
        << run.out;

    const TempFile nul("nul.txt", std::string("p,a\0,j1b1", 9));
    run = run_host({"--mapping-file", nul.name().c_str()});
    EXPECT_EQ(run.status, EXIT_INPUT_ERROR);
    EXPECT_NE(run.err.find("byte 3 is a NUL byte"), std::string::npos) << run.err;

    const TempFile utf16("utf16.txt", std::string("\xFF\xFEj\0001\0b\0001\0", 10));
    run = run_host({"--mapping-file", utf16.name().c_str()});
    EXPECT_EQ(run.err, "joybits-host: " + utf16.name() + ": this file is UTF-16; save it as UTF-8\n");

    run = run_host({"--mapping-file", "/nonexistent/joybits/mapping.txt"});
    EXPECT_EQ(run.status, EXIT_INPUT_ERROR);
    EXPECT_NE(run.err.find("/nonexistent/joybits/mapping.txt: cannot open the mapping file"), std::string::npos);
}

TEST(HostTable, DescribesEveryKindOfEntry) {
    // Words the compiler never writes still get a readable meaning.
    EXPECT_EQ(describe_entry(0x00000003u), "constant 1");
    EXPECT_EQ(describe_entry(make_entry(3, static_cast<EntryKind>(29), 7, false)), "j3 unknown kind 29 operand 7");
    EXPECT_EQ(describe_entry(make_entry(3, axis_kind("u", AxisForm::above), 7, false)), "j3 u > 7");
    EXPECT_EQ(describe_entry(make_entry(2, axis_kind("v", AxisForm::bit), 7, true)), "!j2 v bit 7");
    EXPECT_EQ(describe_entry(make_entry(4, EntryKind::pov_down, 2, false)), "j4 point of view 2 down");
    // Button 0 and button 128 are the same word, which reads the 128th.
    EXPECT_EQ(describe_entry(make_entry(1, EntryKind::button, 0, false)), "j1 button 128");

    // The default mapping is what a null argument configures.
    const HostRun defaults = run_host({"--table"});
    ASSERT_EQ(defaults.status, EXIT_OK);
    EXPECT_EQ(lines_of(defaults.out).size(), 33u);
    EXPECT_EQ(lines_of(defaults.out)[4], "  4  0x10407D00  j1 y > 8000");
}

TEST(HostScenario, MalformedFilesNameTheFileTheLineAndTheProblem) {
    struct Case {
        const char* name;
        const char* text;
        const char* expected;  // after "FILE:"
    };
    const Case cases[] = {
        {"syntax.json", "{\n  \"controllers\": [\n    {\"name\": \"A\",}\n  ]\n}\n", "3: syntax error while parsing object"},
        {"truncated.json", "{\n  \"controllers\": [\n", "3: syntax error"},
        {"no-axis.json", "{\"controllers\": [{\"axes\": [\"x\"], \"buttons\": 2}],\n \"frames\": [\n  {\"frame\": 1,\n   \"j1\": {\"y\": 5}}\n ]}",
         "4: frames[0].j1.y: controller j1 has no axis y"},
        {"button.json", "{\"controllers\": [{\"buttons\": 2}],\n\n \"frames\": [{\"frame\": 0, \"j1\": {\"b3\": true}}]}",
         "3: frames[0].j1.b3: controller j1 has buttons b1 to b2 only"},
        {"range.json", "{\"controllers\": [{\"axes\": [\"x\"]}],\n \"frames\": [{\"frame\": 0, \"j1\": {\"x\": 40000}}]}",
         "2: frames[0].j1.x: an axis value must be -32768 to 32767"},
        {"controller.json", "{\"controllers\": [],\n \"frames\": [{\"frame\": 0,\n \"j1\": {}}]}",
         "3: frames[0].j1: there is no controller j1"},
        {"unknown.json", "{\"controllers\": [\n {\"nmae\": \"A\"}]}", "2: controllers[0].nmae: unknown member \"nmae\""},
        {"frame.json", "{\"controllers\": [],\n\"frames\": [\n{\"j1\": {}}]}", "3: frames[0]: a frame needs its \"frame\" number"},
        {"axis.json", "{\"controllers\": [{\"axes\": [\"x\",\n \"x\"]}]}", "2: controllers[0].axes[1]: axis x is listed twice"},
        {"letters.json", "{\"controllers\": [{\"axes\": [\"w\"]}]}",
         "1: controllers[0].axes[0]: an axis is one of x, y, z, rx, ry, rz, or a slider u, v"},
        {"input.json", "{\"controllers\": [{}], \"frames\": [{\"frame\": 0, \"j1\": {\"q\": 1}}]}",
         "1: frames[0].j1.q: unknown input \"q\" (an axis x, y, z, rx, ry, rz, a slider u, v, a point of view h1 to h4, "
         "a button b1, b2, ... or attached)"},
        {"pov.json", "{\"controllers\": [{\"povs\": 1}],\n \"frames\": [{\"frame\": 0, \"j1\": {\"h1\": 36000, \"h2\": 0}}]}",
         "2: frames[0].j1.h1: a point of view (-1 centred, or an angle) must be -1 to 35999"},
        {"povs.json", "{\"controllers\": [{\"axes\": [\"u\", \"v\"],\n \"povs\": 5}]}", "2: controllers[0].povs: the point-of-view count must be 0 to 4"},
        {"top.json", "[1, 2]", "1: the scenario must be an object"},
        {"empty.json", "", " the file is empty"},
        {"utf16.json", "\xFF\xFE{", " this file is UTF-16; save it as UTF-8"},
    };
    for (const Case& c : cases) {
        const TempFile file(c.name, c.text);
        const HostRun run = run_host({"--scenario", file.name().c_str()});
        EXPECT_EQ(run.status, EXIT_INPUT_ERROR) << c.name;
        EXPECT_EQ(run.out, "") << c.name;
        const std::string expected = "joybits-host: " + file.name() + ":" + c.expected;
        EXPECT_EQ(run.err.compare(0, expected.size(), expected), 0) << run.err;
    }
    // A record the scenario's length never reaches is named, unless --frames runs further.
    const TempFile late("late.json", "{\"controllers\": [{\"buttons\": 1}], \"length\": 2,\n \"frames\": [{\"frame\": 2}]}");
    EXPECT_EQ(run_host({"--scenario", late.name().c_str()}).err,
              "joybits-host: warning: " + late.name() + ":2: frames[0]: frame 2 lies past the scenario's length of 2 "
              "frames: it never applies\n");
    EXPECT_EQ(run_host({"--scenario", late.name().c_str(), "--frames", "3"}).err, "");

    const HostRun missing = run_host({"--scenario", "/nonexistent/joybits/scenario.json"});
    EXPECT_EQ(missing.status, EXIT_INPUT_ERROR);
    EXPECT_NE(missing.err.find("/nonexistent/joybits/scenario.json: cannot open the scenario file"), std::string::npos);
}

TEST(HostScenario, ScriptsControllersAndListsThemAsThePluginNumbersThem) {
    // Ten controllers: the plug-in takes eight; the list shows the other two as not taken.
    std::string text = "{\"controllers\": [";
    for (int i = 1; i <= 10; ++i) {
        text += std::string(i > 1 ? "," : "") + "{\"name\": \"Stick " + std::to_string(i) +
                "\", \"axes\": [\"rz\", \"x\"], \"buttons\": " + std::to_string(i) + "}";
    }
    text += "], \"frames\": [{\"frame\": 1, \"j8\": {\"b8\": 1, \"rz\": -32768}}], \"length\": 3}";
    const TempFile file("ten.json", text);

    HostRun run = run_host({"--scenario", file.name().c_str(), "--list"});
    ASSERT_EQ(run.status, EXIT_OK) << run.err;
    std::vector<std::string> lines = lines_of(run.out);
    ASSERT_EQ(lines.size(), 11u);  // and one for the XInput users
    EXPECT_EQ(lines[8].rfind("--  Stick 9  {", 0), 0u) << lines[8];
    EXPECT_NE(lines[8].find("}  not taken: the plug-in has 8 slots"), std::string::npos) << lines[8];
    EXPECT_EQ(lines[0].rfind("j1  Stick 1  {", 0), 0u) << lines[0];
    EXPECT_NE(lines[7].find("  axes: rz x  buttons: 8"), std::string::npos) << lines[7];

    run = run_host({"--scenario", file.name().c_str(), "--list", "--json"});
    const auto listed = nlohmann::json::parse(run.out)["controllers"];
    ASSERT_EQ(listed.size(), 10u);
    EXPECT_TRUE(listed[9]["number"].is_null());
    EXPECT_EQ(listed[2]["name"], "Stick 3");
    EXPECT_EQ(listed[2]["buttons"], 3);
    EXPECT_NE(listed[0]["guid"], listed[1]["guid"]);

    run = run_host({"--scenario", file.name().c_str(), "--mapping", "j8b8,j8rz<-32767,j8rz15,j9b1"});
    EXPECT_EQ(run.status, EXIT_MAPPING_ERROR);
    run = run_host({"--scenario", file.name().c_str(), "--mapping", "j8b8,j8rz<-32767,j8rz15"});
    ASSERT_EQ(run.status, EXIT_OK) << run.err;
    lines = lines_of(run.out);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[2], "frame 1:   111  j8 b8 down, j8 rz=-32768");
    EXPECT_EQ(lines[3], "frame 2:   111");

    // Names are UTF-8 in and out.
    const TempFile named("named.json", "{\"controllers\": [{\"name\": \"P\xC3\xA4" "dchen \xE2\x9C\x93\"}]}");
    run = run_host({"--scenario", named.name().c_str(), "--list", "--json"});
    EXPECT_EQ(nlohmann::json::parse(run.out)["controllers"][0]["name"], "P\xC3\xA4" "dchen \xE2\x9C\x93");

    const TempFile none("none.json", "{\"controllers\": []}");
    run = run_host({"--scenario", none.name().c_str(), "--list"});
    EXPECT_EQ(run.out, "no game controller attached\nx1..x4  no XInput pad connected\n");
    run = run_host({"--scenario", none.name().c_str()});
    EXPECT_EQ(lines_of(run.out)[0], std::string(DEFAULT_MAPPING) + "//help//a;p;");
    EXPECT_EQ(frames_in(run.out), 3u);  // the length of a scenario without frames
}

TEST(HostScenario, TheDocumentedExampleRuns) {
    Scenario scenario;
    std::string error;
    ASSERT_TRUE(load_scenario(JOYBITS_SOURCE_DIR "/docs/scenario-example.json", scenario, error)) << error;
    EXPECT_GT(scenario.controllers.size(), 0u);
    const HostRun run = run_host({"--scenario", JOYBITS_SOURCE_DIR "/docs/scenario-example.json"});
    EXPECT_EQ(run.status, EXIT_OK) << run.err;
    EXPECT_EQ(frames_in(run.out), static_cast<size_t>(scenario.length));

    // The built-in scenario parses to what the default run showed.
    const Scenario builtin = default_scenario();
    EXPECT_EQ(builtin.controllers.size(), 2u);
    EXPECT_EQ(builtin.length, 16);
}

TEST(HostCommandLine, RefusesBadOptionsAndExplainsItself) {
    // The version of the tool, and of the plug-in it drives (linked in here: the same).
    const HostRun version = run_host({"--version"});
    EXPECT_EQ(version.status, EXIT_OK);
    EXPECT_EQ(lines_of(version.out).at(0), std::string("joybits-host ") + JOYBITS_VERSION);
    EXPECT_EQ(lines_of(version.out).at(1).rfind(std::string("plug-in ") + JOYBITS_VERSION + " (", 0), 0u) << version.out;

    const HostRun help = run_host({"--help"});
    EXPECT_EQ(help.status, EXIT_OK);
    for (const char* option : {"--mapping-file", "--scenario", "--frames", "--bits", "--table", "--json", "--list"}) {
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    }
    EXPECT_NE(help.out.find("--mapping-file FILE"), std::string::npos);
    EXPECT_NE(help.out.find("A mapping text is one line"), std::string::npos);
    EXPECT_EQ(help.out.find("--live"), std::string::npos) << "the Windows build's options are not this one's";
    for (std::initializer_list<const char*> args :
         {std::initializer_list<const char*>{"--frames", "-1"}, {"--bits", "x"}, {"--nonsense"},
          {"--mapping", "a", "--mapping-file", "f"}, {"--live"}, {"--plugin", "joybits.dll"}, {"--version", "--json"},
          {"--list", "--mapping", "a"}}) {
        const HostRun run = run_host(args);
        EXPECT_EQ(run.status, EXIT_INPUT_ERROR) << *args.begin();
        EXPECT_NE(run.err, "") << *args.begin();
    }
}

TEST(HostTexts, GroupsEscapesAndConversions) {
    EXPECT_EQ(group_bits(""), "");
    EXPECT_EQ(group_bits("1010"), "1010");
    EXPECT_EQ(group_bits(std::string(16, '1') + "0"), std::string(16, '1') + " 0");
    EXPECT_EQ(escape_bytes("a\tb\r\n\\\x01\xff"), "a\\tb\\r\\n\\\\\\x01\\xFF");
    const char16_t name[] = {u'P', 0x00E9, 0x20AC, 0xD83D, 0xDE00, 0xDC00, 0, u'x'};
    EXPECT_EQ(utf16_to_utf8(name, 8), "P\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xEF\xBF\xBD");
    const char16_t unterminated[] = {u'a', u'b'};
    EXPECT_EQ(utf16_to_utf8(unterminated, 2), "ab");
    const GUID guid = {0x6A6F7901u, 0x5349, 0x4D00, {0x80, 0x00, 0, 0, 0, 0, 0, 0x2A}};
    char guid_text[40];
    format_guid(guid, guid_text);
    EXPECT_STREQ(guid_text, "{6A6F7901-5349-4D00-8000-00000000002A}");
    EXPECT_EQ(answer_shape("a//help//a;p;"), AnswerShape::success);
    EXPECT_EQ(answer_shape("zz//Sintax Error!//help//a;p;"), AnswerShape::syntax_error);
    EXPECT_EQ(answer_shape("//DirectInput init error!//"), AnswerShape::failure);
    EXPECT_EQ(answer_shape(""), AnswerShape::failure);
}

// tests/tool/cases.txt: the tool's outputs for the command lines its sections name.
TEST(HostCases, PrintWhatTheScriptSays) {
    const auto cases = expected_sections("tool/cases.txt");
    EXPECT_GT(cases.size(), 10u);
    for (const auto& [command, expected] : cases) {
#if defined(_WIN32)
        // Over the simulated dinput8.dll the notifications, the device list and XInput are
        // the system's, which never tell of a simulated pad: the scenarios of pads plugged
        // in later and of XInput pads run natively only.
        if (command.find("scenario-hotplug") != std::string::npos) continue;
        if (command.find("scenario-xinput") != std::string::npos) continue;
#endif
        const std::vector<std::string> words = words_of(command);
        std::vector<const char*> argv{"joybits-host"};
        for (const std::string& w : words) argv.push_back(w.c_str());
        std::ostringstream out;
        std::ostringstream err;
        const int status = host_main(static_cast<int>(argv.size()), argv.data(), out, err);
        const std::string printed = out.str() + err.str() + (status != 0 ? "exit " + std::to_string(status) + "\n" : "");
        EXPECT_EQ(printed, expected) << "> " << command;
    }
}
