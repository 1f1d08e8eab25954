// What joybits-host and the playground say about a mapping text: the report of the text
// the plug-in compiles for a host's argument (its entries and their meaning, the refused
// token, the warnings of the check), built once from the compiler's tokens, and its
// texts for people and its JSON, which the tool prints and the page renders.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "report/check.h"
#include "mapping/mapping_entry.h"

// What the first poll after a configure gives: the tool's first frame and the page's
// first lamps say so.
inline constexpr char FIRST_POLL_NOTE[] = "the first poll acquires the controllers: no fresh state";

struct TokenError {
    bool found = false;
    int index = 0;       // token number, from 1
    size_t offset = 0;   // byte offset of the token's first byte in the mapping text
    size_t fault = 0;    // byte offset of the fault: the token's first byte, or in a group the
    size_t fault_length = 0;  // operand, joint or ')' at fault; its bytes (the token's for a token)
    size_t line = 1;     // line and column (from 1) of the fault's byte
    size_t column = 1;
    std::string token;   // the token as written, blanks included
    std::string reason;
};

struct ReportEntry {
    MappingEntry word;
    std::string token;    // as written, blanks included
    int32_t token_index;  // from 0: the entry's own number unless pins stand before it
    std::vector<ReportEntry> operands;  // a group's, in its order
};

struct MappingReport {
    std::string mapping;               // the text the plug-in compiles for the host's argument
    std::vector<ReportEntry> entries;  // the table it compiles to: none after a syntax error
    TokenError error;                  // the refused token
    // After a syntax error the table is empty and every read answers 1: the bits a host then
    // reads, one per token written before the comment but a pin, at most as many as a table
    // holds.
    int reads_after_error = 0;
    std::vector<MappingWarning> warnings;
};

// The report of the mapping text the plug-in compiles for host_text (null: none given),
// over the controllers the platform says are attached.
MappingReport mapping_report(const char* host_text, const AttachedControllers& attached);

// Bytes that are not printable ASCII written as \t, \r, \n or \xNN; a backslash doubled.
std::string escape_bytes(const std::string& text);

// The entry word as every report prints it: "0x11200004".
std::string entry_word_text(MappingEntry entry);
// The meaning of one entry word: "constant 1", "j1 y > 8000", "!j2 button 3", "j1 x bit 4",
// "any of 2" (a group, on when any of its 2 operands is), "!(all of 3)".
std::string describe_entry(MappingEntry entry);
// One --table line per entry: index, hex word, meaning, and the entry's warnings beside
// it, and under a group one line per operand (hex word, meaning, token); warnings of no entry (a trailing comma, ignored tokens) follow the table. The
// warnings' bytes are escaped as the tokens' are, so that each stays on its line.
std::string format_table(const MappingReport& report);
// "token 2 "j1x>=5" at byte 2: ...", the token's and the message's bytes escaped; "token 3
// (bit 2) ..." for a token whose bit number is not its own, as pins before it make none.
std::string warning_text(const MappingReport& report, const MappingWarning& warning);
// "syntax error in token 2 "j9b1" at byte 2 (place): reason", the byte of the fault;
// without the parenthesis when place is empty.
std::string syntax_error_text(const TokenError& error, const std::string& place);
// {"mapping", "table": [{"word", "meaning", "token", and for a group "operands": [{"word",
// "meaning", "token"}...]}...], "syntax_error": null or {"token", "index", "offset", "length",
// "fault", "fault_length", "line", "column", "reason", "text", "reads_after_error"},
// "warnings": [{"index", "offset", "length", "message", "text"}...]}; indexes from 1, texts
// as above.
nlohmann::json report_json(const MappingReport& report);

enum class AnswerShape { success, syntax_error, failure };
AnswerShape answer_shape(const std::string& answer);
