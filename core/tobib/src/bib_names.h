#pragma once

#include <string>
#include <string_view>

namespace bibsources {

// One person of a name list as BibTeX reads it: "von Last, Jr, First Middle".
// The lower-case words that open last are its von part and a closing "Jr.",
// "Sr.", "II", "III" or "IV" its Jr part; what remains is braced when BibTeX
// would split it otherwise (a comma, a lower-case word, several words with
// no given name). A last name with the word "and" is braced whole, without
// von and Jr parts. Given names with a comma or "and" are braced too. Text
// is bibValue's.
std::string bibPerson(std::string_view last, std::string_view first, std::string_view middle);

// An organisation, braced so that BibTeX reads it as one last name.
std::string bibCorporate(std::string_view name);

} // namespace bibsources
