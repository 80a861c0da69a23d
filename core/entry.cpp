#include "entry.h"

namespace bibsources {

bool isContributorField(std::string_view fieldName)
{
    return fieldName == "author" || fieldName == "editor" || fieldName == "translator";
}

} // namespace bibsources
