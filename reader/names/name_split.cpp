#include "name_split.h"

namespace bibsources {

SplitNames splitNames(std::string_view text)
{
    // First cut: every field is one list of no names; the splitter follows.
    (void)text;
    return SplitNames{std::vector<Person>{}, {}};
}

} // namespace bibsources
