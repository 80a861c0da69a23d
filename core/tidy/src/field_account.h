#pragma once

#include "entry.h"

#include <string>
#include <string_view>
#include <vector>

namespace bibsources {

// Where one field of an entry went in its tidy record.
struct FieldUse {
    std::string field; // the field's name as the entry gives it
    // "b:Title", "b:Author", ...; several, blank-separated, when its text
    // went to several ("b:Year b:Month" for a date); empty when it went nowhere.
    std::string element;
    std::string note; // why it went nowhere, or what its text kept ("keeps \TUB")
};

// Collects, while a record is written, which element each field's text went
// to, so that a report of every field agrees with the record.
class FieldAccount {
public:
    // `text` is what the element holds; TeX commands left in it are noted.
    // A field may go to several elements; one that went nowhere stays so.
    void wentTo(std::string_view field, std::string_view element, std::string_view text);
    // Said first, it stands: a later wentTo for the field is ignored.
    void wentNowhere(std::string_view field, std::string note);

    // One use per field of `entry`, in its order. A field named twice went
    // nowhere the second time; one nothing was said of is "empty" when it
    // holds no text, else has "no place in the format".
    std::vector<FieldUse> uses(const Entry &entry) const;

private:
    std::vector<FieldUse> decided;
};

// The TeX commands ("\TUB", "\Dash") still in a field's plain text, as the
// note "keeps \TUB \Dash"; empty when there are none.
std::string keptCommandsNote(std::string_view text);

} // namespace bibsources
