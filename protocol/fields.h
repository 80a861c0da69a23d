#pragma once

#include <span>
#include <string_view>

namespace bibsources {

// The fields the converter reads. The parser helper hands over these and no
// others (an abstract's text is never needed), and the plain record mapping
// reads what each becomes from the same table.

// The field names whose text is a list of people, and the role each gives.
struct ContributorField {
    std::string_view field;
    std::string_view role; // the element inside the contributor block
};
std::span<const ContributorField> contributorFields();
bool isContributorField(std::string_view fieldName);

// A field with this name becomes this element in a plain record, when the
// entry's type is one of entryTypes (or whatever the type, when none are
// listed). Names and types are compared exactly, as the parser reports them.
struct FieldElement {
    std::string_view field;
    std::string_view element;
    std::span<const std::string_view> entryTypes;
};
std::span<const FieldElement> plainFieldElements();

// Fields only the tidy mapping reads.
std::span<const std::string_view> tidyOnlyFields();

// True for every field name above: the fields the helper hands over.
bool isMappedField(std::string_view fieldName);

} // namespace bibsources
