#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <limits>
#include <ostream>
#include <string>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "joybits_version.h"
#include "mapping/mapping_entry.h"
#include "plugin/joybits.h"
#include "host/host.h"
#include "report/report.h"
#include "host/platform.h"
#include "host/scenario.h"
#include "host/text.h"

using nlohmann::json;

namespace {

constexpr int MAX_COUNT_OPTION = 1000000;
constexpr int WINDOWS_DEFAULT_FRAMES = 60;  // one second at 60 Hz
constexpr long MAX_MAPPING_FILE_MIB = 1;
constexpr char UTF8_BYTE_ORDER_MARK[] = "\xEF\xBB\xBF";

// The help's text: what the tool does, what this build does, the mapping text and the exit
// statuses.
std::string description() {
    std::string text =
        "joybits-host stands in for the host application of the joybits plug-in: it hands the plug-in a\n"
        "mapping text, prints the plug-in's answer and what the mapping check warns of, then polls frame\n"
        "by frame and reads the bits, as a host does.\n";
    if (platform_has_scenarios()) {
        text += "This build has the plug-in linked in, over virtual controllers that a scenario scripts\n"
                "(--scenario FILE; without one, the built-in one: two virtual pads, the playground's). It runs\n"
                "the scenario's length in frames (the built-in one's: " + std::to_string(default_scenario().length) +
                ") unless --frames is given.\n";
    } else {
        text += "This build loads joybits.dll from beside the tool (or --plugin FILE) and reads the attached\n"
                "controllers while its window is in front. It runs " + std::to_string(WINDOWS_DEFAULT_FRAMES) +
                " frames (one second) unless --frames\nis given; with --live, until a key is pressed.\n";
    }
    return text +
           "With no mapping the plug-in's default mapping is configured. A mapping text is one line: a\n"
           "mapping file is read as it is, except that one line end at its very end is dropped.\n"
           "Exit status: 0 done, 1 syntax error in the mapping, 2 bad command line or input file,\n"
           "3 the plug-in could not be loaded or could not open the controllers.";
}

std::string dump(const json& value) { return value.dump(-1, ' ', false, json::error_handler_t::replace); }

bool read_mapping_file(const std::string& path, std::string& text, std::string& error) {
    if (!read_file(path, "the mapping file", MAX_MAPPING_FILE_MIB, text, error)) return false;
    // The host hands over a NUL-terminated text: a NUL inside would silently cut it.
    const size_t nul = text.find('\0');
    if (nul != std::string::npos) {
        error = path + ": byte " + std::to_string(nul) + " is a NUL byte; a mapping text cannot contain one";
        return false;
    }
    // One line end closes the file's one line (\r\n, \n or \r); any other is the text's own.
    if (text.ends_with("\r\n")) {
        text.resize(text.size() - 2);
    } else if (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
    }
    return true;
}

const ScenarioFrame* frame_at(const Scenario& scenario, size_t& next, int frame) {
    while (next < scenario.frames.size() && scenario.frames[next].frame < frame) ++next;
    if (next < scenario.frames.size() && scenario.frames[next].frame == frame) return &scenario.frames[next];
    return nullptr;
}

int run_frames(const HostOptions& options, const Scenario& scenario, HostPlatform& platform, std::ostream& out,
               std::ostream& err) {
    DeviceFunction device = platform.device;
    int frames = scenario.length;
    if (!options.frames) {
        for (const std::string& late : scenario.records_past_length) err << "joybits-host: warning: " << late << "\n";
    }
    if (!platform_has_scenarios()) frames = options.live ? std::numeric_limits<int>::max() : WINDOWS_DEFAULT_FRAMES;
    if (options.frames) frames = *options.frames;
    size_t next = 0;
    for (int frame = 0; frame < frames; ++frame) {
        if (platform_wait_frame(options, platform)) break;
        std::vector<std::string> notes;
        notes.swap(platform.device_notes);
        if (const ScenarioFrame* inputs = frame_at(scenario, next, frame)) {
            platform_apply(*inputs);
            for (const ScenarioInput& input : inputs->inputs) notes.push_back(describe_input(scenario, input));
        }
        const auto count = static_cast<int32_t>(device(CMD_POLL, 0));
        const int reads = options.bits ? *options.bits : count;
        std::string bits;
        for (int i = 0; i < reads; ++i) bits += device(CMD_NEXT_BIT, 0) != 0 ? '1' : '0';
        if (options.json) {
            out << dump(json{{"frame", frame}, {"count", count}, {"bits", bits}, {"changes", notes}}) << "\n";
            continue;
        }
        if (frame == 0) notes.insert(notes.begin(), std::string("(") + FIRST_POLL_NOTE + ")");
        std::string line = "frame " + std::to_string(frame) + ":";
        line.append(frame < 10 ? 3 : frame < 100 ? 2 : 1, ' ');
        line += bits.empty() ? "-" : group_bits(bits);
        for (size_t i = 0; i < notes.size(); ++i) line += (i == 0 ? "  " : ", ") + notes[i];
        out << line << "\n";
    }
    out.flush();
    return EXIT_OK;
}

// "joybits-host 0.1.0", then the plug-in's version and where it was found.
int print_version(const HostOptions& options, std::ostream& out, std::ostream& err) {
    out << "joybits-host " << JOYBITS_VERSION << "\n";
    std::string version;
    std::string where;
    std::string error;
    if (!platform_plugin_version(options, version, where, error)) {
        out.flush();
        err << "joybits-host: " << error << "\n";
        return EXIT_PLATFORM_ERROR;
    }
    out << "plug-in " << version << " (" << where << ")\n";
    out.flush();
    return EXIT_OK;
}

// Reads the mapping file and the scenario the options name; on failure writes why and
// returns the exit status.
int load_inputs(HostOptions& options, Scenario& scenario, std::ostream& err) {
    std::string error;
    if (options.mapping_file) {
        std::string text;
        if (!read_mapping_file(*options.mapping_file, text, error)) {
            err << "joybits-host: " << error << "\n";
            return EXIT_INPUT_ERROR;
        }
        options.mapping = text;
    }
    if (!platform_has_scenarios()) {
        if (!options.scenario_file) return EXIT_OK;
        err << "joybits-host: --scenario scripts virtual controllers, which only the native build has; this one reads "
               "the attached controllers\n";
        return EXIT_INPUT_ERROR;
    }
    if (!options.scenario_file) {
        scenario = default_scenario();
        return EXIT_OK;
    }
    if (load_scenario(*options.scenario_file, scenario, error)) return EXIT_OK;
    err << "joybits-host: " << error << "\n";
    return EXIT_INPUT_ERROR;
}

// The report of the mapping the plug-in compiled, over the controllers its answer lists,
// with what each has when the platform's enumeration finds as many.
MappingReport report_for(const HostOptions& options, const std::string& answer) {
    AttachedControllers attached;
    attached.count = controllers_in_answer(answer);
    std::string ignored;
    // The check reads the objects in slot order only when the platform finds as many
    // controllers as the answer lists.
    if (!attached_objects(attached, ignored)) attached = AttachedControllers{attached.count, {}};
    return mapping_report(options.mapping ? options.mapping->c_str() : nullptr, attached);
}

// After a syntax error: one poll and the bits a host then reads, as the report counts them
// (or --bits).
void print_reads_after_error(const HostOptions& options, const MappingReport& report, DeviceFunction device,
                             std::ostream& out) {
    const int reads = options.bits ? *options.bits : report.reads_after_error;
    device(CMD_POLL, 0);
    std::string bits;
    for (int i = 0; i < reads; ++i) bits += device(CMD_NEXT_BIT, 0) != 0 ? '1' : '0';
    if (options.json) {
        out << dump(json{{"host_reads", bits}}) << "\n";
    } else {
        out << "a host reads: " << (bits.empty() ? "-" : group_bits(bits)) << "  (after a syntax error)\n";
    }
}

// The answer to a mapping with a syntax error, what a host then reads (unless the mode
// stops after the answer), and where the error is.
int report_syntax_error(const HostOptions& options, json& head, const std::string& answer, DeviceFunction device,
                        std::ostream& out, std::ostream& err) {
    const MappingReport report = report_for(options, answer);
    const TokenError& error = report.error;
    head["syntax_error"] = error.found ? report_json(report)["syntax_error"] : json(true);
    out << (options.json ? dump(head) : answer) << "\n";
    if (!options.check && !options.table) print_reads_after_error(options, report, device, out);
    if (!error.found) {
        err << "joybits-host: the plug-in reports a syntax error, but no single token could be named\n";
    } else {
        const std::string place = (options.mapping_file ? *options.mapping_file + ":" : "") + "line " +
                                  std::to_string(error.line) + ", column " + std::to_string(error.column);
        err << "joybits-host: " << syntax_error_text(error, place) << "\n";
        if (error.index == 1 && error.token.compare(0, sizeof UTF8_BYTE_ORDER_MARK - 1, UTF8_BYTE_ORDER_MARK) == 0) {
            err << "joybits-host: the text starts with a UTF-8 byte order mark (EF BB BF), as older Notepad writes; "
                   "a mapping text holds none: save it as UTF-8 without one\n";
        }
    }
    return EXIT_MAPPING_ERROR;
}

// The answer, then every token that probably does not mean what it says, one line each.
void print_answer_and_warnings(const HostOptions& options, json& head, const std::string& answer,
                               const MappingReport& report, std::ostream& out) {
    if (options.json) {
        head["warnings"] = report_json(report)["warnings"];
        out << dump(head) << "\n";
        return;
    }
    out << answer << "\n";
    for (const MappingWarning& w : report.warnings) out << "warning: " << warning_text(report, w) << "\n";
}

// The answer and the warnings, and then a word when there is none.
int report_check(const HostOptions& options, json& head, const std::string& answer, std::ostream& out) {
    const MappingReport report = report_for(options, answer);
    print_answer_and_warnings(options, head, answer, report, out);
    if (!options.json && report.warnings.empty()) out << "no warnings\n";
    return EXIT_OK;
}

// The answer and the compiled entry words with their meanings, and the warnings beside them.
int report_table(const HostOptions& options, json& head, const std::string& answer, std::ostream& out) {
    const MappingReport report = report_for(options, answer);
    if (!options.json) {
        out << answer << "\n" << format_table(report);
        return EXIT_OK;
    }
    const json described = report_json(report);
    head["warnings"] = described["warnings"];
    head["table"] = described["table"];
    out << dump(head) << "\n";
    return EXIT_OK;
}

// Configures the plug-in as a host does and reports its answer, then runs the frames.
int configure_and_run(const HostOptions& options, const Scenario& scenario, HostPlatform& platform,
                      std::ostream& out, std::ostream& err) {
    DeviceFunction device = platform.device;
    if (platform.window != 0) device(CMD_SET_WINDOW, platform.window);
    const intptr_t argument = options.mapping ? reinterpret_cast<intptr_t>(options.mapping->c_str()) : 0;
    const char* answered = reinterpret_cast<const char*>(device(CMD_CONFIGURE, argument));
    const std::string answer = answered != nullptr ? answered : "";
    json head{{"answer", answer}};
    int status = EXIT_OK;
    switch (answer_shape(answer)) {
    case AnswerShape::syntax_error:
        status = report_syntax_error(options, head, answer, device, out, err);
        break;
    case AnswerShape::failure:
        out << (options.json ? dump(head) : answer) << "\n";
        err << "joybits-host: the plug-in could not open the controllers\n";
        status = EXIT_PLATFORM_ERROR;
        break;
    case AnswerShape::success:
        if (options.check) {
            status = report_check(options, head, answer, out);
        } else if (options.table) {
            status = report_table(options, head, answer, out);
        } else {
            print_answer_and_warnings(options, head, answer, report_for(options, answer), out);
            status = run_frames(options, scenario, platform, out, err);
        }
        break;
    }
    device(CMD_RELEASE, 0);
    return status;
}

int run(HostOptions& options, std::ostream& out, std::ostream& err) {
    if (options.version) return print_version(options, out, err);
    Scenario scenario;
    const int loaded = load_inputs(options, scenario, err);
    if (loaded != EXIT_OK) return loaded;

    HostPlatform platform;
    std::string error;
    if (!platform_open(options, scenario, platform, error)) {
        err << "joybits-host: " << error << "\n";
        return EXIT_PLATFORM_ERROR;
    }
    if (!platform.notice.empty()) err << "joybits-host: " << platform.notice << std::endl;
    int status = EXIT_OK;
    if (options.list) {
        if (!list_controllers(out, options.json, error)) {
            err << "joybits-host: " << error << "\n";
            status = EXIT_PLATFORM_ERROR;
        }
    } else {
        status = configure_and_run(options, scenario, platform, out, err);
    }
    platform_close(platform);
    out.flush();
    return status;
}

// The command line as CLI11 reads it into the options, and the options that only one of
// the builds takes, which the checks after the parse name.
struct CommandLine {
    CLI::App app{description(), "joybits-host"};
    HostOptions options;
    CLI::Option *scenario_option = nullptr, *live_option = nullptr, *plugin_option = nullptr;
};

// A count is digits alone: CLI11's range check would call "abc" out of range.
CLI::Validator count_check() {
    return CLI::Validator(
        [](std::string& value) {
            const bool digits =
                !value.empty() && value.size() <= 7 && value.find_first_not_of("0123456789") == std::string::npos;
            if (digits && std::stol(value) <= MAX_COUNT_OPTION) return std::string();
            return "\"" + value + "\" is not a whole number from 0 to " + std::to_string(MAX_COUNT_OPTION);
        },
        "0.." + std::to_string(MAX_COUNT_OPTION));
}

// Options a mode would ignore are refused rather than dropped: each mode excludes them.
void declare_options(CommandLine& c) {
    CLI::App& app = c.app;
    HostOptions& options = c.options;
    CLI::Option* mapping = app.add_option("--mapping", options.mapping, "the mapping text to configure (one line)");
    CLI::Option* file =
        app.add_option("--mapping-file", options.mapping_file, "read the mapping text from FILE")->type_name("FILE");
    mapping->excludes(file);
    c.scenario_option =
        app.add_option("--scenario", options.scenario_file, "JSON scenario of virtual controllers (docs/SCENARIOS.md)")
            ->type_name("FILE");
    CLI::Option* frames =
        app.add_option("--frames", options.frames, "number of frames (polls) to run")->type_name("N")->check(count_check());
    CLI::Option* bits = app.add_option("--bits", options.bits, "bits to read per frame (default: the entry count)")
                            ->type_name("N")
                            ->check(count_check());
    CLI::Option* table =
        app.add_flag("--table", options.table, "print the compiled entry words, their meaning and warnings, then stop");
    CLI::Option* check = app.add_flag("--check", options.check,
                                      "list the tokens that probably do not mean what they say, then stop (exit 0 "
                                      "unless the mapping has a syntax error)");
    check->excludes(table);
    CLI::Option* json = app.add_flag("--json", options.json, "machine-readable output, one JSON object per line");
    CLI::Option* list =
        app.add_flag("--list", options.list, "list the attached controllers as the plug-in numbers them, then stop");
    c.live_option = app.add_flag("--live", options.live, "poll at 60 Hz until a key is pressed (or --frames is reached)");
    list->excludes(mapping, file, frames, bits, table, check, c.live_option);
    c.plugin_option =
        app.add_option("--plugin", options.plugin_path, "the plug-in library (default: joybits.dll beside the tool)")
            ->type_name("FILE");
    app.add_flag("--version", options.version, "print the tool's version and the plug-in's, then stop")
        ->excludes(mapping, file, c.scenario_option, frames, bits, table, check, json, list, c.live_option);
    // Each build's help lists its own options; the other build's are refused by name below.
    for (CLI::Option* other : platform_has_scenarios() ? std::vector{c.live_option, c.plugin_option}
                                                       : std::vector{c.scenario_option}) {
        other->group("");
    }
}

// Options of the other build are refused rather than dropped; true, said, when one was given.
bool refused(const CommandLine& c, std::ostream& err) {
    if (c.options.live && platform_has_scenarios()) {
        err << "joybits-host: --live reads real controllers, which only the Windows build has\n";
        return true;
    }
    if (c.plugin_option->count() > 0 && platform_has_scenarios()) {
        err << "joybits-host: --plugin names a joybits.dll to load, which only the Windows build does\n";
        return true;
    }
    return false;
}

}  // namespace

int host_main(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
    try {
        CommandLine line;
        declare_options(line);
        try {
            line.app.parse(argc, argv);
        } catch (const CLI::ParseError& e) {
            const int code = line.app.exit(e, out, err);
            return code == 0 ? EXIT_OK : EXIT_INPUT_ERROR;
        }
        if (refused(line, err)) return EXIT_INPUT_ERROR;
        return run(line.options, out, err);
    } catch (const std::exception& e) {
        err << "joybits-host: unexpected failure: " << e.what() << "\n";
    } catch (...) {
        err << "joybits-host: unexpected failure\n";
    }
    return EXIT_UNEXPECTED;
}
