#pragma once

#include "text.h"

#include <string>
#include <vector>

namespace bibsources {

struct DefinitionFiles {
    TexDefinitions definitions;
    std::vector<std::string> messages; // "defs.tex: \foo: its body never closes; not read"
    std::string error; // empty unless a file could not be read: one sentence naming it

    bool ok() const { return error.empty(); }
};

// The commands the LaTeX files at `paths` define, read in order, later files
// replacing earlier definitions as TeX would. A file may be UTF-8 or Latin-1.
// Never throws.
DefinitionFiles readDefinitionFiles(const std::vector<std::string> &paths);

} // namespace bibsources
