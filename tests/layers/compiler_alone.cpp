// The mapping compiler with the text type and nothing else: no DirectInput, no simulated
// platform. That it builds and links is the check; run, it compiles one text.
#include <cstdio>

#include "mapping/compiler.h"

int main() {
    MappingTable table{};
    CompileResult result = compile_mapping(TextBuffer("p,j8rz<-5,!j1b128/comment"), table);
    std::printf("%d entries, echo %s%s\n", static_cast<int>(table.count), result.echo.c_str(),
                result.syntax_error ? ", syntax error" : "");
    return result.syntax_error ? 1 : 0;
}
